#include "convert/detect/format_detection.h"

#include <algorithm>
#include <string_view>

#include "io/text_mode.h"

namespace rowsmith {

namespace {

// "N thing" or "N things".
std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Word in quotes. Appended, not concatenated: GCC 12 sees a false
// -Wrestrict in "x" + text.
std::string Enclosed(std::string_view word, char quote) {
    std::string text(1, quote);
    text.append(word).push_back(quote);
    return text;
}

std::string Quoted(std::string_view word) {
    return Enclosed(word, '"');
}

// A word for a shell: quoted unless it needs nothing.
std::string ShellWord(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.' || c == ':';
    });
    if (plain) return std::string(word);
    return Enclosed(word, word.find('\'') == std::string_view::npos ? '\'' : '"');
}

std::string Evidence(const Detection& d) {
    std::vector<std::string> parts;
    if (d.doubledQuotes > 0) parts.push_back(Count(d.doubledQuotes, "value", "values") + " with \"\" inside quotes");
    if (d.quotedBreaks > 0) parts.push_back(Count(d.quotedBreaks, "value", "values") + " with a line break in quotes");
    if (d.quotedDelimiters > 0)
        parts.push_back(Count(d.quotedDelimiters, "value", "values") + " with the delimiter in quotes");
    if (d.blankLines > 0) parts.push_back(Count(d.blankLines, "blank line", "blank lines"));
    if (d.unclosedLine > 0)
        parts.push_back("a quoted field that opens on line " + std::to_string(d.unclosedLine) + " is never closed");
    // No quotes at all: what differs is the blanks the line rules drop.
    if (parts.empty() && d.blankEnds) {
        parts.push_back("no quotes: values of record " + std::to_string(d.firstDifference) +
                        " end in blanks, which the line rules drop and standard CSV keeps");
    }
    std::string text;
    for (const std::string& part : parts) text.append(text.empty() ? "" : ", ").append(part);
    return text;
}

// Text as a report shows it: valid UTF-8 as it is, a control byte (a NUL
// say) or a byte UTF-8 does not take as \xNN, so that the report is text.
std::string Readable(std::string_view text) {
    const bool utf8 = IsUtf8(text);
    std::string shown;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F && (b < 0x80 || utf8)) {
            shown += c;
            continue;
        }
        static constexpr std::string_view kHex = "0123456789abcdef";
        shown.append("\\x").append(1, kHex[b >> 4]).append(1, kHex[b & 15]);
    }
    return shown;
}

std::string NamesText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text.append(text.empty() ? "" : ", ").append(Quoted(Readable(TrimSpace(name))));
    return text;
}

// The report's lines on where the records end and on the header.
std::string TableLines(const Detection& d) {
    std::string lines;
    if (d.tableEnd > 0) {
        lines += "records end: at line " + std::to_string(d.tableEnd) + "; from line " + std::to_string(d.nextTable) +
                 ", below a blank line, another table or notes (" + Count(d.nextTableFields, "field", "fields") +
                 "; read them with --skip-lines " + std::to_string(d.nextTable - 1) + ")\n";
    }
    if (!d.header) return lines + "header: no\n";
    lines += d.headerLines > 1 ? "header: yes, " + std::to_string(d.headerLines) + " lines: " : "header: yes: ";
    return lines + NamesText(d.names) + "\n";
}

}  // namespace

