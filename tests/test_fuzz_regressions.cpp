// Every kept fuzz input goes through the same entry function as its fuzz target, so a crash,
// hang, leak or broken check found once stays fixed (the sanitizer build catches the crashes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/targets.h"

namespace {

using Entry = void (*)(const uint8_t*, size_t);

std::filesystem::path RegressionFolder() { return std::filesystem::path(KELVANE_FUZZ_REGRESSIONS); }

void FailTest(const std::string& message) { ADD_FAILURE() << message; }

class FuzzRegressions : public ::testing::Test {
 protected:
  void SetUp() override { kelvane::fuzz::SetFailureHandler(FailTest); }
  void TearDown() override { kelvane::fuzz::SetFailureHandler(nullptr); }

  // Feeds each file of tests/fuzz_regressions/<target>/ (dot files aside) to the entry; answers
  // how many there were. A target without kept inputs has no folder.
  static int RunAll(const std::string& target, Entry entry) {
    const std::filesystem::path folder = RegressionFolder() / target;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
      if (e.is_regular_file() && e.path().filename().string().rfind('.', 0) != 0) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
      SCOPED_TRACE(file.string());
      std::ifstream in(file, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      EXPECT_LE(bytes.size(), 64u * 1024u) << "kept inputs stay small";
      entry(bytes.data(), bytes.size());
    }
    return int(files.size());
  }
};

TEST_F(FuzzRegressions, LoadDrawing) { RunAll("load", kelvane::fuzz::LoadDrawing); }
TEST_F(FuzzRegressions, SettingsFile) { RunAll("settings", kelvane::fuzz::SettingsFile); }
TEST_F(FuzzRegressions, HandOverFile) { RunAll("handover", kelvane::fuzz::HandOverFile); }
TEST_F(FuzzRegressions, SheetNames) { RunAll("sheetnames", kelvane::fuzz::SheetNames); }
TEST_F(FuzzRegressions, RenderList) { RunAll("render", kelvane::fuzz::RenderList); }
TEST_F(FuzzRegressions, RenderCairo) { RunAll("cairo", kelvane::fuzz::RenderCairo); }

// The entry functions themselves must hold on the smallest inputs, kept inputs or not.
TEST_F(FuzzRegressions, EntriesTakeEmptyAndTinyInputs) {
  const uint8_t none[1] = {0};
  const std::string tiny = "JwwData.\n\x02" "a\nfile=x.jww\r\n";
  for (Entry entry : {kelvane::fuzz::LoadDrawing, kelvane::fuzz::SettingsFile, kelvane::fuzz::HandOverFile,
                      kelvane::fuzz::SheetNames, kelvane::fuzz::RenderList, kelvane::fuzz::RenderCairo,
                      kelvane::fuzz::RenderPdf}) {
    entry(none, 0);
    entry(reinterpret_cast<const uint8_t*>(tiny.data()), tiny.size());
  }
}

TEST_F(FuzzRegressions, FolderExists) { EXPECT_TRUE(std::filesystem::is_directory(RegressionFolder())); }

}  // namespace
