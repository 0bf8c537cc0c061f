// Every input kept in the fuzz corpora, run through the same entry functions
// as the libFuzzer targets: a fault fixed once stays fixed.
#include "fuzz/FuzzEntries.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const std::uint8_t*, std::size_t);

std::size_t replay(const std::string& target, Entry entry)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(QB_FUZZ_CORPUS_DIR) / target))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(f.string());
        EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
    }
    return files.size();
}

} // namespace

TEST(FuzzCorpusReplay, TableInputs) { EXPECT_GT(replay("table", qb::fuzz::fuzzOneTable), 0u); }
TEST(FuzzCorpusReplay, LocateAndSearchInputs) { EXPECT_GT(replay("locate", qb::fuzz::fuzzOneLocate), 0u); }
TEST(FuzzCorpusReplay, ProfileInputs) { EXPECT_GT(replay("profile", qb::fuzz::fuzzOneProfile), 0u); }
TEST(FuzzCorpusReplay, CheckAndRepairInputs) { EXPECT_GT(replay("check", qb::fuzz::fuzzOneCheck), 0u); }
TEST(FuzzCorpusReplay, MessageTextInputs) { EXPECT_GT(replay("message", qb::fuzz::fuzzOneMessage), 0u); }
TEST(FuzzCorpusReplay, SettingsFileInputs) { EXPECT_GT(replay("settings", qb::fuzz::fuzzOneSettings), 0u); }
