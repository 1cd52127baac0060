#pragma once

// Where a file of statements ends safely, found by reading it as the
// database's client reads it: string literals, quoted names, comments,
// COPY blocks and the client's own command lines. Text inside a value
// never passes for a statement here, so a run that appends to the file
// knows whether its last statement was cut short (a run killed while it
// wrote) and whether a transaction is left open, whatever the values hold.

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/sql/sql_dialect.h"

namespace rowsmith {

struct ScriptEnd {
    std::uint64_t size = 0;      // the bytes read
    std::uint64_t wholeEnd = 0;  // where the last whole statement ends, with its line end
    // The statements up to wholeEnd leave a transaction open (BEGIN; with
    // no COMMIT; or ROLLBACK; after it).
    bool insideTransaction = false;
    // Where the text after wholeEnd that is more than white space starts
    // (size when there is none), and its first bytes (up to kTailShown, as
    // ReadScriptEnd reads them), to tell whose it is.
    std::uint64_t tailStart = 0;
    std::string tail;
    static constexpr std::size_t kTailShown = 64;

    // Text after the last whole statement that is more than white space: a
    // statement, comment or block cut short.
    bool CutShort() const { return tailStart < size; }
};

// Reads a script as the client of dialect reads it, bytes after bytes.
class ScriptReader {
public:
    explicit ScriptReader(Dialect dialect);

    void Feed(std::string_view bytes);
    // What the bytes fed so far come to.
    ScriptEnd End() const;

private:
    enum class State {
        Code,           // between literals, names and comments
        Dash,           // a '-' in code: a comment if another follows
        Slash,          // a '/' in code: a comment if '*' follows
        LineComment,    // to the end of the line
        BlockComment,   // to "*/" (nested in PostgreSQL)
        BlockStar,      // a '*' in a block comment
        BlockSlash,     // a '/' in a block comment
        Quoted,         // inside quote_ ... quote_ (literal or name)
        QuotedEnd,      // quote_ inside: the end, unless another follows
        Escaped,        // a backslash inside a quoted text that has escapes
        DollarTag,      // reading $tag$, PostgreSQL
        DollarBody,     // inside $tag$ ... $tag$
        ClientLine,     // a client command (\set, .mode) to the end of its line
        CopyStatement,  // after COPY ... FROM stdin; to the end of its line
        CopyLineStart,  // at the start of a COPY data line
        CopyBackslash,  // "\" at the start of a data line
        CopyDot,        // "\." at the start of a data line
        CopyDotCr,      // "\.\r"
        CopyLine,       // in a data line
    };

    // One step of the state the reader is in, from p; each step but Step
    // returns whether the byte at p was read (false: it is read again in the
    // state the step went to, or the bytes ended).
    void Step(const char*& p, const char* end);
    bool CodeStep(const char*& p, const char* end);
    bool QuotedStep(const char*& p, const char* end);
    bool QuotedEndStep(char c);
    bool CommentStartStep(char c, char second, State comment);
    bool LineStep(const char*& p, const char* end);
    bool BlockCommentStep(const char*& p, const char* end);
    bool BlockStarStep(char c);
    bool BlockSlashStep(char c);
    bool DollarTagStep(char c);
    bool DollarBodyStep(const char*& p, const char* end);
    bool CopyMarkStep(char c);
    // A byte of code, between statements or inside one.
    void StepCode(char c);
    void OpenQuoted(char closing, bool escapes);
    void Blank(char c);
    // The text after the last whole unit starts here, unless it started before.
    void MarkTail();
    // The statement whose ';' was just read ends here.
    void EndStatement();
    // A whole unit (statement, command line, COPY block) ends at offset.
    void Whole(std::uint64_t offset);
    // A byte of the statement's text outside quotes and comments.
    void NoteText(char c);
    // Bytes of it, kept as its words while there are few.
    void Keep(const char* bytes, std::size_t size);
    std::size_t WordsKept() const;
    void StartStatement();

    Dialect dialect_;
    State state_ = State::Code;
    std::uint64_t at_ = 0;  // offset of the byte being read
    char quote_ = '\0';
    bool escapes_ = false;    // the quoted text reads backslash escapes
    std::size_t depth_ = 0;   // block comments open
    std::string dollarTag_;   // $tag$ of the dollar-quoted text
    std::string dollarSeen_;  // the bytes of a possible closing tag
    bool statementOpen_ = false;
    std::uint64_t statementStart_ = 0;
    std::string words_;            // the statement's text in capitals, blanks folded
    bool copyHead_ = false;        // the statement starts with COPY
    char previous_ = ' ';          // the last byte of code
    char beforePrevious_ = ' ';    // the one before it
    bool pendingLineEnd_ = false;  // blanks after a whole unit, up to its LF, go with it
    std::uint64_t wholeEnd_ = 0;
    bool insideTransaction_ = false;
    std::uint64_t tailStart_ = 0;  // the first byte after wholeEnd_ that is not white space
    bool tailSeen_ = false;
};

// Reads the file fd names (a regular file) from its start. Returns 0 or
// the errno of a failed read.
int ReadScriptEnd(int fd, Dialect dialect, ScriptEnd& end);

// Whether tail, the text after a script's last whole statement, is the
// start of a statement Rowsmith writes, cut short: only such text may be
// taken away.
bool RowsmithsCutStatement(std::string_view tail);

}  // namespace rowsmith
