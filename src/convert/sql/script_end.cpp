#include "convert/sql/script_end.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "io/file_system.h"
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

void ScriptReader::StartStatement() {
    if (statementOpen_) return;
    statementOpen_ = true;
    statementStart_ = at_;
    pendingLineEnd_ = false;
    if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
}

void ScriptReader::NoteText(char c) {
    StartStatement();
    if (words_.size() < WordsKept()) Keep(&c, 1);
    beforePrevious_ = previous_;
    previous_ = c;
}

std::size_t ScriptReader::WordsKept() const {
    return copyHead_ ? kCopyWordsKept : kWordsKept;
}

void ScriptReader::Keep(const char* bytes, std::size_t size) {
    const std::size_t before = words_.size();
    words_.append(bytes, std::min(size, WordsKept() - before));
    // A COPY statement keeps more of its words, to see its FROM stdin.
    if (before < 5 && words_.size() >= 5) {
        copyHead_ = (words_[0] | 0x20) == 'c' && (words_[1] | 0x20) == 'o' && (words_[2] | 0x20) == 'p' &&
                    (words_[3] | 0x20) == 'y' && IsTrimmedSpace(words_[4]);
        const std::size_t taken = words_.size() - before;
        if (copyHead_ && taken < size) Keep(bytes + taken, size - taken);
    }
}

void ScriptReader::Whole(std::uint64_t offset) {
    wholeEnd_ = offset;
    tailSeen_ = false;
}

