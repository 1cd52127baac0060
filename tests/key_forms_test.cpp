// When two rows of one statement may have the same key: equal in any of
// PostgreSQL's usual key types, they must go in separate statements; keys
// that differ in every type should not.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include "convert/sql/key_forms.h"

namespace rowsmith {
namespace {

// Whether a row keyed second meets a statement holding a row keyed first.
bool Meet(const std::vector<std::string_view>& first, const std::vector<std::string_view>& second) {
    OpenKeys keys(first.size());
    keys.Meets(first);
    keys.Add();
    return keys.Meets(second);
}

TEST(KeyFormsTest, KeysEqualInAnyTypeMeetAndOthersDoNot) {
    struct Case {
        std::vector<std::string_view> a, b;
        bool meet;
    };
    const Case cases[] = {
        // numeric, integer, floating point and money
        {{"1"}, {"1.0"}, true},
        {{"1"}, {"1e0"}, true},
        {{"100"}, {"1E2"}, true},
        {{"1"}, {"01"}, true},
        {{"1"}, {"+1"}, true},
        {{"-0"}, {"0.00"}, true},
        {{"1000"}, {"$1,000.00"}, true},
        {{"NaN"}, {"nan"}, true},
        {{"Infinity"}, {"inf"}, true},
        {{"1"}, {"2"}, false},
        {{"1"}, {"10"}, false},
        {{"1.5"}, {"15"}, false},
        {{"-1"}, {"1"}, false},
        // boolean
        {{"t"}, {"true"}, true},
        {{"1"}, {"YES"}, true},
        {{"on"}, {"tr"}, true},
        {{"f"}, {"0"}, true},
        {{"off"}, {"no"}, true},
        {{"t"}, {"f"}, false},
        // dates, in every order a DateStyle reads them
        {{"2020-01-01"}, {"2020-1-1"}, true},
        {{"2020-01-02"}, {"01/02/2020"}, true},
        {{"2020-01-02"}, {"02.01.2020"}, true},
        {{"2020-01-01"}, {"20200101"}, true},
        {{"2020-01-01"}, {"20-01-01"}, true},
        {{"2020-01-01"}, {"Jan 1 2020"}, true},
        {{"2020-01-01"}, {"Wednesday, 1 January 2020"}, true},
        {{"2020-01-01"}, {"2020-01-01 00:00:00"}, true},
        {{"2020-01-01"}, {"2020-01-02"}, false},
        // times, with time zones and without
        {{"2020-01-01 10:00"}, {"2020-01-01T10:00:00.000"}, true},
        {{"2020-01-01 22:00"}, {"2020-01-01 10:00 pm"}, true},
        {{"2020-01-01T10:00:00Z"}, {"2020-01-01 11:00:00+01"}, true},
        {{"2020-01-01 00:30+01:00"}, {"2019-12-31 23:30 UTC"}, true},
        {{"2020-01-01 10:00:00 EST"}, {"2020-01-01 15:00:00Z"}, true},
        {{"2020-01-01 10:00:00 EST"}, {"2020-01-01 15:00:00"}, true},
        {{"2020-01-01 10:00:00+01"}, {"2020-01-01 09:00:00"}, true},
        {{"2020-01-01 10:00"}, {"2020-01-01 11:00"}, false},
        {{"2020-01-01T10:00:00Z"}, {"2020-01-01T11:00:00Z"}, false},
        {{"2020-01-01T10:00:00Z"}, {"2020-03-01T10:00:00Z"}, false},
        {{"10:00"}, {"10:00:00"}, true},
        {{"10:00"}, {"10:01"}, false},
        // uuids, addresses, text a collation may fold
        {{"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"}, {"{A0EEBC999C0B4EF8BB6D6BB9BD380A11}"}, true},
        {{"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"}, {"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a12"}, false},
        {{"10.0.0.1"}, {"10.0.0.1/32"}, true},
        {{"::1"}, {"0:0:0:0:0:0:0:1"}, true},
        {{"10.0.0.1"}, {"10.0.0.2"}, false},
        {{"ABC"}, {"abc"}, true},
        {{" a "}, {"a"}, true},
        {{"\xC3\x84rger"}, {"\xC3\xA4rger"}, true},          // Ä and ä
        {{"\xD0\x94\xD0\xB0"}, {"\xD0\xB4\xD0\xB0"}, true},  // Да and да
        {{"\xCE\xA3\xCE\xB1"}, {"\xCF\x82\xCE\xB1"}, true},  // Σα and ςα
        {{"abc"}, {"abd"}, false},
        // keys of two parts meet only where both may
        {{"1", "x"}, {"01", "X"}, true},
        {{"1", "x"}, {"1", "y"}, false},
        {{"1", "x"}, {"2", "x"}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Meet(c.a, c.b), c.meet) << c.a[0] << " and " << c.b[0];
        EXPECT_EQ(Meet(c.b, c.a), c.meet) << c.b[0] << " and " << c.a[0] << ", the other way";
    }
}

TEST(KeyFormsTest, AStatementOfManyKeysMeetsOnlyTheOnesItHolds) {
    OpenKeys keys(1);
    for (int i = 0; i < 1000; ++i) {
        const std::string key = std::to_string(i * 2);
        ASSERT_FALSE(keys.Meets({key})) << key;
        keys.Add();
    }
    EXPECT_TRUE(keys.Meets({"0998"}));
    EXPECT_FALSE(keys.Meets({"999"}));
    keys.Clear();
    EXPECT_FALSE(keys.Meets({"998"}));
}

#ifndef _WIN32
// The address form a key takes, as the C library reads addresses: the
// engine reads them itself (Windows' reader takes other forms), and must
// take exactly the ones glibc takes.
std::string LibraryAddressForm(const std::string& text) {
    unsigned char bytes[16] = {};
    const std::size_t slash = text.find('/');
    const std::string address = text.substr(0, slash);
    const bool v4 = ::inet_pton(AF_INET, address.c_str(), bytes) == 1;
    if (!v4 && ::inet_pton(AF_INET6, address.c_str(), bytes) != 1) return "";
    std::string form = v4 ? "i4" : "i6";
    for (std::size_t i = 0; i < (v4 ? 4U : 16U); ++i) form += std::to_string(bytes[i]) + ".";
    return form;  // the network's length is the engine's own reading
}

std::string EngineAddressForm(const std::string& text) {
    KeyForms forms;
    AddKeyForms(text, forms);
    for (const std::string& form : forms.both) {
        if (form.starts_with("i4") || form.starts_with("i6")) return form.substr(0, form.find('/'));
    }
    return "";
}

TEST(KeyFormsTest, AddressesAreReadAsTheCLibraryReadsThem) {
    std::vector<std::string> texts = {
        "0.0.0.0",
        "255.255.255.255",
        "256.1.1.1",
        "1.2.3",
        "1.2.3.4.",
        ".1.2.3.4",
        "1..2.3",
        "01.2.3.4",
        "1.2.3.04",
        "1.2.3.4/24",
        "::",
        "::1",
        "1::",
        "1:",
        ":1",
        ":::",
        "1:2:3:4:5:6:7:8",
        "1:2:3:4:5:6:7::8",
        "1:2:3:4:5:6:7:8:9",
        "1::2::3",
        "12345::",
        "fe80::1%1",
        "::ffff:1.2.3.4",
        "::1.2.3.4",
        "1.2.3.4::",
        "::ffff:01.2.3.4",
        "1:2:3:4:5:6:1.2.3.4",
        "1:2:3:4:5:6:7:1.2.3.4",
        "ABCD::ef01",
        "0:0:0:0:0:0:0:1",
        "::g",
        "1:2:3:4:5:6::1.2.3.4",
        "1:2:3:4:5::1.2.3.4",
        "::1.2.3",
        "1.2.3.4:1",
    };
    // And strings of the letters addresses are made of, at random.
    std::mt19937 random(7);
    const std::string letters = "0123456789abcdef:.";
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const int size = 1 + static_cast<int>(random() % 20);
        for (int k = 0; k < size; ++k) text += letters[random() % letters.size()];
        if (text.find_first_of(".:") != std::string::npos) texts.push_back(text);
    }
    for (const std::string& text : texts) EXPECT_EQ(EngineAddressForm(text), LibraryAddressForm(text)) << text;
}
#endif

}  // namespace
}  // namespace rowsmith
