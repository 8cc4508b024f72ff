// The files a run writes beside its sheets, through the command line: named with the sheets,
// never over each other, an input or a settings file, and exactly those the dry run lists.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "jww/builder.h"
#include "jww/document.h"
#include "split/frames.h"
#include "tests/fixtures.h"

namespace fs = std::filesystem;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

Result Shell(const std::string& command, const fs::path& scratch) {
  Result r;
  FILE* p = popen((command + " 2>" + Q(scratch / "err")).c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(scratch / "err", std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(in), {});
  return r;
}

Result Kelvane(const TempDir& dir, const std::string& args) {
  return Shell(std::string(KELVANE_EXE) + " --settings " + Q(dir / "none.dat") + " " + args, dir.path());
}

// A drawing of two frames side by side, named by their name texts; the first holds an embedded
// BMP stored under `imageName`.
void WriteTwoSheetDrawing(const fs::path& file, const std::u16string& first, const std::u16string& second,
                          const std::u16string& imageName) {
  using namespace kelvane;
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  Attr frame;
  frame.penColor = kFramePenColor, frame.penStyle = kFramePenStyle, frame.penWidth = kFramePenWidth;
  Attr name;
  name.penColor = kAuxiliaryColor;
  for (int k = 0; k < 2; ++k) {
    const double l = k * 500, r = l + 420, b = 0, t = 297;
    AddLine(doc, l, b, r, b, frame);
    AddLine(doc, r, b, r, t, frame);
    AddLine(doc, r, t, l, t, frame);
    AddLine(doc, l, t, l, b, frame);
    const int32_t text = AddText(doc, l + 20, 20, JwwString::Wide(u"【名】" + (k == 0 ? first : second)), name, 3.5);
    doc.texts[size_t(text)].textType = 0;  // a name text is drawn in the standard text type
    AddLine(doc, l + 50, 100, l + 300, 200);
  }
  AddText(doc, 100, 150, JwwString::Wide(u"^@BM%temp%" + imageName + u",60,60"), Attr{}, 1.0);
  std::vector<uint8_t> bmp(54 + 4 * 4 * 3, 0);  // 4 x 4, 24 bits
  bmp[0] = 'B', bmp[1] = 'M', bmp[2] = uint8_t(bmp.size()), bmp[10] = 54, bmp[14] = 40, bmp[18] = 4, bmp[22] = 4;
  bmp[26] = 1, bmp[28] = 24;
  doc.images.Add(JwwString::Wide(imageName), bmp.data(), int32_t(bmp.size()));
  doc.NormaliseBlocks();
  ASSERT_TRUE(doc.SaveToFile(file, 700));
}

std::set<std::string> FilesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string Text(const fs::path& file) {
  const std::vector<uint8_t> b = ReadBytes(file);
  return std::string(b.begin(), b.end());
}

}  // namespace

