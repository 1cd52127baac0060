#pragma once

// Which values a run writes as NULL: the NULL choice (--null, --null-token)
// applied to a value as it was read.

#include <string_view>

#include "convert/options/conversion_options.h"

namespace rowsmith {

// Whether a value is written as NULL. quoted: the field was written in
// quotes (under the line rules: it begins with a double quote).
bool WritesNull(const ConversionOptions& options, std::string_view value, bool quoted);

}  // namespace rowsmith
