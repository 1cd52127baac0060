#include "io/gzip_source.h"

#include <zlib.h>
#ifdef ROWSMITH_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include "io/status.h"

namespace rowsmith {

// What each inflater does for the reading loop below: take input, fill
// output, say when a member ends, start on the next.
class GzipSource::Stream {
public:
    enum class Step { Going, MemberEnded, Damaged };

    virtual ~Stream() = default;
    virtual void SetInput(const char* bytes, std::size_t size) = 0;
    virtual std::size_t InputLeft() const = 0;
    // Inflates into [out, out + room); leaves out past what it wrote. On
    // Damaged, reason says what is wrong.
    virtual Step Inflate(char*& out, std::size_t room, std::string& reason) = 0;
    virtual void NextMember() = 0;
};

namespace {

// Words for damaged data, zlib's own, which the ISA-L codes are given too.
constexpr const char* kBadHeader = "incorrect header check";
constexpr const char* kBadMethod = "unknown compression method";
constexpr const char* kBadCheck = "incorrect data check";
constexpr const char* kBadBlock = "invalid block type";
constexpr const char* kBadCode = "invalid literal/length code";
constexpr const char* kBadDistance = "invalid distance too far back";
constexpr const char* kEndsEarly = "the compressed data ends early";

class ZlibStream : public GzipSource::Stream {
public:
    ZlibStream() {
        // 16 + 15: a gzip wrapper, the largest window.
        started_ = inflateInit2(&z_, 16 + MAX_WBITS) == Z_OK;
    }
    ~ZlibStream() override {
        if (started_) inflateEnd(&z_);
    }
    ZlibStream(const ZlibStream&) = delete;
    ZlibStream& operator=(const ZlibStream&) = delete;

    void SetInput(const char* bytes, std::size_t size) override {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
        z_.avail_in = static_cast<uInt>(size);
    }
    std::size_t InputLeft() const override { return z_.avail_in; }
    Step Inflate(char*& out, std::size_t room, std::string& reason) override {
        if (!started_) {
            reason = "zlib cannot start";
            return Step::Damaged;
        }
        z_.next_out = reinterpret_cast<Bytef*>(out);
        z_.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z_, Z_NO_FLUSH);
        out += room - z_.avail_out;
        if (status == Z_STREAM_END) return Step::MemberEnded;
        if (status == Z_OK || status == Z_BUF_ERROR) return Step::Going;
        reason = z_.msg ? z_.msg : kBadBlock;
        return Step::Damaged;
    }
    void NextMember() override { inflateReset(&z_); }

private:
    z_stream z_{};
    bool started_ = false;
};

#ifdef ROWSMITH_HAVE_ISAL
class IsalStream : public GzipSource::Stream {
public:
    IsalStream() { Start(); }

    void SetInput(const char* bytes, std::size_t size) override {
        state_->next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(bytes));
        state_->avail_in = static_cast<std::uint32_t>(size);
    }
    std::size_t InputLeft() const override { return state_->avail_in; }
    Step Inflate(char*& out, std::size_t room, std::string& reason) override {
        state_->next_out = reinterpret_cast<std::uint8_t*>(out);
        state_->avail_out = static_cast<std::uint32_t>(room);
        const int status = isal_inflate(state_.get());
        out += room - state_->avail_out;
        if (status < 0) {
            reason = Reason(status);
            return Step::Damaged;
        }
        return state_->block_state == ISAL_BLOCK_FINISH ? Step::MemberEnded : Step::Going;
    }
    void NextMember() override {
        // The next member's bytes stay where they are.
        std::uint8_t* const next = state_->next_in;
        const std::uint32_t left = state_->avail_in;
        Start();
        state_->next_in = next;
        state_->avail_in = left;
    }

private:
    void Start() {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_GZIP;  // a gzip wrapper, its checks verified
    }
    static const char* Reason(int status) {
        switch (status) {
            case ISAL_INVALID_WRAPPER:
                return kBadHeader;
            case ISAL_UNSUPPORTED_METHOD:
                return kBadMethod;
            case ISAL_INCORRECT_CHECKSUM:
                return kBadCheck;
            case ISAL_INVALID_SYMBOL:
                return kBadCode;
            case ISAL_INVALID_LOOKBACK:
                return kBadDistance;
            default:
                return kBadBlock;
        }
    }

    std::unique_ptr<inflate_state> state_ = std::make_unique<inflate_state>();
};
#endif

std::unique_ptr<GzipSource::Stream> MakeStream(Inflater inflater) {
#ifdef ROWSMITH_HAVE_ISAL
    if (inflater == Inflater::Isal) return std::make_unique<IsalStream>();
#endif
    (void)inflater;
    return std::make_unique<ZlibStream>();
}

}  // namespace

bool HasInflater(Inflater inflater) {
#ifdef ROWSMITH_HAVE_ISAL
    (void)inflater;
    return true;
#else
    return inflater == Inflater::Zlib;
#endif
}

Inflater DefaultInflater() {
    return HasInflater(Inflater::Isal) ? Inflater::Isal : Inflater::Zlib;
}

bool StartsLikeGzip(const char* bytes, std::size_t size) {
    return size >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F && static_cast<unsigned char>(bytes[1]) == 0x8B;
}

GzipSource::GzipSource(ByteSource& compressed, Inflater inflater)
    : compressed_(compressed), stream_(MakeStream(inflater)), input_(new char[kBlockSize + kCopyAlignment]) {}

GzipSource::~GzipSource() = default;

int GzipSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (!reason_.empty()) return kDamagedGzip;
    char* out = buffer;
    while (out == buffer) {
        if (stream_->InputLeft() == 0 && !inputEnded_) {
            std::size_t n = 0;
            char* at = input_.get() + CopyOrigin(fromSource_, input_.get());
            if (const int error = compressed_.Read(at, kBlockSize, n)) return error;
            inputEnded_ = n == 0;
            fromSource_ += n;
            stream_->SetInput(at, n);
        }
        if (memberEnded_) {
            if (stream_->InputLeft() == 0) return 0;  // the end, after a whole member
            memberEnded_ = false;
            stream_->NextMember();  // another member follows
        }
        const Stream::Step step = stream_->Inflate(out, size, reason_);
        if (step == Stream::Step::Damaged) return kDamagedGzip;
        memberEnded_ = step == Stream::Step::MemberEnded;
        // An inflater may hold back bytes it has taken: it is out of input
        // only once a call with none left gives nothing.
        if (!memberEnded_ && out == buffer && stream_->InputLeft() == 0 && inputEnded_) {
            reason_ = kEndsEarly;
            return kDamagedGzip;
        }
    }
    got = static_cast<std::size_t>(out - buffer);
    return 0;
}

std::string GzipSource::Describe(int error) const {
    if (error == kDamagedGzip && !reason_.empty()) return "damaged gzip data: " + reason_;
    return ByteSource::Describe(error);
}

}  // namespace rowsmith