// An embedded image named like a sheet, a sheet's PNG named like another sheet's DXF image, and
// two drawings whose names code page 932 cannot write: every file stays its own.
TEST(OutputPlan, CompanionsNeverReplaceEachOtherOrASheet) {
  TempDir dir;
  WriteTwoSheetDrawing(dir / "d.jww", u"A", u"A-1", u"x.jww");
  const Result r = Kelvane(dir, "--pattern 5 --dxf --png " + Q(dir / "d.jww"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::string files;
  for (const std::string& f : FilesIn(dir.path())) files += f + " ";
  EXPECT_EQ(Text(dir / "A-1.jww").rfind("JwwData.", 0), 0u) << "the sheet A-1 was replaced; files: " << files << r.out;
  const std::vector<uint8_t> png = ReadBytes(dir / "A-1.png");
  ASSERT_GT(png.size(), 24u);
  const uint32_t width = uint32_t(png[16]) << 24 | uint32_t(png[17]) << 16 | uint32_t(png[18]) << 8 | png[19];
  EXPECT_GT(width, 100u) << "A-1.png is not the sheet's picture";
  // The image of A's DXF moved on, and the DXF points at where it went.
  ASSERT_TRUE(fs::exists(dir / "A-1~2.png")) << r.out;
  EXPECT_NE(Text(dir / "A.dxf").find("A-1~2.png"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "A-1.jww.png"));

  const Result dry = Kelvane(dir, "--dry-run --pattern 5 --dxf --png " + Q(dir / "d.jww"));
  EXPECT_NE(dry.out.find("also " + (dir / "A-1~2.png").string()), std::string::npos) << dry.out;

  TempDir two;
  WriteTwoSheetDrawing(two / "\xF0\x9F\x98\x80.jww", u"", u"", u"a.bmp");  // 😀
  WriteTwoSheetDrawing(two / "\xF0\x9F\x8E\x89.jww", u"", u"", u"b.bmp");  // 🎉
  const Result both = Kelvane(two, "--dxf --dxf-version 2007 " + Q(two / "\xF0\x9F\x98\x80.jww") + " " +
                                       Q(two / "\xF0\x9F\x8E\x89.jww"));
  ASSERT_EQ(both.status, 0) << both.err;
  for (const std::string stem : {"0_\xF0\x9F\x98\x80", "0_\xF0\x9F\x8E\x89"}) {
    EXPECT_TRUE(fs::exists(two / (stem + "-1.png")) || fs::exists(two / (stem + "-1.bmp"))) << stem;
    EXPECT_NE(Text(two / (stem + ".dxf")).find(stem + "-1."), std::string::npos) << stem;
  }
}

// The report is reserved before the first write: a sheet takes another name instead of being
// replaced, a settings file or something that is not a regular file is refused (exit 1, the
// sheets still written), "-" is standard output, and a run without drawings still reports.
TEST(OutputPlan, TheReportNeverReplacesAFileOfTheRun) {
  TempDir dir;
  ASSERT_EQ(Shell(std::string(KELVANE_EXE) + " --make-example " + Q(dir.path()), dir.path()).status, 0);
  const fs::path example = dir / "example.jww";

  const Result sheet = Kelvane(dir, "--report " + Q(dir / "1_example.jww") + " " + Q(example));
  EXPECT_EQ(sheet.status, 0) << sheet.err;
  EXPECT_EQ(Text(dir / "1_example.jww").rfind("{", 0), 0u);
  EXPECT_EQ(Text(dir / "1_example~2.jww").rfind("JwwData.", 0), 0u);

  std::ofstream(dir / "s.dat") << "";
  std::ofstream(dir / "s.ini") << "pdf=0\n";
  const Result side = Shell(std::string(KELVANE_EXE) + " --settings " + Q(dir / "s.dat") + " --report " +
                              Q(dir / "s.ini") + " " + Q(example),
                          dir.path());
  EXPECT_EQ(side.status, 1);
  EXPECT_NE(side.err.find("s.ini: report not written: it would replace a settings file"), std::string::npos)
      << side.err;
  EXPECT_EQ(Text(dir / "s.ini"), "pdf=0\n");

  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const Result fifo = Kelvane(dir, "--report " + Q(dir / "fifo") + " " + Q(example));
  EXPECT_EQ(fifo.status, 1);
  EXPECT_NE(fifo.err.find("not a regular file"), std::string::npos) << fifo.err;
  struct stat st {};
  ASSERT_EQ(stat((dir / "fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  const Result out = Kelvane(dir, "-q --report - " + Q(example));
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.out.rfind("{", 0), 0u) << out.out;
  EXPECT_NE(out.out.find("\"sheets\""), std::string::npos);

  const Result none = Kelvane(dir, "--report " + Q(dir / "none.json") + " " + Q(dir / "missing.jww"));
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(Text(dir / "none.json").find("\"drawingsListed\":0"), std::string::npos) << Text(dir / "none.json");
}

// Random option sets over the example and a generated drawing: the files a run writes are
// exactly the files its dry run lists, no two of them share a name, and no input or settings
// file changes.
TEST(OutputPlan, TheDryRunListsExactlyTheFilesTheRunWrites) {
  TempDir dir;
  ASSERT_EQ(Shell(std::string(KELVANE_EXE) + " --make-example " + Q(dir.path()), dir.path()).status, 0);
  WriteTwoSheetDrawing(dir / "d.jww", u"A", u"example", u"x.jww");
  std::ofstream(dir / "s.dat") << "";
  std::ofstream(dir / "s.ini") << "";
  const std::vector<fs::path> inputs{dir / "example.jww", dir / "d.jww", dir / "s.dat", dir / "s.ini"};
  std::map<fs::path, std::vector<uint8_t>> before;
  for (const fs::path& f : inputs) before[f] = ReadBytes(f);

  std::mt19937 random(20261208);
  auto pick = [&](std::vector<std::string> from) { return from[random() % from.size()]; };
  for (int round = 0; round < 10; ++round) {
    std::string options = "--settings " + Q(dir / "s.dat") + " --pattern " + std::to_string(random() % 7) +
                          " --separator " + pick({"_", "-", "''", "="}) + " --start " + pick({"0", "1", "9"}) + " " +
                          pick({"--leading-zeros", "--no-leading-zeros"}) + " --direction " +
                          pick({"rows", "columns"}) + " " + pick({"--frame", "--no-frame"}) + " " +
                          pick({"--compact", "--no-compact"});
    for (const char* companion : {"--png", "--svg", "--pdf", "--dxf", "--pdf-set", "--pdf-set-plan"})
      if (random() % 3 == 0) options += std::string(" ") + companion;
    const fs::path out = dir / ("out" + std::to_string(round));
    fs::create_directories(out);
    const std::string run = std::string(KELVANE_EXE) + " " + options + " -o " + Q(out) + " " + Q(inputs[0]) + " " +
                            Q(inputs[1]);
    const Result dry = Shell(run + " --dry-run", dir.path());
    ASSERT_EQ(dry.status, 0) << options << "\n" << dry.err;
    EXPECT_TRUE(FilesIn(out).empty()) << options;
    std::multiset<std::string> listed;
    for (size_t at = 0; at < dry.out.size();) {
      const size_t end = dry.out.find('\n', at);
      const std::string line = dry.out.substr(at, end - at);
      at = end == std::string::npos ? dry.out.size() : end + 1;
      const std::string prefix = out.string() + "/";
      for (const std::string& marker : {", file " + prefix, "  also " + prefix}) {
        const size_t p = line.find(marker);
        if (p != std::string::npos && line.find("(not written") == std::string::npos)
          listed.insert(line.substr(p + marker.size()));
      }
    }
    const Result real = Shell(run, dir.path());
    ASSERT_EQ(real.status, 0) << options << "\n" << real.err;
    const std::set<std::string> written = FilesIn(out);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()).size(), listed.size()) << options;
    EXPECT_EQ(written, std::set<std::string>(listed.begin(), listed.end())) << options << "\n" << dry.out;
    for (const fs::path& f : inputs) EXPECT_EQ(ReadBytes(f), before[f]) << f << " changed with " << options;
  }
}
