#include "io/status.h"

#include <cstring>

namespace rowsmith {

std::string StatusText(int code) {
    if (IsSystemError(code)) return std::strerror(code);
    switch (code) {
        case kEndOfInput:
            return "the input ended";
        case kStopped:
            return "stopped by a signal";
        case kLineTooLong:
            return "a line is too long";
        case kDamagedGzip:
            return "damaged gzip data";
        case kInvalidText:
            return "the text is not valid in its character set";
        case kUnknownEncoding:
            return "the character set is not known";
        case kNotRegularFile:
            return "not a regular file";
        case kTooLarge:
            return "the file is too large";
        case kUnclosedQuote:
            return "a quoted field is never closed";
        case kNulInValue:
            return "a value holds a NUL byte";
        case kBadHeader:
            return "a header name is empty or repeated";
        case kInputShrank:
            return "the file became shorter while it was read";
        case kMissingColumn:
            return "a record has no value for a chosen column";
        case kInputChanged:
            return "the file changed while it was read";
        case kTooManyFields:
            return "a record has too many fields";
        case kTooManyRejects:
            return "more records were set aside than allowed";
        case kRejectsFailed:
            return "the records set aside could not be written";
        case kPartIsInput:
            return "it is one of the inputs";
        default:
            return "failure " + std::to_string(code);
    }
}

}  // namespace rowsmith
