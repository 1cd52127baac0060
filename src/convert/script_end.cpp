#include "convert/script_end.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "io/text_mode.h"

namespace rowsmith {

namespace {

// The words of a statement kept to tell what it does: enough for the
// transaction statements; a COPY statement's whole head, for FROM stdin.
constexpr std::size_t kWordsKept = 48;
constexpr std::size_t kCopyWordsKept = 4096;

bool IsIdentifierByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The bytes of code that matter once a statement's words are kept: the
// starts of quoted text and comments, and its end.
constexpr std::array<bool, 256> kCodeStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : std::string_view("'\"`[-/#$;\\")) stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// The word after the first one, in words kept in capitals.
std::string_view SecondWord(std::string_view words) {
    const std::size_t space = words.find(' ');
    if (space == std::string_view::npos) return {};
    words.remove_prefix(space + 1);
    return words.substr(0, words.find(' '));
}

}  // namespace

ScriptReader::ScriptReader(Dialect dialect) : dialect_(dialect) {}

void ScriptReader::Feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) Step(p, end);
}

void ScriptReader::StartStatement() {
    if (statementOpen_) return;
    statementOpen_ = true;
    statementStart_ = at_;
    pendingLineEnd_ = false;
    if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
}

void ScriptReader::NoteText(char c) {
    StartStatement();
    const std::size_t kept = copyHead_ ? kCopyWordsKept : kWordsKept;
    if (words_.size() < kept) {
        const char upper = IsTrimmedSpace(c) ? ' ' : Upper(c);
        if (upper != ' ' || (!words_.empty() && words_.back() != ' ')) words_ += upper;
        if (words_.size() == 5 && words_ == "COPY ") copyHead_ = true;
    }
    beforePrevious_ = previous_;
    previous_ = c;
}

void ScriptReader::Whole(std::uint64_t offset) {
    wholeEnd_ = offset;
    tailSeen_ = false;
}

void ScriptReader::EndStatement() {
    std::string_view words = words_;
    while (!words.empty() && words.back() == ' ') words.remove_suffix(1);
    if (copyHead_ && (words.find(" FROM STDIN") != std::string_view::npos)) {
        // psql reads the rows from the lines after this one: the block is
        // whole at its \. line.
        state_ = State::CopyStatement;
        return;
    }
    const std::string_view first = words.substr(0, words.find(' '));
    const std::string_view second = SecondWord(words);
    const bool chain = words.find(" AND CHAIN") != std::string_view::npos;
    if (first == "BEGIN" || StartsWith(words, "START TRANSACTION")) {
        insideTransaction_ = true;
    } else if (first == "COMMIT" || first == "END" || first == "ABORT") {
        insideTransaction_ = chain;
    } else if (first == "ROLLBACK") {
        // ROLLBACK TO SAVEPOINT leaves the transaction open.
        const bool toSavepoint = second == "TO" || words.find(" TO ") != std::string_view::npos;
        if (!toSavepoint) insideTransaction_ = chain;
    } else if (dialect_ == Dialect::MySql &&
               (first == "CREATE" || first == "ALTER" || first == "DROP" || first == "TRUNCATE" || first == "RENAME")) {
        insideTransaction_ = false;  // MySQL commits before such a statement
    }
    statementOpen_ = false;
    words_.clear();
    copyHead_ = false;
    Whole(at_ + 1);
    pendingLineEnd_ = true;
}