std::string ReadingOptionsLine(const ConversionOptions& options) {
    std::string line;
    const auto add = [&line](std::string_view word) { line.append(line.empty() ? "" : " ").append(word); };
    if (options.rfc4180) add("--rfc4180");
    if (options.textExport) add("--text-export");
    if (options.delimiter != ',') add("-d " + ShellWord(DelimiterName(options.delimiter)));
    if (options.skipLines > 0) add("--skip-lines " + std::to_string(options.skipLines));
    if (options.lastLine > 0) add("--last-line " + std::to_string(options.lastLine));
    if (options.quote != '"')
        add("--quote " + (options.quote == '\0' ? std::string("none") : ShellWord({&options.quote, 1})));
    if (options.escape != '\0') add("--escape " + ShellWord({&options.escape, 1}));
    if (options.skipSpaces) add("--skip-spaces");
    if (options.header) add("--header");
    if (options.header && options.headerLines > 1) add("--header-lines " + std::to_string(options.headerLines));
    if (!options.encoding.empty()) add("--encoding " + ShellWord(options.encoding));
    if (options.null == NullMode::UnquotedEmpty) add("--null unquoted-empty");
    return line;
}

std::string DetectionReport(const Detection& d) {
    std::string report = "encoding: " + d.encoding + "\n";
    report += "delimiter: " + ShellWord(DelimiterName(d.delimiter)) + "\n";
    const std::string evidence = Evidence(d);
    if (d.textExport) {
        report += "quoting: none: a database's text export (" + Count(d.nullMarks, "field", "fields") +
                  " of \\N alone, " + Count(d.escapes, "backslash escape", "backslash escapes") +
                  " of a tab, a line break or a backslash, no field in quotes)\n";
    } else if (d.firstDifference == 0 && d.quoteBeyond != 0) {
        report += "quoting: RFC 4180 (a double quote at byte " + std::to_string(d.quoteBeyond) +
                  ", past the records sampled)\n";
    } else if (d.firstDifference != 0) {
        report += "quoting: RFC 4180 (" + (evidence.empty() ? std::string("quotes") : evidence) +
                  "); the line rules read record " + std::to_string(d.firstDifference) + " otherwise\n";
    } else {
        report += "quoting: classic (the line rules read every record sampled as RFC 4180 does";
        report += evidence.empty() ? ")\n" : "; " + evidence + ")\n";
    }
    if (d.preambleLines > 0) {
        report += "lines above the records: " + std::to_string(d.preambleLines) +
                  " (fewer fields than the records below them)\n";
    }
    report += TableLines(d);
    if (d.bareEmpties > 0 || d.quotedEmpties > 0) {
        report += "empty values: " + std::to_string(d.bareEmpties) + " bare, " + std::to_string(d.quotedEmpties) +
                  " written \"\"" +
                  (d.reading.null == NullMode::UnquotedEmpty ? " (as database exports write NULL and '')\n" : "\n");
    }
    if (d.nulBytes > 0) {
        report += "NUL bytes: " + std::to_string(d.nulBytes) +
                  " in the records sampled (a run stops at them, or drops them with --nul strip)\n";
    }
    report += "line ends: " + d.lineEnds + "\n";
    report += "records sampled: " + std::to_string(d.records) +
              (d.whole ? " (the whole input)\n"
                       : " (the first " + std::to_string(InputSample::kHeadBytes >> 10) + " KiB" +
                             (d.restScanned ? "; the rest scanned for quotes and the character set)\n"
                                            : "; the rest not scanned: a pipe, compressed, or over 2 GiB)\n"));
    std::string counts;
    for (auto it = d.fieldCounts.rbegin(); it != d.fieldCounts.rend(); ++it) {
        counts.append(counts.empty() ? "" : ", ")
            .append(Count(it->first, "field", "fields"))
            .append(" x ")
            .append(std::to_string(it->second));
    }
    report += "field counts: " + (counts.empty() ? std::string("none") : counts) + "\n";
    const std::string options = ReadingOptionsLine(d.reading);
    report += "options:" + (options.empty() ? std::string() : " " + options) + "\n";
    return report;
}

