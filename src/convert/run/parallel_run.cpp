#include "convert/run/parallel_run.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "convert/read/records.h"
#include "convert/read/row_scanner.h"
#include "convert/run/statement_output.h"
#include "convert/run/statement_writer.h"
#include "io/byte_blocks.h"
#include "io/byte_source.h"
#include "io/status.h"
#include "io/stop_request.h"
#include "io/text_mode_reader.h"
#include "io/worker.h"

namespace rowsmith {

namespace {

// The bytes of pieces held in memory, one after another, then a failure a
// source gave, or what it gives after them: a reader's input.
class PieceSource : public ByteSource {
public:
    // tail: the source the bytes were read from, which describes failures
    // and counts the bytes taken from the file; more: it is read on after them.
    explicit PieceSource(ByteSource* tail = nullptr, bool more = false) : tail_(tail), more_(more) {}
    void Reset(std::vector<std::string_view> pieces, int failure = 0) {
        pieces_ = std::move(pieces);
        at_ = 0;
        failure_ = failure;
    }
    int Read(char* buffer, std::size_t size, std::size_t& got) override {
        got = 0;
        for (; at_ < pieces_.size(); ++at_) {
            std::string_view& piece = pieces_[at_];
            if (piece.empty()) continue;
            got = std::min(size, piece.size());
            std::memcpy(buffer, piece.data(), got);
            piece.remove_prefix(got);
            return 0;
        }
        if (failure_ != 0) return failure_;
        return more_ ? tail_->Read(buffer, size, got) : 0;
    }
    std::uint64_t bytesFromFile() const override { return tail_ != nullptr ? tail_->bytesFromFile() : 0; }
    std::string Describe(int error) const override {
        return tail_ != nullptr ? tail_->Describe(error) : ByteSource::Describe(error);
    }

private:
    ByteSource* tail_;
    bool more_;
    std::vector<std::string_view> pieces_;
    std::size_t at_ = 0;
    int failure_ = 0;
};

// A piece of the input, ending where a record ends, and what converting it gave.
struct Piece {
    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
    std::size_t begin = 0;  // where in bytes they begin
    std::size_t size = 0;
    bool cut = false;             // it ends where a record was found to end
    std::uint64_t fileBytes = 0;  // bytes taken from the file once it was read
    StatementOutput::Bytes statements;
    RowCounts counts;
    std::uint64_t lines = 0;  // the lines it holds
    bool alike = false;       // converted as one thread converts it, to its end
    bool done = false;
    std::string_view text() const { return {bytes.get() + begin, size}; }
};

// How many times quote stands in bytes, sixty-four bytes at a time: the
// cutting thread looks at every byte of the input so.
template <typename Kind>
std::size_t CountOf(std::string_view bytes, char quote) {
    std::size_t count = 0;
    std::size_t at = 0;
    for (; at + kWide <= bytes.size(); at += kWide)
        count += static_cast<std::size_t>(std::popcount(Kind::Match(bytes.data() + at, std::array<char, 1>{quote})[0]));
    return count +
           static_cast<std::size_t>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), quote));
}

// Where the last record in bytes ends: after its LF, where the quotes
// before it are even (none when quote is '\0'), so that the LF is outside
// quotes; 0 where none is found.
std::size_t RecordCut(std::string_view bytes, char quote) {
    std::size_t lf = bytes.rfind('\n');
    if (lf == std::string_view::npos) return 0;
    if (quote == '\0') return lf + 1;
    const auto count = [quote](std::string_view text) {
        return WithBaseKind([text, quote](auto kind) { return CountOf<decltype(kind)>(text, quote); });
    };
    std::size_t quotes = count(bytes.substr(0, lf));
    while (quotes % 2 != 0) {
        const std::size_t before = lf == 0 ? std::string_view::npos : bytes.rfind('\n', lf - 1);
        if (before == std::string_view::npos) return 0;
        quotes -= count(bytes.substr(before, lf - before));
        lf = before;
    }
    return lf + 1;
}

