// Writes the character-set tables of the Windows build (src/io/charset_windows.cpp)
// to standard output, as C++: for each set, the byte sequences glibc's iconv reads
// as one character each, and the sequences that begin longer ones, in runs of
// consecutive sequences (consecutive characters, for the readable ones). A
// sequence's key is its bytes but the last, as a number, times the count of
// last bytes any sequence of its length ends in, plus its last byte's rank among
// those: a run goes on past a gap in the last bytes (GB18030's end in 0x30-0x39).
// Run on
// the building machine, so that the Windows program reads every set exactly as
// the Linux one does.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct SetName {
    const char* name;     // as iconv knows it
    const char* aliases;  // other names users give it, space-separated
    int longest;          // its longest sequence, in bytes
};

// The sets a user names with --encoding or the guess of a file's set tries.
// Not those whose characters combine (windows-1255 and -1258 join a letter
// to the mark after it), which no table of sequences can read as iconv does;
// nor CP949, where glibc passes over some sequences it refuses.
constexpr SetName kSets[] = {
    {"ASCII", "US-ASCII ANSI_X3.4-1968", 1},
    {"ISO-8859-1", "LATIN1 L1 ISO8859-1 ISO_8859-1 CP819", 1},
    {"ISO-8859-2", "LATIN2 L2 ISO8859-2 ISO_8859-2", 1},
    {"ISO-8859-3", "LATIN3 L3 ISO8859-3", 1},
    {"ISO-8859-4", "LATIN4 L4 ISO8859-4", 1},
    {"ISO-8859-5", "CYRILLIC ISO8859-5", 1},
    {"ISO-8859-6", "ARABIC ISO8859-6", 1},
    {"ISO-8859-7", "GREEK ISO8859-7", 1},
    {"ISO-8859-8", "HEBREW ISO8859-8", 1},
    {"ISO-8859-9", "LATIN5 L5 ISO8859-9", 1},
    {"ISO-8859-10", "LATIN6 L6 ISO8859-10", 1},
    {"ISO-8859-11", "ISO8859-11", 1},
    {"ISO-8859-13", "LATIN7 L7 ISO8859-13", 1},
    {"ISO-8859-14", "LATIN8 L8 ISO8859-14", 1},
    {"ISO-8859-15", "LATIN-9 LATIN9 ISO8859-15", 1},
    {"ISO-8859-16", "LATIN10 L10 ISO8859-16", 1},
    {"WINDOWS-874", "CP874", 1},
    {"WINDOWS-1250", "CP1250 MS-EE", 1},
    {"WINDOWS-1251", "CP1251 MS-CYRL", 1},
    {"WINDOWS-1252", "CP1252 MS-ANSI", 1},
    {"WINDOWS-1253", "CP1253 MS-GREEK", 1},
    {"WINDOWS-1254", "CP1254 MS-TURK", 1},
    {"WINDOWS-1256", "CP1256 MS-ARAB", 1},
    {"WINDOWS-1257", "CP1257 WINBALTRIM", 1},
    {"KOI8-R", "", 1},
    {"KOI8-U", "", 1},
    {"CP437", "IBM437 437", 1},
    {"CP850", "IBM850 850", 1},
    {"CP852", "IBM852 852", 1},
    {"CP855", "IBM855 855", 1},
    {"CP857", "IBM857 857", 1},
    {"CP862", "IBM862 862", 1},
    {"CP866", "IBM866 866", 1},
    {"MACINTOSH", "MAC", 1},
    {"IBM037", "CP037 EBCDIC-CP-US", 1},
    {"IBM500", "CP500 EBCDIC-CP-BE", 1},
    {"IBM1047", "CP1047", 1},
    {"SHIFT_JIS", "SJIS MS_KANJI CSSHIFTJIS", 2},
    {"CP932", "WINDOWS-31J MS932", 2},
    {"EUC-JP", "EUCJP UJIS", 3},
    {"GB2312", "EUC-CN EUCCN", 2},
    {"GBK", "CP936 MS936 WINDOWS-936", 2},
    {"GB18030", "", 4},
    {"BIG5", "BIG-5 CN-BIG5 CP950", 2},
    {"EUC-KR", "EUCKR", 2},
};

struct Run {
    std::uint32_t from = 0;
    std::uint32_t count = 0;
    std::uint32_t first = 0;
};

// Adds sequence (to character c) to runs, as a new run or the last one's next.
void Add(std::vector<Run>& runs, std::uint32_t sequence, std::uint32_t c) {
    if (!runs.empty()) {
        Run& last = runs.back();
        if (last.from + last.count == sequence && last.first + last.count == c) {
            ++last.count;
            return;
        }
    }
    runs.push_back({sequence, 1, c});
}

enum class Reading { Character, Begins, Invalid };

// How iconv reads bytes: as one character (c), as the start of a longer
// sequence, or not at all.
Reading Read(iconv_t cd, const unsigned char* bytes, std::size_t size, std::uint32_t& c) {
    char in[4];
    for (std::size_t i = 0; i < size; ++i) in[i] = static_cast<char>(bytes[i]);
    unsigned char out[16];
    char* inAt = in;
    std::size_t inLeft = size;
    char* outAt = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = ::iconv(cd, &inAt, &inLeft, &outAt, &outLeft);
    if (result != static_cast<std::size_t>(-1)) ::iconv(cd, nullptr, nullptr, &outAt, &outLeft);  // held back
    const std::size_t produced = sizeof out - outLeft;
    if (result == static_cast<std::size_t>(-1)) {
        if (errno == EINVAL && produced == 0) return Reading::Begins;
        return Reading::Invalid;
    }
    if (inLeft != 0 || produced != 4) return Reading::Invalid;  // not one character
    c = out[0] | (std::uint32_t{out[1]} << 8) | (std::uint32_t{out[2]} << 16) | (std::uint32_t{out[3]} << 24);
    return Reading::Character;
}

