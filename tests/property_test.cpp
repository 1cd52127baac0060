// The property of conversion_property.h on random inputs, for every
// dialect, NULL choice, delimiter and rule set.
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "conversion_property.h"
#include "convert/sql_dialect.h"

namespace rowsmith::test {
namespace {

using Dimensions = std::tuple<const DialectRules*, bool, char, bool>;  // dialect, NULL, delimiter, standard CSV

class ConversionProperty : public ::testing::TestWithParam<Dimensions> {};

TEST_P(ConversionProperty, HoldsForRandomInputs) {
    const auto [rules, emptyAsNull, delimiter, rfc4180] = GetParam();
    const ConversionOptions options{
        .dialect = rules->dialect, .emptyAsNull = emptyAsNull, .rfc4180 = rfc4180, .delimiter = delimiter};
    std::mt19937 random(20261208u + static_cast<unsigned>(delimiter));
    for (int round = 0; round < 300; ++round) {
        std::string bytes(2 + random() % 48, '\0');
        // Every other round is all of the alphabet, where the rules' bytes meet more often.
        for (char& byte : bytes) byte = static_cast<char>(random() & (round % 2 != 0 ? 0x7F : 0xFF));
        const std::string failure = CheckConversion(CaseFromBytes(options, bytes));
        ASSERT_TRUE(failure.empty()) << failure;
    }
}

std::string Name(const ::testing::TestParamInfo<Dimensions>& info) {
    const auto [rules, emptyAsNull, delimiter, rfc4180] = info.param;
    const char* const delimiters[] = {"comma", "semicolon", "tab", "bar"};
    const std::size_t which = std::string_view(kPropertyDelimiters, std::size(kPropertyDelimiters)).find(delimiter);
    return std::string(rules->name) + (emptyAsNull ? "_null_" : "_") + delimiters[which] +
           (rfc4180 ? "_csv" : "_lines");
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ConversionProperty,
                         ::testing::Combine(::testing::ValuesIn(kDialects), ::testing::Bool(),
                                            ::testing::ValuesIn(kPropertyDelimiters), ::testing::Bool()),
                         Name);

}  // namespace
}  // namespace rowsmith::test