void ScriptReader::StepCode(char c) {
    switch (c) {
        case '\'':
            StartStatement();
            quote_ = c;
            // MySQL reads backslash escapes in every literal; PostgreSQL in E'...'.
            escapes_ = dialect_ == Dialect::MySql ||
                       (dialect_ == Dialect::Postgresql && (previous_ == 'E' || previous_ == 'e') &&
                        !IsIdentifierByte(beforePrevious_));
            state_ = State::Quoted;
            return;
        case '"':
            StartStatement();
            quote_ = c;
            escapes_ = dialect_ == Dialect::MySql;  // a string there, as '...' is
            state_ = State::Quoted;
            return;
        case '`':
            if (dialect_ == Dialect::Postgresql) break;
            StartStatement();
            quote_ = c;
            escapes_ = false;
            state_ = State::Quoted;
            return;
        case '[':
            if (dialect_ != Dialect::Sqlite) break;
            StartStatement();
            quote_ = ']';
            escapes_ = false;
            state_ = State::Quoted;
            return;
        case '-':
            if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
            state_ = State::Dash;
            return;
        case '/':
            if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
            state_ = State::Slash;
            return;
        case '#':
            if (dialect_ != Dialect::MySql) break;
            if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
            state_ = State::LineComment;
            return;
        case '$':
            if (dialect_ != Dialect::Postgresql || IsIdentifierByte(previous_)) break;
            StartStatement();
            dollarTag_ = "$";
            state_ = State::DollarTag;
            return;
        case ';':
            StartStatement();
            EndStatement();
            return;
        case '\\':
        case '.':
            // No statement starts so: a line for the client itself (psql's
            // \set, the sqlite3 shell's .mode).
            if (statementOpen_) break;
            if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
            pendingLineEnd_ = false;
            state_ = State::ClientLine;
            return;
        default:
            if (!IsTrimmedSpace(c) || statementOpen_) break;
            // Blanks between statements: those up to the end of the line a
            // statement ended on go with it.
            if (pendingLineEnd_) {
                Whole(at_ + 1);
                pendingLineEnd_ = c != '\n';
            }
            return;
    }
    NoteText(c);
}

void ScriptReader::Step(const char*& p, const char* end) {
    switch (state_) {
        case State::Code: {
            if (statementOpen_ && words_.size() >= (copyHead_ ? kCopyWordsKept : kWordsKept)) {
                // Nothing but the stops matters now: skip to the next.
                const char* from = p;
                while (p < end && !kCodeStops[static_cast<unsigned char>(*p)]) ++p;
                if (p - from >= 2) beforePrevious_ = p[-2];
                if (p > from) previous_ = p[-1];
                at_ += static_cast<std::uint64_t>(p - from);
                if (p == end) return;
            }
            StepCode(*p);
            break;
        }
        case State::Dash:
            if (*p != '-') {
                state_ = State::Code;
                NoteText('-');
                return;  // the byte is read again, as code
            }
            state_ = State::LineComment;
            break;
        case State::Slash:
            if (*p != '*') {
                state_ = State::Code;
                NoteText('/');
                return;
            }
            depth_ = 1;
            state_ = State::BlockComment;
            break;
        case State::LineComment:
        case State::ClientLine:
        case State::CopyStatement:
        case State::CopyLine: {
            const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            const char* stop = lf != nullptr ? static_cast<const char*>(lf) : end;
            at_ += static_cast<std::uint64_t>(stop - p);
            p = stop;
            if (p == end) return;
            if (state_ == State::CopyStatement || state_ == State::CopyLine) {
                state_ = State::CopyLineStart;
            } else {
                state_ = State::Code;
                if (!statementOpen_) Whole(at_ + 1);  // a comment or command line between statements
            }
            break;
        }
        case State::BlockComment: {
            while (p < end && *p != '*' && *p != '/') ++p, ++at_;
            if (p == end) return;
            state_ = *p == '*' ? State::BlockStar : State::BlockSlash;
            break;
        }
        case State::BlockStar:
            if (*p == '/') {
                if (--depth_ == 0) {
                    state_ = State::Code;
                    if (!statementOpen_) Whole(at_ + 1);
                } else {
                    state_ = State::BlockComment;
                }
            } else if (*p != '*') {
                state_ = State::BlockComment;
            }
            break;
        case State::BlockSlash:
            state_ = State::BlockComment;
            if (*p == '*' && dialect_ == Dialect::Postgresql) {
                ++depth_;
                break;
            }
            return;  // read again in the comment
        case State::Quoted: {
            const char* stop = nullptr;
            if (escapes_) {
                stop = p;
                while (stop < end && *stop != quote_ && *stop != '\\') ++stop;
            } else {
                const void* found = std::memchr(p, quote_, static_cast<std::size_t>(end - p));
                stop = found != nullptr ? static_cast<const char*>(found) : end;
            }
            at_ += static_cast<std::uint64_t>(stop - p);
            p = stop;
            if (p == end) return;
            state_ = *p == '\\' ? State::Escaped : quote_ == ']' ? State::Code : State::QuotedEnd;
            if (state_ == State::Code) NoteText(']');
            break;
        }
        case State::QuotedEnd:
            if (*p == quote_) {
                state_ = State::Quoted;  // doubled: one of the text's own
                break;
            }
            state_ = State::Code;
            NoteText(quote_);
            return;
        case State::Escaped:
            state_ = State::Quoted;
            break;
        case State::DollarTag:
            if (*p == '$') {
                dollarTag_ += '$';
                dollarSeen_.clear();
                state_ = State::DollarBody;
                break;
            }
            if (IsIdentifierByte(*p) && !(dollarTag_.size() == 1 && *p >= '0' && *p <= '9')) {
                dollarTag_ += *p;
                break;
            }
            // Not a dollar quote after all ($1, say): code again.
            state_ = State::Code;
            NoteText('$');
            return;
        case State::DollarBody:
            if (dollarSeen_.empty()) {
                const void* found = std::memchr(p, '$', static_cast<std::size_t>(end - p));
                const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
                at_ += static_cast<std::uint64_t>(stop - p);
                p = stop;
                if (p == end) return;
                dollarSeen_ = "$";
                break;
            }
            if (*p == dollarTag_[dollarSeen_.size()]) {
                dollarSeen_ += *p;
                if (dollarSeen_.size() == dollarTag_.size()) {
                    state_ = State::Code;
                    NoteText('$');
                }
            } else {
                dollarSeen_ = *p == '$' ? "$" : "";
            }
            break;
        case State::CopyLineStart:
            state_ = *p == '\\' ? State::CopyBackslash : *p == '\n' ? State::CopyLineStart : State::CopyLine;
            break;
        case State::CopyBackslash:
            state_ = *p == '.' ? State::CopyDot : *p == '\n' ? State::CopyLineStart : State::CopyLine;
            break;
        case State::CopyDot:
        case State::CopyDotCr:
            if (*p == '\n') {
                // The block's end marker: the statement is whole with it.
                statementOpen_ = false;
                words_.clear();
                copyHead_ = false;
                pendingLineEnd_ = false;
                Whole(at_ + 1);
                state_ = State::Code;
            } else {
                state_ = *p == '\r' && state_ == State::CopyDot ? State::CopyDotCr : State::CopyLine;
            }
            break;
    }
    ++p;
    ++at_;
}

