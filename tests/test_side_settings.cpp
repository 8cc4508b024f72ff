// Tests of the side settings file: its name beside the settings file, reading whatever is in it,
// and writing back what it does not know.
#include <gtest/gtest.h>

#include <tuple>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app/side_settings.h"

using namespace kelvane;

namespace {

class SideSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("kelvane_side_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    file_ = dir_ / "kelvane.ini";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void Write(const std::string& text) {
    std::ofstream out(file_, std::ios::binary);
    out << text;
  }
  std::string Read() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path dir_, file_;
};

}  // namespace

TEST(SideSettingsFile, LiesBesideTheSettingsFileAndNeverIsIt) {
  EXPECT_EQ(SideSettingsFileOf("/opt/k/kelvane.dat"), std::filesystem::path("/opt/k/kelvane.ini"));
  EXPECT_EQ(SideSettingsFileOf("/opt/k/mine"), std::filesystem::path("/opt/k/mine.ini"));
  EXPECT_EQ(SideSettingsFileOf("/opt/k/my.ini"), std::filesystem::path("/opt/k/my.ini.ini"));
}

TEST_F(SideSettingsTest, ReadsTheOptionInEveryWrittenFormAndKeepsDefaultsOtherwise) {
  EXPECT_FALSE(LoadSideSettings(file_).options.pdf);  // no file
  for (const char* text : {"pdf=1\r\n", "pdf=1", "  pdf = 1 \n", "dxf=1\npdf=1\n", "pdf=0\r\npdf=1\r\n"}) {
    Write(text);
    EXPECT_TRUE(LoadSideSettings(file_).options.pdf) << text;
  }
  // The DXF option reads the same way, each key on its own.
  for (const auto& [text, pdf, dxf] : {std::tuple{"dxf=1\r\n", false, true}, std::tuple{"pdf=1\r\ndxf=0\r\n", true, false},
                                       std::tuple{"dxf=2\r\npdf=1\r\n", true, false}}) {
    Write(text);
    const SideOptions o = LoadSideSettings(file_).options;
    EXPECT_EQ(o.pdf, pdf) << text;
    EXPECT_EQ(o.dxf, dxf) << text;
  }
  for (const char* text : {"pdf=yes\r\n", "pdf\r\n", "PDF=1\r\n", "", "=1\r\n", "xpdf=1\r\n"}) {
    Write(text);
    EXPECT_FALSE(LoadSideSettings(file_).options.pdf) << text;
  }
  Write(std::string("pdf=1\r\n\0\r\n", 10));  // a NUL byte: not a text file
  EXPECT_FALSE(LoadSideSettings(file_).options.pdf);
  Write("pdf=1\r\n" + std::string(5000, 'x') + "\r\n");  // a line no side file has: the file is not one
  EXPECT_FALSE(LoadSideSettings(file_).options.pdf);
  std::filesystem::remove(file_);
  std::filesystem::create_directory(file_);  // a folder at the name
  EXPECT_FALSE(LoadSideSettings(file_).options.pdf);
}

TEST_F(SideSettingsTest, WritesItsKeysAndKeepsLinesOfANewerVersion) {
  Write("# by hand\r\ndxf=1\npdf=0\r\n\r\nlayout=A\r\nsvg=1\r\n");
  SideSettings side = LoadSideSettings(file_);
  EXPECT_TRUE(side.options.dxf);
  EXPECT_EQ(side.otherLines, (std::vector<std::string>{"# by hand", "layout=A", "svg=1"}));
  side.options.pdf = true;
  ASSERT_TRUE(SaveSideSettings(file_, side));
  EXPECT_EQ(Read(), "pdf=1\r\ndxf=1\r\n# by hand\r\nlayout=A\r\nsvg=1\r\n");
  EXPECT_EQ(LoadSideSettings(file_).options, side.options);
  EXPECT_EQ(LoadSideSettings(file_).otherLines, side.otherLines);
  EXPECT_FALSE(SaveSideSettings(dir_ / "missing" / "kelvane.ini", side));
  // The PDF set's key, read and written on its own; absent while not chosen.
  Write("pdfset=1\r\n");
  side = LoadSideSettings(file_);
  EXPECT_TRUE(side.options.pdfSet);
  EXPECT_FALSE(side.options.pdf);
  ASSERT_TRUE(SaveSideSettings(file_, side));
  EXPECT_EQ(Read(), "pdf=0\r\npdfset=1\r\n");
  side.options.pdfSet = false;
  ASSERT_TRUE(SaveSideSettings(file_, side));
  EXPECT_EQ(Read(), "pdf=0\r\n");
}
