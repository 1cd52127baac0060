#pragma once

#include "ui/dialog_builder.h"

namespace rowsmith {

// Control IDs shared by the dialogs and their command tables.
enum ControlId : int {
    kIdOk = 1,      // Quit in the main window, OK in the About box
    kIdCancel = 2,  // Escape, the close box, the window menu's Close
    kIdAboutCommand = 16,
    kIdInputFile = 1000,
    kIdOutputFile = 1001,
    kIdBrowseInput = 1002,
    kIdBrowseOutput = 1003,
    kIdConvert = 1004,
    kIdFieldNames = 1005,
    kIdTableName = 1007,
    kIdHelp = 1009,
    kIdOptions = 1010,
    kIdBanner = 1045,
    // The Options dialog.
    kIdHeader = 1011,
    kIdRfc4180 = 1012,
    kIdDelimiter = 1013,
    kIdOtherDelimiter = 1014,
    kIdEncoding = 1015,
    kIdDialect = 1016,
    kIdEmptyAsNull = 1017,
    kIdRowsPerInsert = 1018,
    kIdTransaction = 1019,
    kIdDropNul = 1020,
    kIdStatementBytes = 1021,
    kIdQuotedEmpty = 1022,
    kIdNullTokens = 1023,
    kIdCreateTable = 1024,
    kIdColumnTypes = 1025,
    kIdColumns = 1026,
    kIdCopy = 1027,
    kIdOnConflict = 1028,
    kIdKey = 1029,
    kIdDetect = 1030,
    kIdDetected = 1031,
    kIdPreviewRecords = 1032,
    kIdPreviewStatements = 1033,
    kIdSkipLines = 1034,
    kIdQuote = 1035,
    kIdEscape = 1036,
    kIdSkipSpaces = 1037,
    kIdTextExport = 1038,
    kIdRejects = 1039,
    kIdMaxRejects = 1040,
    kIdDecimalComma = 1041,
    kIdSplitRows = 1042,
    kIdSplitBytes = 1043,
    kIdHeaderLines = 1044,
    kIdLastLine = 1045,
    kIdJobs = 1046,
};

// The choices of the Options dialog's lists, in their order.
enum DelimiterChoice { kComma, kSemicolon, kTab, kOtherDelimiter };
// The dialects, as the list shows them: in the order of kAllDialects.

inline constexpr int kAboutBoxTemplateId = 100;
inline constexpr int kConverterTemplateId = 102;
inline constexpr int kOptionsTemplateId = 104;

extern const DialogTemplate kAboutBoxTemplate;
extern const DialogTemplate kConverterTemplate;
extern const DialogTemplate kOptionsTemplate;

}  // namespace rowsmith