ConversionOptions WithReadingOf(ConversionOptions options, const Detection& detection) {
    options.header = detection.reading.header;
    options.rfc4180 = detection.reading.rfc4180;
    options.delimiter = detection.reading.delimiter;
    options.encoding = detection.reading.encoding;
    options.skipLines = detection.reading.skipLines;
    options.headerLines = detection.reading.headerLines;
    options.lastLine = detection.reading.lastLine;
    options.textExport = detection.reading.textExport;
    options.quote = detection.reading.quote;
    options.escape = detection.reading.escape;
    options.skipSpaces = detection.reading.skipSpaces;
    // Only a convention seen changes the NULL choice; one chosen otherwise stays.
    if (detection.reading.null == NullMode::UnquotedEmpty) options.null = NullMode::UnquotedEmpty;
    return options;
}

namespace {

// Each way options may not fit a detection: whether it does not, what was
// seen, and the option that would fit.
struct Misfit {
    bool (*applies)(const Detection& d, const ConversionOptions& options);
    std::string (*seen)(const Detection& d);
    void (*fit)(const Detection& d, ConversionOptions& options);
};

const Misfit kMisfits[] = {
    {[](const Detection& d, const ConversionOptions& o) { return d.textExport && !o.textExport; },
     [](const Detection& d) {
         return "it is a database's text export (" + Count(d.nullMarks, "field", "fields") + " of \\N alone, " +
                Count(d.escapes, "backslash escape", "backslash escapes") + ", no quotes)";
     },
     [](const Detection&, ConversionOptions& o) {
         o.textExport = true;
         o.rfc4180 = false;
         o.delimiter = '\t';
     }},
    {[](const Detection& d, const ConversionOptions& o) {
         return d.reading.quote != o.quote || d.reading.skipSpaces != o.skipSpaces;
     },
     [](const Detection& d) {
         std::string seen = d.reading.quote == '\'' ? "its fields are quoted with ' (apostrophes)"
                                                    : "its fields are quoted with \" (double quotes)";
         if (d.reading.skipSpaces) seen += ", after a delimiter and a space";
         return seen;
     },
     [](const Detection& d, ConversionOptions& o) {
         o.quote = d.reading.quote;
         o.skipSpaces = d.reading.skipSpaces;
         o.rfc4180 = o.rfc4180 || d.reading.rfc4180;
     }},
    {[](const Detection& d, const ConversionOptions& o) {
         // Lines skipped down to the table below the first read that one.
         return d.preambleLines != o.skipLines && (d.nextTable == 0 || o.skipLines + 1 < d.nextTable);
     },
     [](const Detection& d) {
         if (d.preambleLines == 0) return std::string("its records begin on its first line");
         return "its first " + Count(d.preambleLines, "line has", "lines have") +
                " fewer fields than the records below: a title or notes, not records";
     },
     [](const Detection& d, ConversionOptions& o) { o.skipLines = static_cast<std::uint32_t>(d.preambleLines); }},
    {[](const Detection& d, const ConversionOptions& o) {
         return d.tableEnd != 0 && o.lastLine == 0 && o.skipLines < d.tableEnd;
     },
     [](const Detection& d) {
         return "its records end at line " + std::to_string(d.tableEnd) + ": from line " + std::to_string(d.nextTable) +
                ", below a blank line, lines have " + Count(d.nextTableFields, "field", "fields") +
                " (another table, or notes)";
     },
     [](const Detection& d, ConversionOptions& o) { o.lastLine = static_cast<std::uint32_t>(d.tableEnd); }},
    {[](const Detection& d, const ConversionOptions& o) { return d.reading.rfc4180 && !o.rfc4180; },
     [](const Detection& d) {
         const std::string evidence = Evidence(d);
         if (d.firstDifference == 0) {
             return "it has a double quote at byte " + std::to_string(d.quoteBeyond) +
                    ", past the records sampled, which only standard CSV quoting reads as a quote";
         }
         return "it is written as standard CSV (" + (evidence.empty() ? std::string("quotes") : evidence) +
                "): without standard CSV quoting, records from " + std::to_string(d.firstDifference) +
                " on would be read wrongly";
     },
     [](const Detection&, ConversionOptions& o) { o.rfc4180 = true; }},
    {[](const Detection& d, const ConversionOptions& o) {
         return d.delimiter != o.delimiter && CommonCount(d.fieldCounts).first > 1;
     },
     [](const Detection& d) {
         return ShellWord(DelimiterName(d.delimiter)) + " splits its records into " +
                std::to_string(CommonCount(d.fieldCounts).first) + " fields";
     },
     [](const Detection& d, ConversionOptions& o) { o.delimiter = d.delimiter; }},
    {[](const Detection& d, const ConversionOptions& o) {
         return d.header && (!o.header || o.headerLines != d.reading.headerLines);
     },
     [](const Detection& d) {
         if (d.headerLines > 1) {
             return "its first " + std::to_string(d.headerLines) + " lines look like names over rows of values (" +
                    NamesText(d.names) + ")";
         }
         return "its first line looks like names over rows of values (" + NamesText(d.names) + ")";
     },
     [](const Detection& d, ConversionOptions& o) {
         o.header = true;
         o.headerLines = d.reading.headerLines;
     }},
    {[](const Detection& d, const ConversionOptions& o) {
         return d.reading.null == NullMode::UnquotedEmpty && o.null == NullMode::None && o.nullTokens.empty();
     },
     [](const Detection& d) {
         return "it writes " + Count(d.bareEmpties, "empty value", "empty values") + " bare and " +
                std::to_string(d.quotedEmpties) + " as \"\", as database exports write NULL and ''";
     },
     [](const Detection&, ConversionOptions& o) { o.null = NullMode::UnquotedEmpty; }},
    {[](const Detection& d, const ConversionOptions& o) { return !d.reading.encoding.empty() && o.encoding.empty(); },
     [](const Detection& d) { return "its text is " + d.encoding; },
     [](const Detection& d, ConversionOptions& o) { o.encoding = d.reading.encoding; }},
};

}  // namespace

