#pragma once

#include <cstdint>
#include <string>

namespace rowsmith::bench {

// Appends one line of a deterministic, realistic CSV export to out: numbers,
// names with single quotes, quoted fields holding commas and doubled quotes,
// empty fields, dates; CR LF line ends. seed picks the line.
inline void AppendSampleLine(std::uint64_t seed, std::string& out) {
    static const char* const kNames[] = {"O'Brien", "Smith",  "D'Angelo", "Nguyen",
                                         "Müller",  "García", "O'Neil",   "Kowalski"};
    static const char* const kCities[] = {
        "\"Portland, OR\"", "\"Cork, Ireland\"", "Berlin", "\"São Paulo, SP\"", "", "Kyoto"};
    std::uint64_t x = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    auto next = [&x] {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 29;
        return x;
    };
    out += std::to_string(seed);
    out += ',';
    out += kNames[next() % 8];
    out += ",\"";
    out += kNames[next() % 8];
    out += ", ";
    out += kNames[next() % 8];
    out += "\",";
    out += kCities[next() % 6];
    out += ",2026-";
    out += std::to_string(1 + next() % 12);
    out += '-';
    out += std::to_string(1 + next() % 28);
    out += ",,";
    out += std::to_string(next() % 100000);
    out += '.';
    out += std::to_string(next() % 100);
    out += ",\"said \"\"hi\"\", left\",";
    out += (next() % 4 == 0) ? "it's done" : "open";
    out += "\r\n";
}

}  // namespace rowsmith::bench
