#pragma once

// How a file is written, guessed from a sample of it: its character set,
// delimiter, quoting, header and line ends, and the reading options that
// read it so. Detection only proposes: a run reads with the options it is
// given, whatever a detection says.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "convert/detect/whole_scan.h"
#include "convert/options/conversion_options.h"

namespace rowsmith {

// The bytes a detection looks at.
struct InputSample {
    static constexpr std::size_t kHeadBytes = std::size_t{128} << 10;
    static constexpr std::size_t kTailBytes = std::size_t{64} << 10;

    // The input's start as a run without --encoding reads it: decompressed,
    // text a byte-order mark names decoded into UTF-8, a UTF-8 mark left out.
    std::string head;
    // The last bytes of a regular file the head does not reach, as they lie
    // in the file; empty otherwise.
    std::string tail;
    bool whole = false;        // head is the whole input
    std::string markEncoding;  // what a UTF-16 or UTF-32 byte-order mark said
    bool utf8Mark = false;     // a regular file starts with a UTF-8 byte-order mark
    // The rest of a regular file, past head: its quotes and bytes past ASCII.
    ScanEvidence rest;
};

// Reads the sample of the input fd reads, from where it stands. 0, or the
// code of a failed read, with its reason in words.
// scanRest: the rest of a regular file is scanned too (InputSample::rest),
// on as many threads; the preview, redrawn as options change, does without.
int ReadSample(int fd, InputSample& sample, std::string& reason, bool scanRest = true, unsigned threads = 1);

struct Detection {
    std::string encoding;  // "utf-8", "ascii", "windows-1252", ... as said
    char delimiter = ',';
    // Evidence of standard CSV quoting, in the records sampled.
    std::size_t doubledQuotes = 0;     // values in quotes holding a "" pair
    std::size_t quotedBreaks = 0;      // values in quotes holding a line break
    std::size_t quotedDelimiters = 0;  // values in quotes holding the delimiter
    std::size_t blankLines = 0;        // lines with nothing on them
    std::size_t unclosedLine = 0;      // where a quoted field never closed opens
    // The first record the line rules read otherwise than standard CSV
    // (1-based), or 0 when they read the sample alike.
    std::size_t firstDifference = 0;
    bool header = false;
    std::size_t headerLines = 0;     // the records the header takes
    std::vector<std::string> names;  // the first record's values, or the header's names
    // Where the records of the first table end (the line above a blank line
    // below which the lines are not its records: another table, notes), and
    // the line the next starts on with its number of fields; 0: no end seen.
    std::size_t tableEnd = 0;
    std::size_t nextTable = 0;
    std::size_t nextTableFields = 0;
    // Lines above the records, whose field counts are not theirs (titles,
    // notes): what --skip-lines skips.
    std::size_t preambleLines = 0;
    // A database's text export: fields that are \N alone, and backslash
    // escapes of the delimiter, a line break or a backslash; no quoting.
    bool textExport = false;
    std::size_t nullMarks = 0;
    std::size_t escapes = 0;
    // Empty values written bare and written "" (database CSV exports write
    // NULL as the one and '' as the other).
    std::size_t bareEmpties = 0;
    std::size_t quotedEmpties = 0;
    // Past the records sampled: where the first double quote is (0: none),
    // and whether the rest was scanned at all.
    std::uint64_t quoteBeyond = 0;
    bool restScanned = false;
    // The record firstDifference names differs only in blanks at the ends of
    // its values, which the line rules drop and standard CSV keeps.
    bool blankEnds = false;
    std::size_t nulBytes = 0;                        // NUL bytes in the sample
    std::string lineEnds;                            // "LF", "CR LF", "CR", "mixed ..." or "none"
    std::size_t records = 0;                         // standard CSV records in the sample
    bool whole = false;                              // the sample was the whole input
    std::map<std::size_t, std::size_t> fieldCounts;  // fields -> records
    // The reading options (header, rfc4180, delimiter, encoding, lines to
    // skip, text export, the NULL choice) that read the input as detected;
    // the others at their defaults.
    ConversionOptions reading;
};

Detection DetectFormat(const InputSample& sample);

// The number of fields most records have (the larger of two as common),
// and how many have it.
std::pair<std::size_t, std::size_t> CommonCount(const std::map<std::size_t, std::size_t>& counts);

// What a detection says, in words (detection_words.cpp):
// the reading options of options that are not the defaults, as the words
// a command line gives them: "--rfc4180 -d ';' --header --encoding latin1".
std::string ReadingOptionsLine(const ConversionOptions& options);

// What --sniff prints: "key: value" lines, each ending in LF, the last of
// them "options: " and the options to add.
std::string DetectionReport(const Detection& detection);

// The reading options of options in words, for the window's messages:
// "standard CSV quoting, delimiter ';', ..."; empty for the defaults.
std::string ReadingOptionsWords(const ConversionOptions& options);

// What the detection saw that options do not read as it is written, a
// sentence each without its full stop; none when they fit the input as far
// as the sample shows.
std::vector<std::string> Misfits(const Detection& detection, const ConversionOptions& options);
// The options, their reading options changed where Misfits says: what a
// run should use instead.
ConversionOptions FittingOptions(const Detection& detection, ConversionOptions options);
// rowsmith-convert's hint lines: each misfit, then the options line to use.
std::vector<std::string> Hints(const Detection& detection, const ConversionOptions& options);

// The options with the detection's reading options in place of theirs.
ConversionOptions WithReadingOf(ConversionOptions options, const Detection& detection);

// The detection of a regular file (a gzip file too); nothing when it cannot
// be read or is not a regular file.
std::optional<Detection> DetectFile(const std::string& path, unsigned threads = 1);

}  // namespace rowsmith