std::string ReadingOptionsWords(const ConversionOptions& options) {
    std::string words;
    const auto add = [&words](std::string_view part) { words.append(words.empty() ? "" : ", ").append(part); };
    if (options.rfc4180) add("standard CSV quoting");
    if (options.textExport) add("a database's text export");
    if (options.delimiter != ',') add("delimiter " + ShellWord(DelimiterName(options.delimiter)));
    if (options.skipLines > 0) add(Count(options.skipLines, "line", "lines") + " skipped above the records");
    if (options.quote != '"')
        add(options.quote == '\0' ? std::string("no quotes") : "quote " + ShellWord({&options.quote, 1}));
    if (options.escape != '\0') add("escape " + ShellWord({&options.escape, 1}));
    if (options.skipSpaces) add("spaces after a delimiter skipped");
    if (options.header && options.headerLines > 1) {
        add("first " + std::to_string(options.headerLines) + " lines hold the field names");
    } else if (options.header) {
        add("first line holds the field names");
    }
    if (options.lastLine > 0) add("records end at line " + std::to_string(options.lastLine));
    if (!options.encoding.empty()) add("character set " + options.encoding);
    return words;
}

std::vector<std::string> Misfits(const Detection& d, const ConversionOptions& options) {
    std::vector<std::string> seen;
    for (const Misfit& misfit : kMisfits) {
        if (misfit.applies(d, options)) seen.push_back(misfit.seen(d));
    }
    return seen;
}

ConversionOptions FittingOptions(const Detection& d, ConversionOptions options) {
    const ConversionOptions given = options;
    for (const Misfit& misfit : kMisfits) {
        if (misfit.applies(d, given)) misfit.fit(d, options);
    }
    return options;
}

std::vector<std::string> Hints(const Detection& d, const ConversionOptions& options) {
    std::vector<std::string> hints = Misfits(d, options);
    if (hints.empty()) return hints;
    for (std::string& line : hints) line.insert(0, "hint: ");
    hints.push_back("hint: to read it so, use: " + ReadingOptionsLine(FittingOptions(d, options)));
    return hints;
}

}  // namespace rowsmith