// Whether every two bytes the set reads alone read together as they do
// alone: a set that holds one back to join it to the next does not.
bool ReadsAlone(iconv_t cd, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& singles) {
    std::vector<std::uint32_t> bytes;
    for (const auto& [byte, c] : singles) bytes.push_back(byte);
    for (const std::uint32_t first : bytes) {
        std::string in;
        for (const std::uint32_t second : bytes) {
            in += static_cast<char>(first);
            in += static_cast<char>(second);
        }
        std::string out(in.size() * 4 + 16, '\0');
        char* inAt = in.data();
        std::size_t inLeft = in.size();
        char* outAt = out.data();
        std::size_t outLeft = out.size();
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) return false;
        ::iconv(cd, nullptr, nullptr, &outAt, &outLeft);          // what it held back
        if (out.size() - outLeft != in.size() * 4) return false;  // each byte one character
    }
    return true;
}

void Print(const char* name, const std::vector<Run>& runs) {
    std::printf("constexpr CharsetRun %s[] = {", name);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::printf("%s{0x%X,%u,0x%X},", i % 6 == 0 ? "\n" : "", runs[i].from, runs[i].count, runs[i].first);
    }
    std::printf("{0,0,0}};\n");  // never empty
}

}  // namespace

int main() {
    std::printf("// Made by tools/charset_tables.cpp from this machine's iconv; not edited by hand.\n");
    std::string sets;
    int index = 0;
    for (const SetName& set : kSets) {
        iconv_t cd = ::iconv_open("UTF-32LE", set.name);
        if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr): iconv's own sentinel
            std::fprintf(stderr, "charset_tables: iconv does not know %s\n", set.name);
            return 1;
        }
        std::vector<Run> valid[4];
        std::vector<Run> begins[3];
        std::vector<std::pair<std::uint32_t, std::uint32_t>> read[4];  // the sequences read, and as what
        std::vector<std::uint32_t> starts{0};  // the sequences of the length before that begin longer ones
        for (int length = 1; length <= set.longest; ++length) {
            std::vector<std::uint32_t> longer;
            for (const std::uint32_t start : starts) {
                for (std::uint32_t last = 0; last < 256; ++last) {
                    const std::uint32_t sequence = (start << 8) | last;
                    unsigned char bytes[4];
                    for (int i = 0; i < length; ++i)
                        bytes[i] = static_cast<unsigned char>(sequence >> (8 * (length - 1 - i)));
                    std::uint32_t c = 0;
                    const Reading reading = Read(cd, bytes, static_cast<std::size_t>(length), c);
                    if (reading == Reading::Character) read[length - 1].push_back({sequence, c});
                    if (reading == Reading::Begins && length < set.longest) {
                        Add(begins[length - 1], sequence, sequence);
                        longer.push_back(sequence);
                    }
                }
            }
            starts = std::move(longer);
        }
        // The last bytes' ranks, then the runs of keys.
        std::string ranks;
        for (int length = 1; length <= 4; ++length) {
            int rank[256];
            int count = 0;
            for (int b = 0; b < 256; ++b) {
                bool ends = false;
                for (const auto& [sequence, c] : read[length - 1])
                    ends = ends || (sequence & 0xFF) == static_cast<std::uint32_t>(b);
                rank[b] = ends ? count++ : -1;
            }
            std::string lastBytes = "{";
            for (int b = 0; b < 256; ++b) lastBytes += std::to_string(rank[b]) + ",";
            lastBytes += "}";
            for (const auto& [sequence, c] : read[length - 1]) {
                Add(valid[length - 1],
                    (sequence >> 8) * static_cast<std::uint32_t>(count) +
                        static_cast<std::uint32_t>(rank[sequence & 0xFF]),
                    c);
            }
            ranks += "{" + std::to_string(count) + ", " + lastBytes + "}, ";
        }
        if (!ReadsAlone(cd, read[0])) {
            std::fprintf(stderr, "charset_tables: %s joins characters; a table cannot read it\n", set.name);
            return 1;
        }
        ::iconv_close(cd);
        std::string counts;
        std::string names;
        for (int i = 0; i < 4; ++i) {
            const std::string name = "kSet" + std::to_string(index) + "Valid" + std::to_string(i + 1);
            Print(name.c_str(), valid[i]);
            names += name + ", ";
            counts += std::to_string(valid[i].size()) + ", ";
        }
        std::string beginNames;
        std::string beginCounts;
        for (int i = 0; i < 3; ++i) {
            const std::string name = "kSet" + std::to_string(index) + "Begins" + std::to_string(i + 1);
            Print(name.c_str(), begins[i]);
            beginNames += name + ", ";
            beginCounts += std::to_string(begins[i].size()) + ", ";
        }
        sets += std::string("    {\"") + set.name + "\", \"" + set.aliases + "\", {" + names + "}, {" + counts +
                "}, {" + beginNames + "}, {" + beginCounts + "}, {" + ranks + "}},\n";
        ++index;
    }
    std::printf("constexpr CharsetTable kCharsets[] = {\n%s};\n", sets.c_str());
    return 0;
}
