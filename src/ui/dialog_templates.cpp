#include "ui/dialog_templates.h"

#include "rowsmith_version.h"

namespace rowsmith {

namespace {

using enum ControlKind;

constexpr ControlSpec kAboutBoxControls[] = {
    {kNoId, Icon, "", 11, 17, 20, 20},
    {kNoId, Label, "Rowsmith Version " ROWSMITH_VERSION_SHORT, 40, 10, 119, 8},
    {kNoId, Label, "\u00a9 2026 Rowsmith developers", 40, 25, 119, 8},
    {kIdOk, DefaultPushButton, "OK", 178, 7, 50, 14},
};

constexpr ControlSpec kConverterControls[] = {
    {kIdInputFile, Edit, "", 54, 6, 166, 14},
    {kIdBrowseInput, PushButton, "Browse", 220, 7, 39, 14},
    {kIdOutputFile, Edit, "", 54, 21, 166, 14},
    {kIdBrowseOutput, PushButton, "Browse", 220, 22, 39, 14},
    {kIdTableName, Edit, "", 54, 36, 166, 14},
    {kIdFieldNames, Edit, "", 54, 51, 166, 14},
    {kIdOk, DefaultPushButton, "Quit", 262, 6, 50, 14},
    {kIdConvert, PushButton, "Convert", 262, 22, 50, 14},
    {kIdOptions, PushButton, "Options...", 262, 36, 50, 14},
    {kIdHelp, PushButton, "Help", 262, 51, 50, 14},
    {kNoId, Label, "Input File:", 10, 9, 32, 8},
    {kNoId, Label, "Output File:", 10, 24, 37, 8},
    {kNoId, Label, "Field Names:", 10, 54, 42, 8},
    // The banner's "v1.01" is the window's own fixed text, not the program's version.
    {kIdBanner, Label, "Rowsmith - v1.01 - CSV to SQL INSERT statements - \u00a9 2026 Rowsmith developers", 10, 78, 276,
     8},
    {kNoId, Label, "Table Name:", 10, 39, 42, 8},
    {kNoId, Label, "Comma separated list of field names in SQL table.", 54, 66, 156, 8},
};

constexpr ControlSpec kOptionsControls[] = {
    {kIdHeader, CheckBox, "First line holds the field names", 10, 8, 200, 10},
    {kIdRfc4180, CheckBox, "Standard CSV quoting (RFC 4180)", 10, 22, 200, 10},
    {kNoId, Label, "&Delimiter:", 10, 40, 62, 8},
    {kIdDelimiter, ComboBox, "Comma|Semicolon|Tab|Other:", 76, 37, 80, 14},
    {kIdOtherDelimiter, Edit, "", 160, 37, 20, 14},
    {kNoId, Label, "Input &character set:", 10, 58, 62, 8},
    {kIdEncoding, EditableComboBox, "As is|UTF-8|windows-1252|ISO-8859-1|ISO-8859-15|UTF-16", 76, 55, 104, 14},
    // How the records are read beyond the quoting and the delimiter.
    {kNoId, Label, "Lines to &skip:", 10, 76, 62, 8},
    {kIdSkipLines, SpinBox, "0|1000000", 76, 73, 50, 14},
    {kNoId, Label, "&Quote:", 132, 76, 24, 8},
    {kIdQuote, EditableComboBox, "\"|'|none", 158, 73, 34, 14},
    {kNoId, Label, "&Escape:", 196, 76, 26, 8},
    {kIdEscape, Edit, "", 224, 73, 24, 14},
    {kNoId, Label, "Header li&nes:", 10, 92, 62, 8},
    {kIdHeaderLines, SpinBox, "1|9", 76, 89, 50, 14},
    {kNoId, Label, "Read &up to line:", 132, 92, 56, 8},
    {kIdLastLine, Edit, "", 190, 89, 58, 14},
    {kIdSkipSpaces, CheckBox, "Spaces after a delimiter are not data", 10, 106, 238, 10},
    {kIdTextExport, CheckBox, "A database's text export (\\N for NULL, backslash escapes)", 10, 116, 238, 10},
    {kNoId, Label, "&Target database:", 10, 128, 62, 8},
    {kIdDialect, ComboBox, "Standard SQL|SQLite|PostgreSQL|MySQL and MariaDB", 76, 125, 172, 14},
    {kIdEmptyAsNull, CheckBox, "Empty values as NULL", 10, 145, 200, 10},
    {kIdQuotedEmpty, CheckBox, "Except quoted ones (\"\"), which stay empty strings", 22, 157, 226, 10},
    {kNoId, Label, "NULL &markers:", 10, 174, 62, 8},
    {kIdNullTokens, Edit, "", 76, 171, 104, 14},
    {kNoId, Label, "separated by spaces", 184, 174, 70, 8},
    {kNoId, Label, "&Rows per INSERT:", 10, 192, 62, 8},
    {kIdRowsPerInsert, SpinBox, "1|100000", 76, 189, 50, 14},
    {kIdTransaction, CheckBox, "One transaction per run", 10, 208, 110, 10},
    {kIdCreateTable, CheckBox, "Create the table", 130, 208, 118, 10},
    {kIdDropNul, CheckBox, "Drop NUL bytes from values (instead of stopping at them)", 10, 222, 230, 10},
    {kNoId, Label, "&Longest statement:", 10, 239, 62, 8},
    {kIdStatementBytes, SpinBox, "0|1073741824", 76, 236, 64, 14},
    {kNoId, Label, "bytes (0: 1 MiB for many rows)", 144, 239, 104, 8},
    {kNoId, Label, "Column t&ypes:", 10, 260, 62, 8},
    {kIdColumnTypes, Edit, "", 76, 257, 172, 14},
    {kNoId, Label, "C&olumns:", 10, 278, 62, 8},
    {kIdColumns, Edit, "", 76, 275, 172, 14},
    {kIdCopy, CheckBox, "COPY blocks instead of INSERT statements (PostgreSQL)", 10, 295, 238, 10},
    {kNoId, Label, "Key already &held:", 10, 312, 62, 8},
    {kIdOnConflict, ComboBox, "Stop the load|Keep the row held|Update the row held", 76, 309, 100, 14},
    {kNoId, Label, "&Key:", 182, 312, 18, 8},
    {kIdKey, Edit, "", 202, 309, 46, 14},
    // Where records that would not load go, and how many may.
    {kNoId, Label, "Set aside &in:", 10, 330, 62, 8},
    {kIdRejects, Edit, "", 76, 327, 100, 14},
    {kNoId, Label, "&at most:", 182, 330, 28, 8},
    {kIdMaxRejects, Edit, "", 212, 327, 36, 14},
    {kIdDecimalComma, CheckBox, "Decimal commas (3,49) make decimal columns of the table", 10, 347, 238, 10},
    // The output as parts that load on their own.
    {kNoId, Label, "S&plit in parts of:", 10, 364, 62, 8},
    {kIdSplitRows, Edit, "", 76, 361, 50, 14},
    {kNoId, Label, "rows or", 130, 364, 26, 8},
    {kIdSplitBytes, Edit, "", 158, 361, 50, 14},
    {kNoId, Label, "bytes", 212, 364, 30, 8},
    // How many threads convert: empty for one a core.
    {kNoId, Label, "Threads (&jobs):", 262, 330, 52, 8},
    {kIdJobs, Edit, "", 316, 327, 36, 14},
    {kNoId, Label, "empty: one for each core", 356, 330, 100, 8},
    // The preview, beside the options it shows the effect of.
    {kIdDetect, PushButton, "Detect", 262, 7, 50, 14},
    {kIdDetected, Label, "", 316, 4, 214, 37},
    {kNoId, Label, "The first records, as they are read:", 262, 43, 180, 8},
    {kIdPreviewRecords, Grid, "", 262, 53, 268, 104},
    {kNoId, Label, "The first statements, as they are written:", 262, 162, 180, 8},
    {kIdPreviewStatements, TextView, "", 262, 172, 268, 135},
    {kIdOk, DefaultPushButton, "OK", 425, 361, 50, 14},
    {kIdCancel, PushButton, "Cancel", 480, 361, 50, 14},
};

}  // namespace

const DialogTemplate kOptionsTemplate{kOptionsTemplateId, "Options", 540, 382, kOptionsControls};

const DialogTemplate kAboutBoxTemplate{kAboutBoxTemplateId, "About Rowsmith", 235, 55, kAboutBoxControls};

const DialogTemplate kConverterTemplate{kConverterTemplateId, "Rowsmith by " ROWSMITH_WEB_HOST, 320, 87,
                                        kConverterControls};

}  // namespace rowsmith