// Reads the input into pieces that end where records end, the bytes after
// a piece's last record carried into the next one.
class Cutter {
public:
    Cutter(ByteSource& source, std::string_view unread, bool more, bool skipLf, char quote, std::size_t pieceBytes)
        : source_(source),
          carried_(unread),
          ended_(!more),
          skipLf_(skipLf && unread.empty()),
          quote_(quote),
          pieceBytes_(pieceBytes),
          // A record longer than this goes one record at a time.
          longest_(std::min(TextModeReader::kMaxLineSize, std::max(pieceBytes * 16, std::size_t{16} << 20))) {}

    // Fills piece with the next bytes, up to the end of a record where the
    // input goes on: false when nothing is left.
    bool Fill(Piece& piece) {
        piece.size = 0;
        std::size_t room = std::max(pieceBytes_, carried_.size());
        Grow(piece, room, carried_.size());
        piece.size = carried_.copy(piece.bytes.get() + piece.begin, carried_.size());
        carried_.clear();
        for (;;) {
            ReadInto(piece, room);
            piece.fileBytes = source_.bytesFromFile();
            if (ended_) {
                piece.cut = true;
                return piece.size != 0;
            }
            if (const std::size_t cut = RecordCut(piece.text(), quote_); cut != 0) {
                carried_.assign(piece.text().substr(cut));
                piece.size = cut;
                piece.cut = true;
                return true;
            }
            if (room >= longest_) {
                piece.cut = false;
                return true;
            }
            room *= 2;
            Grow(piece, room);
        }
    }
    // Bytes read after the last piece, and the failure that ended the reading.
    std::string_view carried() const { return carried_; }
    int failure() const { return failure_; }
    bool ended() const { return ended_; }

private:
    // Room for room bytes from the piece's start, which stands where the
    // bytes read after it (and after carried more bytes put in first) come
    // at their file offset's place in a 64-byte line: the kernel copies
    // them fastest so.
    void Grow(Piece& piece, std::size_t room, std::size_t carried = 0) {
        const std::size_t capacity = room + kCopyAlignment;
        std::unique_ptr<char[]> larger;
        if (piece.capacity < capacity) larger.reset(new char[capacity]);
        char* base = larger ? larger.get() : piece.bytes.get();
        const std::size_t begin = CopyOrigin(source_.bytesFromFile() - piece.size - carried, base);
        if (piece.size != 0) std::memmove(base + begin, piece.bytes.get() + piece.begin, piece.size);
        piece.begin = begin;
        if (!larger) return;
        piece.bytes = std::move(larger);
        piece.capacity = capacity;
    }
    // Reads until the piece holds room bytes, or the input ends.
    void ReadInto(Piece& piece, std::size_t room) {
        while (!ended_ && piece.size < room) {
            char* at = piece.bytes.get() + piece.begin + piece.size;
            std::size_t got = 0;
            if (const int error = source_.Read(at, room - piece.size, got); error != 0 || got == 0) {
                failure_ = error;
                ended_ = true;
                return;
            }
            // A CR that ended the last record read before goes with this LF.
            if (skipLf_ && *at == '\n') std::memmove(at, at + 1, --got);
            skipLf_ = false;
            piece.size += got;
        }
    }

    ByteSource& source_;
    std::string carried_;
    bool ended_;
    bool skipLf_;
    const char quote_;
    const std::size_t pieceBytes_;
    const std::size_t longest_;
    int failure_ = 0;
};

