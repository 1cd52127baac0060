#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "convert/conversion_settings.h"
#include "convert/message_owner.h"

namespace rowsmith {
// Lets test failures show a record's four values.
void PrintTo(const ConversionSettings& settings, std::ostream* os);
}  // namespace rowsmith

namespace rowsmith::testing {

// Runs each test in a fresh temporary directory, which it removes afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

// Keeps every message instead of showing it.
class RecordingOwner : public MessageOwner {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.emplace_back(text, caption);
    }
    std::vector<std::pair<std::string, std::string>> messages;
};

// Runs check as a user without root's rights over files (in a child
// process when the tests run as root) and returns its answer.
bool AsUnprivilegedUser(const std::function<bool()>& check);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace rowsmith::testing
