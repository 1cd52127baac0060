#include "convert/options/column_choice.h"

#include <algorithm>
#include <charconv>

#include "convert/options/conversion_options.h"
#include "io/text_mode.h"

namespace rowsmith {

namespace {

// "a", "b" and "c"
std::string QuotedList(const std::vector<std::string>& names, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? last : ", ";
        text += "\"" + names[i] + "\"";
    }
    return text;
}

// The place of a column an entry names, or problem; notFound collects the
// names the header does not have.
std::size_t PlaceOf(const WrittenName& name, const std::vector<std::string>* header, std::vector<std::string>& notFound,
                    std::string& problem) {
    const bool digits = !name.quoted && !name.plain.empty() &&
                        std::all_of(name.plain.begin(), name.plain.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        std::size_t position = 0;
        const auto [end, error] = std::from_chars(name.plain.data(), name.plain.data() + name.plain.size(), position);
        if (error != std::errc() || position == 0 || (header != nullptr && position > header->size())) {
            problem = "--columns takes column " + name.plain + ", and " +
                      (header != nullptr ? "the header has " + std::to_string(header->size())
                                         : std::string("columns are numbered from 1"));
        }
        return position - 1;
    }
    if (header == nullptr) {
        problem = "--columns names \"" + name.plain + "\", and only a header (--header) names columns";
        return 0;
    }
    std::size_t found = header->size();
    for (std::size_t i = 0; i < header->size(); ++i) {
        if (TrimSpace((*header)[i]) != name.plain) continue;
        if (found != header->size()) {
            problem = "--columns names \"" + name.plain + "\", which the header gives columns " +
                      std::to_string(found + 1) + " and " + std::to_string(i + 1) + ": choose one by its number";
        }
        found = i;
    }
    if (found == header->size()) notFound.push_back(name.plain);
    return found;
}

// One entry of the list: the column it takes and its name; problem says
// what is wrong with it.
ChosenColumn ReadEntry(std::string_view entry, const std::vector<std::string>* header,
                       std::vector<std::string>& notFound, std::string& problem) {
    const std::size_t equals = EqualsOf(entry);
    const WrittenName name = ReadName(entry.substr(0, equals));
    if (name.plain.empty()) {
        problem = "--columns has an entry without a column";
        return {};
    }
    ChosenColumn column{PlaceOf(name, header, notFound, problem), {}};
    if (equals != std::string_view::npos) {
        column.name = ReadName(entry.substr(equals + 1)).plain;
        column.renamed = true;
        if (column.name.empty()) problem = "--columns gives \"" + name.plain + "\" an empty name";
    } else if (header != nullptr && column.index < header->size()) {
        column.name = TrimSpace((*header)[column.index]);
        if (column.name.empty()) {
            const std::string number = std::to_string(column.index + 1);
            problem = "column " + number + " of the header has no name: give it one (" + number + "=NEW)";
        }
    }
    return column;
}

// What is wrong with the columns taken together, if anything.
std::string ChoiceProblem(const std::vector<ChosenColumn>& chosen) {
    if (chosen.empty()) return "--columns chooses no column";
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i].name.empty() != chosen.front().name.empty())
            return "--columns names some columns and not others: give each chosen column a name (NAME=NEW), or none";
        for (std::size_t j = 0; j < i; ++j) {
            if (chosen[j].index == chosen[i].index)
                return "--columns takes column " + std::to_string(chosen[i].index + 1) + " twice";
            if (!chosen[i].name.empty() && chosen[j].name == chosen[i].name)
                return "--columns gives two columns the name \"" + chosen[i].name + "\"";
        }
    }
    return {};
}

}  // namespace

std::vector<ChosenColumn> ChooseColumns(std::string_view list, const std::vector<std::string>* header,
                                        std::string& problem) {
    std::vector<ChosenColumn> chosen;
    std::vector<std::string> notFound;
    if (!QuotesClosed(list)) {
        problem = UnclosedQuoteText("--columns", list);
        return {};
    }
    for (const std::string& entry : SplitFieldNames(list)) {
        chosen.push_back(ReadEntry(entry, header, notFound, problem));
        if (!problem.empty()) return {};
    }
    if (!notFound.empty()) {
        std::vector<std::string> names;
        if (header != nullptr) {
            for (const std::string& name : *header) names.emplace_back(TrimSpace(name));
        }
        problem = "--columns names ";
        problem.append(QuotedList(notFound, " and "))
            .append(", which the header does not have; its columns are ")
            .append(QuotedList(names, " and "));
        return {};
    }
    problem = ChoiceProblem(chosen);
    if (!problem.empty()) return {};
    return chosen;
}

bool NamesEachColumn(std::string_view list) {
    std::string problem;
    const std::vector<ChosenColumn> chosen = ChooseColumns(list, nullptr, problem);
    return problem.empty() && !chosen.front().name.empty();
}

}  // namespace rowsmith
