#pragma once

// When two rows of one statement may have the same key. PostgreSQL refuses
// a whole INSERT ... ON CONFLICT DO UPDATE whose rows meet the same row of
// the table ("cannot affect row a second time"), and it compares keys in
// the key column's type, not as text: 1, 1.0 and 1e0 are one number, t and
// true one boolean, 2020-1-1 and 2020-01-01 one date, a uuid with and
// without its hyphens one uuid, and a collation may fold case. Rows whose
// keys may be equal under any such type go in separate statements, so each
// database gives the result of loading the rows one at a time. Taking two
// keys for equal when they are not costs only a statement.
//
// Each value of a key has forms: two values may be equal when a form one
// looks for (a probe) is one the other shows (emitted). Most forms are both,
// so equal forms meet; times and dates in other time zones meet within a
// few days of each other, so that a day's times in one zone do not.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace rowsmith {

struct KeyForms {
    std::vector<std::string> both;
    std::vector<std::string> emitted;
    std::vector<std::string> probes;
    void Clear() {
        both.clear();
        emitted.clear();
        probes.clear();
    }
};

// The forms of one value of a key, added to forms.
void AddKeyForms(std::string_view value, KeyForms& forms);

// The keys of the rows of one statement, a part at a time: a row meets the
// statement when each part of its key may equal that part of some row's.
class OpenKeys {
public:
    explicit OpenKeys(std::size_t parts = 0) : parts_(parts), emitted_(parts), probed_(parts), forms_(parts) {}

    // Whether a row whose key is values (a value a part) may meet a row of
    // the statement; its forms are kept for Add.
    bool Meets(const std::vector<std::string_view>& values);
    // The row Meets looked at last joins the statement.
    void Add();
    // A new statement: no rows.
    void Clear();

private:
    std::size_t parts_;
    std::vector<std::unordered_set<std::string>> emitted_;  // of each part: forms shown, with both
    std::vector<std::unordered_set<std::string>> probed_;   // of each part: forms looked for, with both
    std::vector<KeyForms> forms_;                           // the last row's
};

}  // namespace rowsmith
