#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "io/byte_source.h"
#include "io/status.h"
#include "io/text_mode.h"
#include "io/unique_fd.h"
#include "io/read_ahead_source.h"
#include "io/text_mode_reader.h"
#include "pieces_source.h"
#include "reference_rules.h"
#include "test_support.h"

namespace rowsmith {
namespace {

using test::TempDirTest;
using test::WriteBytes;

// Every line the reader gives for a file holding bytes.
std::vector<std::string> ReadLines(const std::string& bytes, std::size_t blockSize) {
    WriteBytes("in.txt", bytes);
    const int fd = ::open("in.txt", O_RDONLY);
    EXPECT_GE(fd, 0);
    TextModeReader reader(fd, blockSize);
    std::vector<std::string> lines;
    std::string_view line;
    int status;
    while ((status = reader.NextLine(line)) == 0) lines.emplace_back(line);
    EXPECT_EQ(status, kEndOfInput);
    ::close(fd);
    return lines;
}

using TextModeReaderTest = TempDirTest;

TEST_F(TextModeReaderTest, AppliesTheTextModeRules) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", {"a\n", "b\n"}},
        {"a\rb\n", {"a\rb\n"}},
        {"a\r\r\n", {"a\r\n"}},
        {"a\n\n", {"a\n", "\n"}},
        {"a\nb", {"a\n", "b"}},
        {"a\r", {"a\r"}},
        {"", {}},
        {"a\nb\x1A"
         "c\nd\n",
         {"a\n", "b"}},
        {"\x1A"
         "a\n",
         {}},
        {"a\r\x1A\n", {"a\r"}},
        {"\xEF\xBB\xBF"
         "a,b\r\n",
         {"a,b\n"}},
        {"\xEF\xBB\xBF", {}},
        {"x\xEF\xBB\xBF\n", {"x\xEF\xBB\xBF\n"}},
        {"\xEF\xBB"
         "a\n",
         {"\xEF\xBB"
          "a\n"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadLines(c.bytes, 4096), c.lines) << "bytes: " << c.bytes;
    }
}

TEST_F(TextModeReaderTest, AgreesWithTheRulesAcrossBlockBoundaries) {
    std::mt19937 random(7);
    const std::string alphabet = "ab\r\n\r\n,\x1A";
    for (int round = 0; round < 400; ++round) {
        std::string bytes = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
        const int length = static_cast<int>(random() % 200);
        for (int i = 0; i < length; ++i) {
            // Keep 0x1A rare so that most rounds read far.
            const char c = alphabet[random() % alphabet.size()];
            bytes += (c == 0x1A && random() % 8 != 0) ? 'z' : c;
        }
        const std::size_t blockSize = 16 + random() % 40;
        EXPECT_EQ(ReadLines(bytes, blockSize), reference::TextLines(bytes)) << "block " << blockSize;
    }
}

TEST_F(TextModeReaderTest, ReadsLinesLongerThanABlock) {
    const std::string longLine(100000, 'x');
    EXPECT_EQ(ReadLines(longLine + "\r\nshort\r\n", 64), (std::vector<std::string>{longLine + "\n", "short\n"}));
}

TEST(TextModeReaderPipe, FindsTheByteOrderMarkWhenItArrivesByteByByte) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([fd = fds[1]] {
        for (char c : std::string("\xEF\xBB\xBF"
                                  "a\r\n")) {
            EXPECT_EQ(::write(fd, &c, 1), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::close(fd);
    });
    TextModeReader reader(fds[0], 64);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.NextLine(line) == 0) lines.emplace_back(line);
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(lines, std::vector<std::string>{"a\n"});
}

// Every block of a run is read ahead by one thread, not one each, and
// whole: a source giving pieces (as an inflater does) still fills each.
TEST(ReadAheadSourceTest, ReadsEveryBlockWholeOnOneThreadOfItsOwn) {
    const std::size_t block = ReadAheadSource::kBlockSize;
    const std::string bytes(9 * block + 5, 'x');
    std::set<pid_t> readers;
    test::PiecesSource pieces(bytes, [&readers] {
        readers.insert(::gettid());
        return ReadAheadSource::kBlockSize / 3 + 1;
    });
    ReadAheadSource ahead(pieces);
    std::string read;
    std::vector<std::size_t> sizes;
    std::vector<char> buffer(block);
    for (std::size_t got = 1; got != 0;) {
        ASSERT_EQ(ahead.Read(buffer.data(), buffer.size(), got), 0);
        read.append(buffer.data(), got);
        sizes.push_back(got);
    }
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{block, block, block, block, block, block, block, block, block, 5, 0}));
    ASSERT_EQ(readers.size(), 1u);
    EXPECT_NE(*readers.begin(), ::gettid());
}

TEST(TextModeReaderErrors, ReportsAFailedRead) {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    TextModeReader reader(fd);
    std::string_view line;
    EXPECT_EQ(reader.NextLine(line), EISDIR);
    EXPECT_EQ(reader.NextLine(line), EISDIR);
    ::close(fd);
}

