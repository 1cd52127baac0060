#include "test_support.h"

#include <fstream>
#include <iterator>
#include <random>

namespace rowsmith {

void PrintTo(const ConversionSettings& s, std::ostream* os) {
    *os << "{input=" << s.inputFile << " output=" << s.outputFile << " table=" << s.tableName
        << " fields=" << s.fieldNames << "}";
}

}  // namespace rowsmith

namespace rowsmith::test {

void TempDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    // A folder no other test, here or in another process, has made.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("rowsmith-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(dir)) dir_ = dir;
    }
    ASSERT_FALSE(dir_.empty());
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

Messages Heads(Messages messages) {
    for (auto& [text, caption] : messages) text = text.substr(0, text.find("\n\n"));
    return messages;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace rowsmith::test