ScriptEnd ScriptReader::End() const {
    ScriptEnd end;
    end.size = at_;
    end.wholeEnd = wholeEnd_;
    end.insideTransaction = insideTransaction_;
    end.tailStart = state_ == State::Code && !statementOpen_ ? at_ : tailStart_;
    return end;
}

namespace {

constexpr std::size_t kScriptChunk = std::size_t{1} << 20;

}  // namespace

int ReadScriptEnd(int fd, Dialect dialect, ScriptEnd& end) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return errno;
    ScriptReader reader(dialect);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(kScriptChunk, size));
    std::unique_ptr<char[]> chunk(new char[chunkSize]);
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - at));
        const ssize_t got = ::pread(fd, chunk.get(), want, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;  // shorter than it was a moment ago
        reader.Feed({chunk.get(), static_cast<std::size_t>(got)});
        at += static_cast<std::uint64_t>(got);
    }
    end = reader.End();
    if (end.CutShort()) {
        end.tail.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(ScriptEnd::kTailShown, end.size - end.tailStart)));
        const ssize_t got = ::pread(fd, end.tail.data(), end.tail.size(), static_cast<off_t>(end.tailStart));
        end.tail.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return 0;
}

bool RowsmithsCutStatement(std::string_view tail) {
    constexpr std::string_view kStarts[] = {
        "INSERT INTO ", "COPY ", "CREATE TABLE IF NOT EXISTS ", "BEGIN;", "COMMIT;", "ROLLBACK;", "SET ", "\\set "};
    if (tail.empty()) return false;
    return std::any_of(std::begin(kStarts), std::end(kStarts), [tail](std::string_view start) {
        const std::size_t n = std::min(start.size(), tail.size());
        return tail.substr(0, n) == start.substr(0, n);
    });
}

}  // namespace rowsmith