TEST(ToDiskText, WritesEveryLineFeedAsCrLf) {
    EXPECT_EQ(ToDiskText("a\nb\r\rc\n\n"), "a\r\nb\r\rc\r\n\r\n");
    EXPECT_EQ(ToDiskText(""), "");
}

// Whether bytes are UTF-8, as the C library's decoder says: random runs of
// ASCII (long ones too, where whole words of it are skipped), characters
// of every length, and the bytes that make text not UTF-8 (overlong forms,
// surrogates, past U+10FFFF, a lone continuation, a character cut short).
TEST(IsUtf8, SaysWhatTheLibrarysDecoderSays) {
    const auto decodes = [](std::string bytes) {
        iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
        std::string out(bytes.size() * 4 + 4, '\0');
        char* in = bytes.data();
        char* to = out.data();
        std::size_t inLeft = bytes.size();
        std::size_t toLeft = out.size();
        const bool whole = iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
        iconv_close(cd);
        return whole;
    };
    const std::vector<std::string> pieces = {"a",
                                             "plain ascii text, long enough for words",
                                             "\xC3\xA9",
                                             "\xE2\x82\xAC",
                                             "\xF0\x9F\x98\x80",
                                             "\xC0\xAF",
                                             "\xE0\x80\xAF",
                                             "\xED\xA0\x80",
                                             "\xF4\x90\x80\x80",
                                             "\x80",
                                             "\xC3",
                                             "\xE2\x82",
                                             "\xFF",
                                             "\xEF\xBF\xBF",
                                             "\xF4\x8F\xBF\xBF"};
    std::mt19937 random(20261209);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        const int count = static_cast<int>(random() % 6);
        for (int i = 0; i < count; ++i) bytes += pieces[random() % pieces.size()].substr(0, 1 + random() % 40);
        EXPECT_EQ(IsUtf8(bytes), decodes(bytes)) << testing::PrintToString(bytes);
    }
}

}  // namespace
}  // namespace rowsmith

namespace rowsmith {
namespace {

// Everything a source gives, read in blocks of size bytes; the code of the
// read that ended it (0 at the end).
int ReadAll(ByteSource& source, std::string& bytes, std::size_t size = 4096) {
    std::string block(size, '\0');
    for (;;) {
        std::size_t got = 0;
        if (const int error = source.Read(block.data(), block.size(), got)) return error;
        if (got == 0) return 0;
        bytes.append(block, 0, got);
    }
}

using FileSourceTest = test::TempDirTest;

// A second reading of a file is held to the first: it reads exactly the
// bytes the first did, and a file whose bytes changed between the two, or
// that is shorter, fails it.
TEST_F(FileSourceTest, ASecondReadingReadsExactlyTheBytesOfTheFirst) {
    const std::string text = "id,v\n1,a\n2,b\n";
    struct Case {
        const char* what;
        std::string then;  // the file before the second reading
        int error;
        std::string read;
    };
    const Case cases[] = {
        {"the same", text, 0, text},
        {"grown: the bytes measured only", text + "3,c\n", 0, text},
        {"a byte changed", "id,v\n1,x\n2,b\n", kInputChanged, ""},
        {"shorter", text.substr(0, 6), kInputShrank, ""},
    };
    for (const Case& c : cases) {
        test::WriteBytes("in.csv", text);
        UniqueFd first(::open("in.csv", O_RDONLY | O_CLOEXEC));
        FdSource firstSource(first.get());
        firstSource.KeepChecksum();
        std::string bytes;
        ASSERT_EQ(ReadAll(firstSource, bytes), 0);
        test::WriteBytes("in.csv", c.then);
        UniqueFd second(::open("in.csv", O_RDONLY | O_CLOEXEC));
        FdSource secondSource(second.get());
        // A few bytes read before it is held (to see whether it is gzip).
        char start[2];
        std::size_t got = 0;
        ASSERT_EQ(secondSource.Read(start, 2, got), 0);
        secondSource.HoldTo(firstSource.bytesFromFile(), firstSource.checksum());
        std::string again(start, got);
        EXPECT_EQ(ReadAll(secondSource, again, 3), c.error) << c.what;
        if (c.error == 0) {
            EXPECT_EQ(again, c.read) << c.what;
        }
    }
}

// The bytes read last are read again after each read: a file cut short, or
// cut and written again, between two reads fails the second.
TEST_F(FileSourceTest, AFileCutWhileReadFailsTheNextRead) {
    for (const bool writtenAgain : {false, true}) {
        test::WriteBytes("in.csv", std::string(10000, 'a'));
        UniqueFd file(::open("in.csv", O_RDONLY | O_CLOEXEC));
        FdSource source(file.get());
        char block[4096];
        std::size_t got = 0;
        ASSERT_EQ(source.Read(block, sizeof block, got), 0);
        ASSERT_EQ(source.Verify(), 0);
        ASSERT_EQ(::truncate("in.csv", 100), 0);
        if (writtenAgain) test::WriteBytes("in.csv", std::string(10000, 'b'));
        EXPECT_EQ(source.Read(block, sizeof block, got), writtenAgain ? kInputChanged : kInputShrank);
        EXPECT_EQ(source.Verify(), writtenAgain ? kInputChanged : kInputShrank);
    }
}

}  // namespace
}  // namespace rowsmith
