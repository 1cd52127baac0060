#pragma once

// What the program's low-level calls return: 0 when all went well, a
// positive errno for a failure of the system, or one of the codes below for
// a failure of the program's own. No code borrows an errno, so each number
// has one meaning wherever it travels.

#include <string>

namespace rowsmith {

enum Status : int {
    kEndOfInput = -1,       // the input ended: no failure
    kStopped = -2,          // a stop signal arrived while the call waited
    kLineTooLong = -3,      // a line or record longer than Rowsmith reads
    kDamagedGzip = -4,      // compressed data that is damaged or ends early
    kInvalidText = -5,      // bytes that are not valid in the input's character set
    kUnknownEncoding = -6,  // a character set iconv does not know
    kNotRegularFile = -7,   // a pipe, device or the like where a file must be
    kTooLarge = -8,         // a settings file larger than Rowsmith writes
    kUnclosedQuote = -9,    // a quoted field still open at the end of the input
    kNulInValue = -10,      // a NUL byte, which the dialect cannot write
    kBadHeader = -11,       // a header name that is empty or given twice
    kInputShrank = -12,     // a file that became shorter while it was read
    kMissingColumn = -13,   // a record without a value where a chosen column would be
    kInputChanged = -14,    // a file whose bytes changed while it was read
    kTooManyFields = -15,   // a record of more fields than Rowsmith reads
    kTooManyRejects = -16,  // more records set aside than the run allows
    kRejectsFailed = -17,   // the file records are set aside in could not be written
    kPartIsInput = -18,     // an output part's name is one of the inputs
};

// True for a failure of the system, whose words strerror gives.
constexpr bool IsSystemError(int code) {
    return code > 0;
}

// The words for a code: the system's for an errno, a short general text for
// the program's own (whoever returned it can usually say more).
std::string StatusText(int code);

}  // namespace rowsmith