// What one thread converts pieces with, kept from one piece to the next.
class Job {
public:
    Job(const RunContext& run, const Records& like, const PieceForm& form, std::size_t block)
        : options_(OptionsOf(run.options)),
          records_(source_, options_, block),
          output_(StatementOutput::InMemory{}, form.pieceBytes * 3),
          writer_(form.scanner, run.options, form.fieldCount, output_, form.form),
          run_(run) {
        records_.ReadAs(like);
        run_.observer = nullptr;
    }
    void Convert(Piece& piece, const EachRecord& each) {
        source_.Reset({piece.text()});
        records_.Restart(1);
        const Outcome outcome = each(records_, writer_, run_);
        piece.alike = !outcome.Failed() && !outcome.cancelled && !records_.endedAtMark();
        piece.lines = records_.nextLine() - 1;
        piece.counts = writer_.TakeCounts();
        output_.Take(piece.statements);
    }
    // The options a piece, or the rest of an input, is read with: its
    // lines skipped already.
    static ConversionOptions OptionsOf(ConversionOptions options) {
        options.skipLines = 0;
        return options;
    }

private:
    ConversionOptions options_;
    PieceSource source_;
    Records records_;
    StatementOutput output_;
    StatementWriter writer_;
    RunContext run_;
};

// The threads that convert pieces, each with a job of its own, in the
// order the pieces are handed over. Where no thread can be started, the
// caller converts each piece it waits for.
class Crew {
public:
    Crew(std::vector<std::unique_ptr<Job>> jobs, const EachRecord& each) : jobs_(std::move(jobs)), each_(each) {
        for (const std::unique_ptr<Job>& job : jobs_) {
            try {
                threads_.emplace_back(&Crew::Loop, this, job.get());
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;
    ~Crew() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            queue_.clear();  // pieces no one waits for any more
            quit_ = true;
        }
        handed_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    void Hand(Piece& piece) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            piece.done = false;
            queue_.push_back(&piece);
        }
        handed_.notify_one();
    }
    void Await(Piece& piece) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (threads_.empty() && !piece.done) {
            Piece* next = queue_.front();
            queue_.pop_front();
            lock.unlock();
            Convert(*jobs_.front(), *next);
            lock.lock();
            next->done = true;
        }
        finished_.wait(lock, [&piece] { return piece.done; });
    }

private:
    void Loop(Job* job) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            handed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) return;
            Piece* piece = queue_.front();
            queue_.pop_front();
            lock.unlock();
            Convert(*job, *piece);
            lock.lock();
            piece->done = true;
            finished_.notify_all();
        }
    }
    void Convert(Job& job, Piece& piece) {
        try {
            job.Convert(piece, each_);
        } catch (const std::bad_alloc&) {
            piece.alike = false;  // the caller's thread tries it again
        }
    }

    std::vector<std::unique_ptr<Job>> jobs_;
    const EachRecord& each_;
    std::mutex mutex_;
    std::condition_variable handed_;
    std::condition_variable finished_;
    std::deque<Piece*> queue_;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

// A run's records converted on several threads: pieces read ahead, two a
// thread, and written in order as each is done.
class PieceRun {
public:
    PieceRun(Records& records, StatementWriter& writer, const PieceForm& form, const RunContext& run,
             const EachRecord& each)
        : records_(records),
          writer_(writer),
          form_(form),
          run_(run),
          each_(each),
          source_(records.rest()),
          ring_(std::size_t{2} * form.jobs) {
        bool more = false;
        bool skipLf = false;
        const std::string_view unread = records.Unread(more, skipLf);
        cutter_.emplace(source_, unread, more, skipLf, run.options.rfc4180 ? run.options.quote : '\0', form.pieceBytes);
        lines_ = records.nextLine() - 1;
    }

