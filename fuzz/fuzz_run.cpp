// A whole run on any bytes, read in pieces of any size, with a write that
// fails at any offset: the output is always a prefix of the full output
// that ends with a whole statement, and the report says the write failed;
// with the line rules and one row a statement, the full output is exactly
// the plain rules' statements for the text-mode lines. Byte 0 picks the
// options, byte 1 the size of the pieces and of the blocks, bytes 2 and 3
// where the write fails.
// With a transaction, a failed write takes the run's statements back, and a
// run cut at that offset and made again loads every row exactly once.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <signal.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert/run/conversion_run.h"
#include "convert/row_conversion.h"
#include "convert/sql/sql_dialect.h"
#include "io/byte_order_mark.h"
#include "io/text_mode.h"
#include "pieces_source.h"
#include "reference_rules.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string Contents(int fd) {
    std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) std::abort();
    return bytes;
}

// Runs the conversion into a memory file that grows to limit bytes at most,
// as a disk that fills up: the file size limit of the process, for the run.
rowsmith::RunReport Run(std::string_view input, std::size_t piece, std::size_t block,
                        const rowsmith::ConversionOptions& options, std::size_t limit, std::string& output) {
    const int fd = ::memfd_create("out", 0);
    if (fd < 0) std::abort();
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    // A write past the limit fails with EFBIG instead of raising SIGXFSZ
    // (which libFuzzer would take for a crash).
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    if (limit != std::string::npos) {
        const rlimit small{static_cast<rlim_t>(limit), old.rlim_max};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) std::abort();
    }
    rowsmith::test::PiecesSource source(input, [piece] { return piece; });
    const rowsmith::ConversionSettings settings{"in", "out", "t", "a, b"};
    rowsmith::RunContext run{source, "in", fd, settings, options, nullptr, input.size()};
    // Small blocks: fast runs, and statements longer than a block often.
    run.blockSize = block;
    const rowsmith::RunReport report = rowsmith::ConvertSource(run);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    output = Contents(fd);
    ::close(fd);
    return report;
}

// A run with a transaction, killed as it wrote: its output cut at any byte,
// and the run made again, appending. The file then loads every row exactly
// once: the cut statement is taken away and the unfinished transaction
// rolled back, whatever the values hold (quotes, COMMIT; lines).
void CheckRetry(std::string_view input, rowsmith::ConversionOptions options, std::size_t cutAt) {
    options.transaction = true;
    const int in = ::memfd_create("in", 0);
    const int out = ::memfd_create("out", 0);
    if (in < 0 || out < 0 || ::write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        std::abort();
    ::fcntl(out, F_SETFL, O_APPEND);
    const rowsmith::ConversionSettings settings{"in", "out", "t", ""};
    const auto run = [&] {
        ::lseek(in, 0, SEEK_SET);
        return rowsmith::ConvertStreams(in, "in", out, settings, options).status;
    };
    if (run() == rowsmith::RunStatus::Done) {
        const std::string full = Contents(out);
        const std::size_t cut = cutAt % full.size();
        if (::ftruncate(out, static_cast<off_t>(cut)) != 0) std::abort();
        if (run() != rowsmith::RunStatus::Done) Fail("a run after a cut one failed", full.substr(0, cut));
        const bool mysql = options.dialect == rowsmith::Dialect::MySql;
        const auto once = rowsmith::reference::ReadStatements(full, mysql, true);
        const std::string retried = Contents(out);
        const auto rows = rowsmith::reference::ReadStatements(retried, mysql, true);
        // Cut after its COMMIT;, the first run had finished: its rows count.
        const bool finished = cut >= full.size() - 2;
        std::vector<rowsmith::reference::Row> expected = once ? *once : decltype(expected)();
        if (finished && once) expected.insert(expected.end(), once->begin(), once->end());
        if (!rows || !once || *rows != expected) Fail("rows lost or loaded twice after a cut", retried);
    }
    ::close(in);
    ::close(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    rowsmith::ConversionOptions options;
    options.rfc4180 = (data[0] & 1) != 0;
    options.rowsPerInsert = (data[0] & 2) != 0 ? 1 + data[0] % 5 : 1;
    options.transaction = (data[0] & 4) != 0;
    options.dialect = (data[0] & 8) != 0 ? rowsmith::Dialect::MySql : rowsmith::Dialect::Standard;
    options.null = (data[0] & 16) == 0    ? rowsmith::NullMode::None
                   : (data[0] & 128) != 0 ? rowsmith::NullMode::UnquotedEmpty
                                          : rowsmith::NullMode::Empty;
    options.delimiter = (data[0] & 32) != 0 ? ';' : ',';
    options.nul = (data[0] & 64) != 0 ? rowsmith::NulChoice::Strip : rowsmith::NulChoice::Refuse;
    const std::size_t piece = 1 + data[1] % 64;
    const std::size_t block = std::size_t{1024} << (data[1] >> 6);
    const std::string_view input(reinterpret_cast<const char*>(data) + 4, size - 4);

    std::string full;
    const rowsmith::RunReport whole = Run(input, piece, block, options, std::string::npos, full);
    if (whole.status != rowsmith::RunStatus::Done && whole.status != rowsmith::RunStatus::ReadFailed) {
        Fail("the run ended neither done nor with a read error", whole.text);
    }
    // A UTF-16 or UTF-32 byte-order mark makes the run decode the text,
    // which the plain rules, reading bytes, do not.
    const rowsmith::ByteOrderMark mark = rowsmith::FindByteOrderMark(input).mark;
    const bool decoded = mark != rowsmith::ByteOrderMark::None && mark != rowsmith::ByteOrderMark::Utf8;
    if (!options.rfc4180 && options.rowsPerInsert == 1 && !options.transaction && !decoded &&
        whole.status == rowsmith::RunStatus::Done) {
        // The session's setting first, where the dialect has one.
        std::string expected(rowsmith::RulesOf(options.dialect).session);
        if (!expected.empty()) expected += "\r\n";
        for (const std::string& line : rowsmith::reference::TextLines(input)) {
            expected += rowsmith::ToDiskText(rowsmith::ConvertRow(line, "t", "a, b", options));
        }
        if (full != expected) Fail("the run and the plain rules differ", full + "\n---\n" + expected);
    }

    // Half the runs with a transaction are killed and made again, the
    // others stopped by a full disk.
    if (options.transaction && (data[3] & 1) != 0) {
        CheckRetry(input, options, static_cast<std::size_t>(data[2]) << 8 | data[3]);
        return 0;
    }

    const std::size_t limit = (static_cast<std::size_t>(data[2]) << 8 | data[3]) % (full.size() + 2);
    std::string cut;
    const rowsmith::RunReport report = Run(input, piece, block, options, limit, cut);
    // A transaction that failed took its statements back: the file held
    // more on the way than it ends with, and a limit may stop it sooner.
    const bool shrank = whole.status != rowsmith::RunStatus::Done && options.transaction;
    if (limit >= full.size() && !shrank) {
        if (report.status != whole.status || cut != full) Fail("with room enough", report.text + "\n" + cut);
        return 0;
    }
    if (report.status == whole.status && cut == full) return 0;  // stopped by the input first
    if (report.status != rowsmith::RunStatus::WriteFailed) Fail("a failed write not reported", report.text);
    if (cut.size() > limit || full.compare(0, cut.size(), cut) != 0) Fail("not a prefix", cut);
    if (!cut.empty() && cut.substr(cut.size() - 3) != ";\r\n") Fail("not whole statements", cut);
    return 0;
}
