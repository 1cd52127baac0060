#pragma once

// Which columns of the input become values, in which order, and under
// which names: --columns LIST. Each entry of LIST is a header name or a
// 1-based position, with =NEW to name the column otherwise; an entry of
// digits is always a position (a header column named by digits is chosen
// as "12", in double quotes).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rowsmith {

struct ChosenColumn {
    std::size_t index = 0;  // 0-based place in the record
    std::string name;       // the name it takes; empty when it has none
    bool renamed = false;   // the name is one NAME=NEW gives
};

// The columns list chooses, against the header's names (nullptr: no
// header, so positions only). Empty, with problem set, when an entry is
// empty, names a column the header does not have (each such name is said,
// and the header's names listed), names one the header has twice, or
// takes a column twice; or when some columns have a name and others none.
std::vector<ChosenColumn> ChooseColumns(std::string_view list, const std::vector<std::string>* header,
                                        std::string& problem);

// Whether list, without a header, chooses columns and names each (3=zip).
bool NamesEachColumn(std::string_view list);

// Hands out the chosen values of each record, in the chosen order.
template <typename Value>
class ChosenValues {
public:
    explicit ChosenValues(const std::vector<ChosenColumn>& columns) {
        for (const ChosenColumn& column : columns) indexes_.push_back(column.index);
    }
    // false when the record has no value at a chosen place: missing() then
    // says which (0-based).
    bool Take(const std::vector<Value>& values, const std::vector<bool>& quoted) {
        values_.clear();
        quoted_.clear();
        for (const std::size_t index : indexes_) {
            if (index >= values.size()) {
                missing_ = index;
                return false;
            }
            values_.push_back(values[index]);
            quoted_.push_back(index < quoted.size() && quoted[index]);
        }
        return true;
    }
    const std::vector<Value>& values() const { return values_; }
    const std::vector<bool>& quoted() const { return quoted_; }
    std::size_t missing() const { return missing_; }

private:
    std::vector<std::size_t> indexes_;
    std::vector<Value> values_;
    std::vector<bool> quoted_;
    std::size_t missing_ = 0;
};

}  // namespace rowsmith