    Outcome Convert() {
        Outcome outcome;
        for (;;) {
            ReadAhead();
            if (written_ == read_) break;
            Piece& piece = Slot(written_);
            if (crew_) crew_->Await(piece);
            if (!piece.alike) return Rest();
            ++written_;
            writer_.AddCounts(piece.counts, lines_);
            lines_ += piece.lines;
            if (const int error = writer_.output().Pass(piece.statements)) {
                outcome.writeError = error;
                break;
            }
            if (run_.observer != nullptr)
                outcome.cancelled = !run_.observer->Continue(run_.bytesBefore + piece.fileBytes, run_.totalBytes);
            if (outcome.cancelled || StopSignal() != 0) {
                outcome.cancelled = true;
                break;
            }
        }
        if (outcome.writeError == kStopped) outcome.writeError = 0, outcome.cancelled = true;
        // The reading failed after the last piece: the bytes before the
        // failure are converted as one thread would, and the failure said.
        if (!outcome.cancelled && outcome.writeError == 0 && cutter_->failure() != 0) return Rest();
        return outcome;
    }

private:
    Piece& Slot(std::uint64_t i) { return ring_[i % ring_.size()]; }

    // Reads pieces while a slot is free, and hands them to the threads.
    void ReadAhead() {
        while (reading_ && read_ < written_ + ring_.size()) {
            Piece& piece = Slot(read_);
            if (!cutter_->Fill(piece)) {
                reading_ = false;
                return;
            }
            ++read_;
            // A piece too long to cut, or an input of one piece: this thread
            // converts it, and the rest, one record at a time.
            if (!piece.cut || (read_ == 1 && cutter_->ended())) {
                piece.done = true;
                piece.alike = false;
                reading_ = false;
                return;
            }
            if (!crew_) {
                std::vector<std::unique_ptr<Job>> jobs;
                for (unsigned i = 0; i < form_.jobs; ++i)
                    jobs.push_back(std::make_unique<Job>(run_, records_, form_, form_.pieceBytes));
                crew_.emplace(std::move(jobs), each_);
            }
            crew_->Hand(piece);
        }
    }

    // From the piece to write next on, one record at a time: the pieces read,
    // the bytes carried after them and what the source still has.
    Outcome Rest() {
        std::vector<std::string_view> bytes;
        for (std::uint64_t i = written_; i < read_; ++i) bytes.push_back(Slot(i).text());
        bytes.push_back(cutter_->carried());
        PieceSource rest(&source_, !cutter_->ended());
        rest.Reset(std::move(bytes), cutter_->failure());
        const ConversionOptions options = Job::OptionsOf(run_.options);
        Records records(rest, options, form_.pieceBytes);
        records.ReadAs(records_);
        records.Restart(lines_ + 1);
        Outcome outcome = each_(records, writer_, run_);
        // The records that stopped the run say why, as the run's own would.
        if (outcome.reason.empty() && outcome.refused != 0 && outcome.refused != kNulInValue)
            outcome.reason = records.Describe(outcome.refused);
        if (outcome.reason.empty() && outcome.readError != 0) outcome.reason = records.Describe(outcome.readError);
        return outcome;
    }

    Records& records_;
    StatementWriter& writer_;
    const PieceForm& form_;
    const RunContext& run_;
    const EachRecord& each_;
    ByteSource& source_;
    std::optional<Cutter> cutter_;
    std::uint64_t lines_ = 0;  // before the piece written next
    std::vector<Piece> ring_;
    std::optional<Crew> crew_;  // after the pieces: its threads end first
    std::uint64_t read_ = 0;
    std::uint64_t written_ = 0;
    bool reading_ = true;
};

}  // namespace

unsigned JobsFor(unsigned jobs) {
    return jobs != 0 ? jobs : UsableCores();
}

bool ConvertsInParallel(const RunContext& run, const Records& records, const StatementWriter& writer) {
    const ConversionOptions& options = run.options;
    return JobsFor(options.jobs) > 1 && records.CutsAtLineEnds() && RowsPerStatement(options) <= 1 &&
           !writer.settingAside() && run.problems == nullptr && run.parts == nullptr && run.rowLimit == 0 &&
           run.later.empty() && options.lastLine == 0;
}

Outcome ConvertInParallel(Records& records, StatementWriter& writer, const PieceForm& form, const RunContext& run,
                          const EachRecord& each) {
    PieceRun pieces(records, writer, form, run, each);
    return pieces.Convert();
}

}  // namespace rowsmith
