#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rowsmith {

// Every text and caption the conversion and settings code shows the user.
struct Message {
    std::string_view text;
    std::string_view caption;
};

inline constexpr Message kDoneMessage{"Done", "Done"};
inline constexpr Message kWriteFailedMessage{"Save to File", "Error Writing File"};
inline constexpr Message kSameFileMessage{"The output file is the same as the input file.", "Error Writing File"};
inline constexpr Message kCancelledMessage{"Conversion cancelled.", "Cancelled"};
inline constexpr Message kNoTableMessage{"The table name is empty: INSERT INTO needs the table to insert into.",
                                         "No Table Name"};
inline constexpr std::string_view kReadFailedCaption = "Error Reading File";
inline constexpr Message kSettingsTooLargeMessage{
    "db.ini in this folder is larger than 1 MiB, so it is not Rowsmith's: it was not read, and it will be left as "
    "it is.",
    "Error Reading File"};
inline constexpr Message kNoMemoryMessage{"There is not enough memory for the conversion.", "Out of Memory"};
inline constexpr Message kBadOptionsMessage{"These options do not go together:", "Options"};
inline constexpr Message kNulNameMessage{
    "The table name or the field names hold a NUL byte, which no SQL text can hold.", "Options"};
inline constexpr Message kUnsafeOutputMessage{
    "The output file ends with part of a statement, so nothing was appended to it.", "Error Writing File"};
inline constexpr std::string_view kJoinedTransactionNote =
    "The output ends inside a transaction (a BEGIN; without its COMMIT;): this run's statements go on inside it, "
    "and load only if a COMMIT; follows them.";
inline constexpr std::string_view kOutputEndUncertain =
    "Another program wrote to the output file during the conversion, so its end may hold part of a statement.";
inline constexpr std::string_view kUndoneNote =
    "The run was one transaction, so what it wrote was taken out of the output again: the output is as it was "
    "before the run.";
inline constexpr std::string_view kClosedUnfinishedNote =
    "The output ended inside a transaction that another run left unfinished; a ROLLBACK; now ends it, before this "
    "run's own BEGIN;.";

// `Cannot read "path": reason`, the text shown when the input cannot be read.
std::string ReadFailedText(std::string_view path, int error);
std::string ReadFailedText(std::string_view path, std::string_view reason);

// text as a sentence of a message: a capital first, a full stop last.
std::string Sentence(std::string text);

// Says that rows rows, the first at line firstLine, hold another number of
// values than the fieldCount field names.
std::string MismatchText(std::uint64_t rows, std::uint64_t firstLine, std::size_t fieldCount,
                         std::string (*number)(std::uint64_t) = nullptr);

}  // namespace rowsmith