void ScriptReader::EndStatement() {
    // Only statements that start so (BEGIN, START, COMMIT, END, ABORT,
    // ROLLBACK, COPY; CREATE, ALTER, DROP, TRUNCATE, RENAME) say more than
    // that they are whole: INSERT is the one written most.
    const char initial = words_.empty() ? ' ' : Upper(words_[0]);
    if (std::string_view("BSCEARDT").find(initial) == std::string_view::npos) {
        statementOpen_ = false;
        words_.clear();
        copyHead_ = false;
        Whole(at_ + 1);
        pendingLineEnd_ = true;
        return;
    }
    // The words kept, in capitals, each run of blanks one space.
    std::string folded;
    for (const char c : words_) {
        const char upper = IsTrimmedSpace(c) ? ' ' : Upper(c);
        if (upper != ' ' || (!folded.empty() && folded.back() != ' ')) folded += upper;
    }
    std::string_view words = folded;
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

void ScriptReader::MarkTail() {
    if (!tailSeen_) tailStart_ = at_, tailSeen_ = true;
}

void ScriptReader::OpenQuoted(char closing, bool escapes) {
    StartStatement();
    quote_ = closing;
    escapes_ = escapes;
    state_ = State::Quoted;
}

void ScriptReader::StepCode(char c) {
    const bool mysql = dialect_ == Dialect::MySql;
    const bool postgresql = dialect_ == Dialect::Postgresql;
    switch (c) {
        case '\'':
            // MySQL reads backslash escapes in every literal; PostgreSQL in E'...'.
            return OpenQuoted(c, mysql || (postgresql && (previous_ == 'E' || previous_ == 'e') &&
                                           !IsIdentifierByte(beforePrevious_)));
        case '"':
            return OpenQuoted(c, mysql);  // a string there, as '...' is
        case '`':
            if (postgresql) break;
            return OpenQuoted(c, false);
        case '[':
            if (dialect_ != Dialect::Sqlite) break;
            return OpenQuoted(']', false);
        case '-':
        case '/':
            MarkTail();
            state_ = c == '-' ? State::Dash : State::Slash;
            return;
        case '#':
            if (!mysql) break;
            MarkTail();
            state_ = State::LineComment;
            return;
        case '$':
            if (!postgresql || IsIdentifierByte(previous_)) break;
            StartStatement();
            dollarTag_.assign(1, '$');
            state_ = State::DollarTag;
            return;
        case ';':
            StartStatement();
            return EndStatement();
        case '\\':
        case '.':
            // No statement starts so: a line for the client itself (psql's
            // \set, the sqlite3 shell's .mode).
            if (statementOpen_) break;
            MarkTail();
            pendingLineEnd_ = false;
            state_ = State::ClientLine;
            return;
        default:
            if (!IsTrimmedSpace(c) || statementOpen_) break;
            return Blank(c);
    }
    NoteText(c);
}

void ScriptReader::Blank(char c) {
    // Blanks between statements: those up to the end of the line a
    // statement ended on go with it.
    if (pendingLineEnd_) {
        Whole(at_ + 1);
        pendingLineEnd_ = c != '\n';
    }
}

// The hot steps are inlined into Feed's loop: a run of a few bytes between
// two quotes is the usual step, and a call for each would cost more than it.
#define ROWSMITH_INLINE __attribute__((always_inline)) inline

ROWSMITH_INLINE bool ScriptReader::CodeStep(const char*& p, const char* end) {
    if (statementOpen_) {
        // Nothing but the stops matters in a statement: its words are kept
        // as they are, the rest skipped.
        const char* from = p;
        while (p < end && !kCodeStops[static_cast<unsigned char>(*p)]) ++p;
        if (words_.size() < WordsKept()) Keep(from, static_cast<std::size_t>(p - from));
        if (p - from >= 2) beforePrevious_ = p[-2];
        if (p > from) previous_ = p[-1];
        at_ += static_cast<std::uint64_t>(p - from);
        if (p == end) return false;
    }
    StepCode(*p);
    return true;
}

ROWSMITH_INLINE bool ScriptReader::QuotedStep(const char*& p, const char* end) {
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
    if (p == end) return false;
    state_ = *p == '\\' ? State::Escaped : quote_ == ']' ? State::Code : State::QuotedEnd;
    if (state_ == State::Code) NoteText(']');
    return true;
}

ROWSMITH_INLINE bool ScriptReader::QuotedEndStep(char c) {
    if (c == quote_) {
        state_ = State::Quoted;  // doubled: one of the text's own
        return true;
    }
    state_ = State::Code;
    NoteText(quote_);
    return false;  // the byte is read again, as code
}

bool ScriptReader::CommentStartStep(char c, char second, State comment) {
    if (c != second) {
        state_ = State::Code;
        NoteText(second == '-' ? '-' : '/');
        return false;
    }
    depth_ = 1;
    state_ = comment;
    return true;
}

bool ScriptReader::LineStep(const char*& p, const char* end) {
    const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    const char* stop = lf != nullptr ? static_cast<const char*>(lf) : end;
    at_ += static_cast<std::uint64_t>(stop - p);
    p = stop;
    if (p == end) return false;
    if (state_ == State::CopyStatement || state_ == State::CopyLine) {
        state_ = State::CopyLineStart;
    } else {
        state_ = State::Code;
        if (!statementOpen_) Whole(at_ + 1);  // a comment or command line between statements
    }
    return true;
}

bool ScriptReader::BlockCommentStep(const char*& p, const char* end) {
    while (p < end && *p != '*' && *p != '/') ++p, ++at_;
    if (p == end) return false;
    state_ = *p == '*' ? State::BlockStar : State::BlockSlash;
    return true;
}

bool ScriptReader::BlockStarStep(char c) {
    if (c == '*') return true;
    state_ = State::BlockComment;
    if (c == '/' && --depth_ == 0) {
        state_ = State::Code;
        if (!statementOpen_) Whole(at_ + 1);
    }
    return true;
}

bool ScriptReader::BlockSlashStep(char c) {
    state_ = State::BlockComment;
    if (c != '*' || dialect_ != Dialect::Postgresql) return false;  // read again in the comment
    ++depth_;
    return true;
}

bool ScriptReader::DollarTagStep(char c) {
    if (c == '$') {
        dollarTag_ += '$';
        dollarSeen_.clear();
        state_ = State::DollarBody;
        return true;
    }
    if (IsIdentifierByte(c) && !(dollarTag_.size() == 1 && c >= '0' && c <= '9')) {
        dollarTag_ += c;
        return true;
    }
    // Not a dollar quote after all ($1, say): code again.
    state_ = State::Code;
    NoteText('$');
    return false;
}

bool ScriptReader::DollarBodyStep(const char*& p, const char* end) {
    if (dollarSeen_.empty()) {
        const void* found = std::memchr(p, '$', static_cast<std::size_t>(end - p));
        const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
        at_ += static_cast<std::uint64_t>(stop - p);
        p = stop;
        if (p == end) return false;
        dollarSeen_.assign(1, '$');
        return true;
    }
    if (*p != dollarTag_[dollarSeen_.size()]) {
        dollarSeen_.assign(*p == '$' ? 1 : 0, '$');
        return true;
    }
    dollarSeen_ += *p;
    if (dollarSeen_.size() == dollarTag_.size()) {
        state_ = State::Code;
        NoteText('$');
    }
    return true;
}

bool ScriptReader::CopyMarkStep(char c) {
    const bool lf = c == '\n';
    switch (state_) {
        case State::CopyLineStart:
            state_ = c == '\\' ? State::CopyBackslash : lf ? State::CopyLineStart : State::CopyLine;
            return true;
        case State::CopyBackslash:
            state_ = c == '.' ? State::CopyDot : lf ? State::CopyLineStart : State::CopyLine;
            return true;
        default:
            break;
    }
    if (!lf) {
        state_ = c == '\r' && state_ == State::CopyDot ? State::CopyDotCr : State::CopyLine;
        return true;
    }
    // The block's end marker: the statement is whole with it.
    statementOpen_ = false;
    words_.clear();
    copyHead_ = false;
    pendingLineEnd_ = false;
    Whole(at_ + 1);
    state_ = State::Code;
    return true;
}

ROWSMITH_INLINE void ScriptReader::Step(const char*& p, const char* end) {
    bool consumed = false;
    switch (state_) {
        case State::Code:
            consumed = CodeStep(p, end);
            break;
        case State::Quoted:
            consumed = QuotedStep(p, end);
            break;
        case State::QuotedEnd:
            consumed = QuotedEndStep(*p);
            break;
        case State::Escaped:
            state_ = State::Quoted;
            consumed = true;
            break;
        case State::Dash:
            consumed = CommentStartStep(*p, '-', State::LineComment);
            break;
        case State::Slash:
            consumed = CommentStartStep(*p, '*', State::BlockComment);
            break;
        case State::LineComment:
        case State::ClientLine:
        case State::CopyStatement:
        case State::CopyLine:
            consumed = LineStep(p, end);
            break;
        case State::BlockComment:
            consumed = BlockCommentStep(p, end);
            break;
        case State::BlockStar:
            consumed = BlockStarStep(*p);
            break;
        case State::BlockSlash:
            consumed = BlockSlashStep(*p);
            break;
        case State::DollarTag:
            consumed = DollarTagStep(*p);
            break;
        case State::DollarBody:
            consumed = DollarBodyStep(p, end);
            break;
        case State::CopyLineStart:
        case State::CopyBackslash:
        case State::CopyDot:
        case State::CopyDotCr:
            consumed = CopyMarkStep(*p);
            break;
    }
    if (consumed) ++p, ++at_;
}

#undef ROWSMITH_INLINE

void ScriptReader::Feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) Step(p, end);
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
    FileInfo info;
    if (const int error = Inspect(fd, info)) return error;
    ScriptReader reader(dialect);
    const std::uint64_t size = info.size;
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(kScriptChunk, size));
    std::unique_ptr<char[]> chunk(new char[chunkSize]);
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - at));
        std::size_t got = 0;
        if (const int error = ReadAt(fd, chunk.get(), want, at, got)) return error;
        if (got == 0) break;  // shorter than it was a moment ago
        reader.Feed({chunk.get(), got});
        at += got;
    }
    end = reader.End();
    if (end.CutShort()) {
        end.tail.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(ScriptEnd::kTailShown, end.size - end.tailStart)));
        std::size_t got = 0;
        if (ReadAt(fd, end.tail.data(), end.tail.size(), end.tailStart, got) != 0) got = 0;
        end.tail.resize(got);
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
