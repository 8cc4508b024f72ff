// The command line parsed without a process: modes, option values, and every unusable value
// refused with a reason before anything runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/posix/command_line.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::TempDir;

namespace {

CommandLineResult Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CommandLineParse, OptionsBecomeOverridesAndPictures) {
  TempDir dir;
  auto r = Parse({"--pattern",
                  "5",
                  "--separator",
                  "-",
                  "--no-leading-zeros",
                  "--start",
                  "7",
                  "--direction",
                  "columns",
                  "--frame",
                  "--margin",
                  "2.50",
                  "--png",
                  "--pdf",
                  "--png",
                  "--dpi",
                  "300",
                  "--color",
                  "--dry-run",
                  "-o",
                  dir.path().string(),
                  "a.jww",
                  "b.jww"});
  ASSERT_TRUE(r.command) << r.error;
  const CommandLine& c = *r.command;
  EXPECT_EQ(c.mode, CommandMode::kSplit);
  EXPECT_EQ(c.operands, (std::vector<std::filesystem::path>{"a.jww", "b.jww"}));
  EXPECT_EQ(c.outputFolder, dir.path());
  EXPECT_TRUE(c.dryRun);
  EXPECT_EQ(c.color, true);
  EXPECT_EQ(c.dpi, 300);
  EXPECT_EQ(c.sheetPictures, (std::vector<PictureFormat>{PictureFormat::kPng, PictureFormat::kPdf}));
  SplitOptions options;
  options.leadingZeros = options.compactEmptyNumbers = true;
  c.overrides.ApplyTo(options);
  EXPECT_EQ(options.namingPattern, NamingPattern::kName);
  EXPECT_EQ(options.separator, "-");
  EXPECT_EQ(options.startNumber, 7);
  EXPECT_EQ(options.numberingDirection, NumberingDirection::kColumns);
  EXPECT_FALSE(options.leadingZeros);
  EXPECT_TRUE(options.drawFrameOnFF);
  EXPECT_EQ(options.margin, 2.5);
  EXPECT_TRUE(options.compactEmptyNumbers);  // not given: kept from the settings

  r = Parse({"--plan", (dir / "p.SVG").string(), "x.jww", "--pattern", "2"});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_EQ(r.command->mode, CommandMode::kPlan);
  EXPECT_EQ(r.command->pictureFile, dir / "p.SVG");
  r = Parse({"--render", "x.jww", (dir / "x.pdf").string(), "--color"});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_EQ(r.command->mode, CommandMode::kRender);
  EXPECT_EQ(r.command->operands, std::vector<std::filesystem::path>{"x.jww"});
  // Colour or black as the drawing says, unless told; the last word counts.
  EXPECT_EQ(Parse({"x.jww"}).command->color, std::nullopt);
  EXPECT_EQ(Parse({"--color", "--mono", "x.jww"}).command->color, false);
  EXPECT_TRUE(Parse({}).usageWithoutArguments);
  // A named printer means printing; without one, the default destination.
  r = Parse({"--printer", "Office A3", "x.jww"});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_EQ(r.command->printer, "Office A3");
  EXPECT_EQ(r.command->overrides.print, true);
  EXPECT_EQ(Parse({"--print", "x.jww"}).command->printer, std::nullopt);
  EXPECT_EQ(Parse({"--version"}).command->mode, CommandMode::kVersion);
}

TEST(CommandLineParse, BatchOptions) {
  TempDir dir;
  auto r = Parse({"-r", "-j", "3", "--quiet", "--report", (dir / "r.json").string(), "tree"});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_TRUE(r.command->recursive);
  EXPECT_EQ(r.command->jobs, 3u);
  EXPECT_TRUE(r.command->quiet);
  EXPECT_EQ(r.command->reportFile, dir / "r.json");
  r = Parse({"tree"});
  ASSERT_TRUE(r.command);
  EXPECT_FALSE(r.command->recursive || r.command->quiet || r.command->jobs || r.command->reportFile);
}

TEST(CommandLineParse, DxfBesideSheetsAndExportOfOneDrawing) {
  TempDir dir;
  auto r = Parse({"--dxf", "--dxf-version", "2007", "--dxf-units", "paper", "a.jww", "b.jww"});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_TRUE(r.command->sheetDxf);
  EXPECT_EQ(r.command->dxf.version, DxfVersion::kR2007);
  EXPECT_EQ(r.command->dxf.units, DxfUnits::kPaper);
  EXPECT_EQ(r.command->operands.size(), 2u);
  r = Parse({"--export", "x.jww", (dir / "x.dxf").string()});
  ASSERT_TRUE(r.command) << r.error;
  EXPECT_EQ(r.command->mode, CommandMode::kExport);
  EXPECT_FALSE(r.command->sheetDxf);
  EXPECT_EQ(r.command->dxf.version, DxfVersion::kR2000);  // the defaults: AC1015 at true size
  EXPECT_EQ(r.command->dxf.units, DxfUnits::kTrueSize);
  EXPECT_EQ(r.command->exportFile, dir / "x.dxf");
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--dxf-version", "2004", "a.jww"}, {"--dxf-units", "cm", "a.jww"},
        {"--export", "x.jww", (dir / "no" / "x.dxf").string()}, {"--export", "x.jww"},
        {"--export", "x.jww", (dir / "x.dxf").string(), "y.jww"}, {"--render", "x.jww", (dir / "x.png").string(), "--export", "x.jww", "y.dxf"}})
    EXPECT_FALSE(Parse(bad).command) << bad[0];
}

TEST(CommandLineParse, UnusableValuesAreRefusedWithAReason) {
  TempDir dir;
  std::filesystem::create_symlink(dir / "loop", dir / "loop");  // a link to itself
  const std::string longPath = "/" + std::string(5000, 'a');
  const std::vector<std::vector<std::string>> bad = {
      {"--separator", "a:b", "x.jww"},
      {"--separator", "a\tb", "x.jww"},
      {"--separator", "12345678+", "x.jww"},
      {"--pattern", "7", "x.jww"},
      {"--start", "-1", "x.jww"},
      {"--margin", "abc", "x.jww"},
      {"-o", (dir / "loop").string(), "x.jww"},
      {"-o", longPath, "x.jww"},
      {"-o", (dir / "missing").string(), "x.jww"},
      {"--dpi", "9", "--png", "x.jww"},
      {"--dpi", "1201", "x.jww"},
      {"--plan", (dir / "p.gif").string(), "x.jww"},
      {"--plan", (dir / "no" / "p.png").string(), "x.jww"},
      {"--plan", (dir / "p.png").string(), "a.jww", "b.jww"},
      {"--render", "x.jww"},
      {"--printer", "", "x.jww"},
      {"x.jww", "--printer"},
      {"--bogus", "x.jww"},
      {"-j", "0", "x.jww"},
      {"--jobs", "257", "x.jww"},
      {"-j", "x.jww"},
      {"--report", (dir / "no" / "r.json").string(), "x.jww"},
      {"--report", dir.path().string(), "x.jww"},
      {"--frame"},
      {"--info"},
      {"--version", "x.jww"},
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& a : args) joined += a.substr(0, 40) + " ";
    const CommandLineResult r = Parse(args);
    EXPECT_FALSE(r.command) << joined;
    EXPECT_FALSE(r.error.empty()) << joined;
  }
}

}  // namespace
