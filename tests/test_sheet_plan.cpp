// The sheet plan and its writer: numbering, file names, never overwriting inputs or earlier
// sheets, printing, and whole drawings split end to end at every supported version.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "app/messages.h"
#include "app/sheet_plan.h"
#include "app/sheet_writer.h"
#include "jww/builder.h"
#include "jww/images.h"
#include "platform/text_conversion.h"
#include "split/extract.h"
#include "tests/fake_services.h"
#include "tests/fixtures.h"

using namespace kelvane;
using kelvane::testing::ReadBytes;
using kelvane::testing::TempDir;

namespace {

const std::string kName = "\x81\x79\x96\xBC\x81\x7A";  // 【名】 in Shift_JIS

// Each Shift_JIS text the program shows (messages.h) is, byte for byte, the readable Japanese
// given for it.
TEST(Messages, EachShiftJisTextIsItsReadableText) {
  for (const ReadableText& t : kReadableTexts) EXPECT_EQ(Utf8ToSjis(t.utf8), std::string(t.sjis)) << t.utf8;
}

TEST(FileNames, TheSevenPatterns) {
  const std::filesystem::path b = "plan", s = "_", x = "1F", none;
  const char* withName[] = {"3_plan", "plan_3", "plan_1F", "3_plan_1F", "plan_3_1F", "1F", "3_1F"};
  const char* withoutName[] = {"3_plan", "plan_3", "plan_3", "3_plan", "plan_3", "plan_3", "3"};
  for (int p = 0; p < 7; ++p) {
    EXPECT_EQ(ComposeSheetName(NamingPattern(p), "3", b, s, x), withName[p]) << p;
    EXPECT_EQ(ComposeSheetName(NamingPattern(p), "3", b, s, none), withoutName[p]) << p;
  }
  EXPECT_EQ(ComposeSheetName(NamingPattern::kNumberSource, "12", b, "", none), "12plan");
  EXPECT_EQ(ComposeSheetName(NamingPattern::kNumberName, "4-1", b, "-", "A"), "4-1-A");
}

TEST(FileNames, LeadingZerosFollowTheWidthOfFramesPlusStart) {
  EXPECT_EQ(NumberText(0, 10, 0, true), "00");
  EXPECT_EQ(NumberText(9, 10, 0, true), "09");
  EXPECT_EQ(NumberText(8, 9, 0, true), "8");
  EXPECT_EQ(NumberText(95, 10, 95, true), "095");
  EXPECT_EQ(NumberText(104, 10, 95, true), "104");
  EXPECT_EQ(NumberText(7, 12, 0, true), "07");
  EXPECT_EQ(NumberText(3, 99990, 9999, true), "000003");  // six digits at most
  EXPECT_EQ(NumberText(3, 2000000, 0, true), "000003");
  EXPECT_EQ(NumberText(7, 12, 0, false), "7");
}

Attr FrameAttr() {
  Attr a;
  a.penColor = 9, a.penStyle = 19, a.penWidth = 200;
  return a;
}

void AddFrame(EntityLists& l, double minX, double minY, double w, double h) {
  AddLine(l, minX, minY, minX + w, minY, FrameAttr());
  AddLine(l, minX + w, minY, minX + w, minY + h, FrameAttr());
  AddLine(l, minX + w, minY + h, minX, minY + h, FrameAttr());
  AddLine(l, minX, minY + h, minX, minY, FrameAttr());
}

void AddNameText(JwwDocument& doc, double x, double y, const std::string& name) {
  Attr a;
  a.penColor = 9;
  int32_t i =
      AddText(doc, x, y,
              doc.UnicodeStrings() ? JwwString::Wide(u"【名】" + Utf8ToUtf16(name)) : JwwString::Sjis(kName + name), a);
  doc.texts[size_t(i)].textType = 0;
}

// One sheet as a run handled it.
struct SheetRecord {
  std::filesystem::path file;  // empty when nothing was to be written
  bool empty = false;
  bool written = false;
  std::string note;
};

// Plans one drawing as the first of a run and, unless dry, writes it.
std::vector<SheetRecord> PlanAndWrite(FakeServices& platform, JwwDocument& doc, const SplitOptions& options,
                                      const std::string& host, const std::filesystem::path& source,
                                      const std::filesystem::path& folder,
                                      const std::vector<std::filesystem::path>& inputs, bool dryRun,
                                      RunFailures& failures) {
  RunContext run;
  AddRunInput(run, platform, source);
  for (const auto& input : inputs) AddRunInput(run, platform, input);
  const SheetPlan plan = PlanSheets(doc, options, source, folder, run, platform);
  std::vector<SheetOutcome> outcomes;
  if (dryRun)
    ReportPlan(platform, plan, failures);
  else
    outcomes = WriteSheets(platform, platform, doc, plan, failures);
  // As the session does once the drawing is written.
  if (!dryRun && options.printAfterSplit) PrintWrittenSheets(platform, doc, plan, outcomes, host);
  std::vector<SheetRecord> records;
  for (size_t i = 0; i < plan.sheets.size(); ++i) {
    const PlannedSheet& p = plan.sheets[i];
    records.push_back({p.ToBeWritten() ? p.file : std::filesystem::path(), p.decision == SheetDecision::kEmpty,
                       !dryRun && outcomes[i].written, p.note});
  }
  return records;
}

class Driver : public ::testing::Test {
 protected:
  void SetUp() override { InitDrawing(doc, 600, false); }
  std::vector<SheetRecord> Split(const std::filesystem::path& source = "plan.jww", bool dryRun = false,
                                 std::vector<std::filesystem::path> inputs = {}) {
    RunFailures failures;
    auto records =
        PlanAndWrite(platform, doc, options, host, dir / source.string(), dir.path(), inputs, dryRun, failures);
    failed = failures.count;
    summary = failures.Summary();
    return records;
  }
  std::vector<std::string> Written(const std::vector<SheetRecord>& records) {
    std::vector<std::string> names;
    for (const auto& r : records)
      if (r.written) names.push_back(r.file.filename().string());
    return names;
  }
  JwwDocument doc;
  FakeServices platform;
  SplitOptions options;
  std::string host = "\"C:\\JWW\\Jw_win.exe\"";
  TempDir dir;
  int failed = 0;
  std::string summary;
};

TEST_F(Driver, EmptyFramesKeepOrCompactTheirNumbers) {
  for (int k = 0; k < 3; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  AddLine(doc, 610, 10, 620, 20);
  options.startNumber = 1;
  EXPECT_EQ(Written(Split()), (std::vector<std::string>{"1_plan.jww", "3_plan.jww"}));
  options.compactEmptyNumbers = true;
  EXPECT_EQ(Written(Split()), (std::vector<std::string>{"1_plan.jww", "2_plan.jww"}));
  options.drawFrameOnFF = true;  // the drawn frame alone does not make a sheet
  EXPECT_EQ(Written(Split()), (std::vector<std::string>{"1_plan.jww", "2_plan.jww"}));
}

TEST_F(Driver, TwoNameTextsMakeTwoNumberedSheets) {
  for (int k = 0; k < 5; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  for (int k = 0; k < 5; ++k) AddLine(doc, k * 300 + 10, 10, k * 300 + 20, 20);
  AddNameText(doc, 1210, 100, "A");
  AddNameText(doc, 1210, 50, "B");
  options.namingPattern = NamingPattern::kNumberName;
  options.separator = "-";
  auto names = Written(Split());
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[4], "4-1-A.jww");
  EXPECT_EQ(names[5], "4-2-B.jww");
  options.leadingZeros = true;
  options.startNumber = 95;
  names = Written(Split());
  EXPECT_EQ(names[0], "095.jww");
  EXPECT_EQ(names[5], "099-2-B.jww");
}

TEST_F(Driver, ALaterSheetOfTheSameNameIsWrittenBesideTheEarlierOne) {
  for (int k = 0; k < 4; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  for (int k = 0; k < 4; ++k) AddLine(doc, k * 300 + 10, 10, k * 300 + 20, 20);
  AddNameText(doc, 10, 100, "plan_3");  // frame 0 is named like frame 3's unnamed sheet
  options.namingPattern = NamingPattern::kName;
  auto records = Split();
  EXPECT_EQ(Written(records), (std::vector<std::string>{"plan_3.jww", "plan_1.jww", "plan_2.jww", "plan_3~2.jww"}));
  EXPECT_FALSE(records[3].note.empty());
  EXPECT_EQ(platform.statusTexts.size(), 1u);  // said so in the status text
  EXPECT_EQ(failed, 0);
}

TEST_F(Driver, NeverOverTheDrawingNorAPendingInput) {
  AddFrame(doc, 0, 0, 297, 210);
  AddFrame(doc, 300, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  AddLine(doc, 310, 10, 320, 20);
  AddNameText(doc, 10, 100, "plan");    // would be plan.jww: the drawing itself
  AddNameText(doc, 310, 100, "other");  // would be other.jww: still to be split
  options.namingPattern = NamingPattern::kName;
  kelvane::testing::WriteBytes(dir / "plan.jww", {'s', 'r', 'c'});
  kelvane::testing::WriteBytes(dir / "other.jww", {'o', 't', 'h'});
  auto records = Split("plan.jww", false, {dir / "plan.jww", dir / "other.jww"});
  EXPECT_TRUE(Written(records).empty());
  EXPECT_EQ(ReadBytes(dir / "plan.jww"), (std::vector<uint8_t>{'s', 'r', 'c'}));
  EXPECT_EQ(ReadBytes(dir / "other.jww"), (std::vector<uint8_t>{'o', 't', 'h'}));
  EXPECT_EQ(failed, 2);
  EXPECT_FALSE(summary.empty());
}

TEST_F(Driver, ARenamedSheetPassesOverAnInputOfItsNewName) {
  for (int k = 0; k < 4; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  for (int k = 0; k < 4; ++k) AddLine(doc, k * 300 + 10, 10, k * 300 + 20, 20);
  AddNameText(doc, 10, 100, "plan_3");  // frame 3's sheet is renamed: plan_3~2.jww is an input
  options.namingPattern = NamingPattern::kName;
  kelvane::testing::WriteBytes(dir / "plan_3~2.jww", {'i', 'n'});
  for (bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "dry run" : "run");
    const auto records = Split("plan.jww", dryRun, {dir / "plan.jww", dir / "plan_3~2.jww"});
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].file, dir / "plan_3~3.jww");
    EXPECT_EQ(ReadBytes(dir / "plan_3~2.jww"), (std::vector<uint8_t>{'i', 'n'}));
    EXPECT_EQ(failed, 0);
  }
}

TEST_F(Driver, PrintsOnlySheetsThatWereSaved) {
  AddFrame(doc, 0, 0, 297, 210);
  AddFrame(doc, 300, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  AddLine(doc, 310, 10, 320, 20);
  options.printAfterSplit = true;
  auto records = Split();
  ASSERT_EQ(platform.printed.size(), 2u);
  EXPECT_EQ(platform.printed[0].first, host);
  EXPECT_EQ(platform.printed[0].second, dir / "0_plan.jww");
  EXPECT_TRUE(platform.printed[0].second.is_absolute());
  // A folder that is gone: nothing saved, nothing printed, the failure counted.
  platform.printed.clear();
  RunFailures failures;
  PlanAndWrite(platform, doc, options, host, dir / "plan.jww", dir / "gone", {}, false, failures);
  EXPECT_TRUE(platform.printed.empty());
  EXPECT_EQ(failures.count, 2);
  EXPECT_FALSE(failures.Summary().empty());
}

TEST_F(Driver, DryRunAndRealRunAgreeOnEveryName) {
  for (int k = 0; k < 6; ++k) AddFrame(doc, (k % 3) * 300, (k / 3) * -250, 297, 210);
  for (int k = 0; k < 6; ++k)
    if (k != 4) AddLine(doc, (k % 3) * 300 + 10, (k / 3) * -250 + 10, (k % 3) * 300 + 30, (k / 3) * -250 + 30);
  AddNameText(doc, 20, 100, "same");
  AddNameText(doc, 320, 100, "same");
  AddNameText(doc, 20, 50, "x");
  options.namingPattern = NamingPattern::kNumberSourceName;
  options.compactEmptyNumbers = true;
  auto dry = Split("plan.jww", true);
  for (auto& e : std::filesystem::directory_iterator(dir.path())) ADD_FAILURE() << "dry run wrote " << e.path();
  auto real = Split();
  ASSERT_EQ(dry.size(), real.size());
  for (size_t i = 0; i < dry.size(); ++i) {
    EXPECT_EQ(dry[i].file, real[i].file);
    EXPECT_EQ(dry[i].empty, real[i].empty);
    EXPECT_EQ(real[i].written, !real[i].file.empty());
  }
}

TEST_F(Driver, NumbersNamesAndTheDrawnFrameFollowTheirRules) {
  // Five frames, the fourth empty, numbered from 5 with leading zeros: the width counts every
  // frame found (5 + 5 = 10, two digits), also when the empty frame gives up its number.
  for (int k = 0; k < 5; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  for (int k = 0; k < 5; ++k)
    if (k != 3) AddLine(doc, k * 300 + 10, 10, k * 300 + 20, 20);
  options.startNumber = 5;
  options.leadingZeros = true;
  options.compactEmptyNumbers = true;
  options.drawFrameOnFF = true;
  // Only the last dot starts the extension: "a.b.jww" is the drawing "a.b".
  EXPECT_EQ(Written(Split("a.b.jww")),
            (std::vector<std::string>{"05_a.b.jww", "06_a.b.jww", "07_a.b.jww", "08_a.b.jww"}));
  // The drawn [F-F] lines: pen width, group and flags all zero, on layer F of group F.
  JwwDocument sheet;
  ASSERT_TRUE(sheet.LoadFromFile(dir / "05_a.b.jww"));
  ASSERT_EQ(sheet.LineCount(), 1 + 4);
  for (int i = 1; i < 5; ++i) {
    const EntityAttributes a = sheet.lines[size_t(i)].attr;
    EXPECT_EQ(a.penWidth, 0);
    EXPECT_EQ(a.group, 0u);
    EXPECT_EQ(a.flags, 0);
    EXPECT_EQ(a.layer, 15);
    EXPECT_EQ(a.layerGroup, 15);
  }
}

TEST_F(Driver, ASaveThatFailsStillUsesItsNumberUnderCompaction) {
  for (int k = 0; k < 3; ++k) AddFrame(doc, k * 300, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  AddLine(doc, 610, 10, 620, 20);
  options.startNumber = 1;
  options.compactEmptyNumbers = true;
  std::filesystem::create_directories(dir / "1_plan.jww");  // the first sheet cannot be saved there
  auto records = Split();
  EXPECT_EQ(Written(records), std::vector<std::string>{"2_plan.jww"});
  EXPECT_EQ(failed, 1);
}

TEST_F(Driver, PlansCompareNamesAsThePlatformDoes) {
  // Planned without any file on disk: the drawing "1f.jww" and its sheet named "1F".
  AddFrame(doc, 0, 0, 297, 210);
  AddFrame(doc, 300, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  AddLine(doc, 310, 10, 320, 20);
  AddNameText(doc, 10, 100, "1F");
  AddNameText(doc, 310, 100, "x");
  options.namingPattern = NamingPattern::kName;
  RunContext run;
  auto decisions = [&] {
    run.Clear();
    AddRunInput(run, platform, dir / "1f.jww");
    std::vector<SheetDecision> d;
    for (const auto& s : PlanSheets(doc, options, dir / "1f.jww", dir.path(), run, platform).sheets)
      d.push_back(s.decision);
    return d;
  };
  EXPECT_EQ(decisions(), (std::vector<SheetDecision>{SheetDecision::kWrite, SheetDecision::kWrite}));
  platform.namesIgnoreCase = true;
  EXPECT_EQ(decisions(), (std::vector<SheetDecision>{SheetDecision::kProtectedInput, SheetDecision::kWrite}));
  // A sheet of an earlier drawing of the run takes its name: the later one is renamed.
  platform.namesIgnoreCase = false;
  decisions();
  SheetPlan earlier = PlanSheets(doc, options, dir / "other.jww", dir.path(), run, platform);
  RecordPlannedSheets(run, platform, earlier);
  const SheetPlan later = PlanSheets(doc, options, dir / "1f.jww", dir.path(), run, platform);
  EXPECT_EQ(later.sheets[1].decision, SheetDecision::kRenamed);
  EXPECT_EQ(later.sheets[1].file, dir / "x~2.jww");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Driver, AFrameOfUnboundedSizeIsNoSheetAndIsReported) {
  const double big = 1e308;  // the frame's size overflows to infinity
  AddLine(doc, -big, -big, big, -big, FrameAttr());
  AddLine(doc, big, -big, big, big, FrameAttr());
  AddLine(doc, big, big, -big, big, FrameAttr());
  AddLine(doc, -big, big, -big, -big, FrameAttr());
  AddFrame(doc, 0, 0, 297, 210);
  AddLine(doc, 10, 10, 20, 20);
  RunContext run;
  const SheetPlan plan = PlanSheets(doc, options, dir / "plan.jww", dir.path(), run, platform);
  EXPECT_EQ(plan.frames.size(), 1u);
  EXPECT_EQ(plan.rejectedFrames, 1);
  RunFailures failures;
  ReportPlan(platform, plan, failures);
  ASSERT_EQ(platform.statusTexts.size(), 1u);
  EXPECT_EQ(platform.statusTexts[0].back(), '1');
  EXPECT_EQ(failures.count, 0);
}

TEST(FileNames, NamesNoPlatformCanHoldAreRefused) {
  for (const char* bad :
       {"CON", "con", "Aux.txt", "NUL .x", "COM1", "lpt9.jww", "a:b", "a\tb", "a.", "a ", "", ".", "..", "a/b", "a\\b"})
    EXPECT_FALSE(IsUsableFileName(bad)) << bad;
  for (const char* good : {"CONSOLE", "COM0", "COM10", "LPT", "0_CON", "a.b", "\xE8\xA8\xAD\xE5\x82\x99", "a~2"})
    EXPECT_TRUE(IsUsableFileName(good)) << good;
}

// A multi-frame drawing with every kind, blocks and (from 700) an image, split at a version.
class EndToEnd : public ::testing::TestWithParam<int32_t> {};

TEST_P(EndToEnd, EverySheetHoldsItsEntitiesMovedExactlyAndTheDrawingIsUntouched) {
  const int32_t version = GetParam();
  const bool unicode = version >= 700;
  TempDir dir;
  JwwDocument doc;
  InitDrawing(doc, version, unicode);
  auto text = [&](const char* s) { return JwwString::Ascii(s, unicode); };
  AddLine(AddBlockDef(doc, 7, text("leaf")), 0, 0, 1, 1);
  AddBlockInsert(AddBlockDef(doc, 8, text("tree")), 7, 0, 0);
  AddLine(AddBlockDef(doc, 9, text("unused")), 0, 0, 1, 1);
  const double cx[3] = {148.5, 448.5 + 0.1, 148.5}, cy[3] = {105, 105 + 0.3, -300 + 0.7};
  AddFrame(doc, 0, 0, 297, 210);
  AddFrame(doc, 300.1, 0.3, 297, 210);
  AddFrame(doc, 0, -405 + 0.7, 297, 420);
  // Frame 0: a bit of everything with awkward coordinates.
  AddLine(doc, 10.1, 20.7, 33.3, 44.9);
  AddArc(doc, 100.3, 50.9, 20, 0.1, 2);
  AddPoint(doc, 55.55, 66.66);
  AddText(doc, 12.34, 56.78, text("^@BM%temp%pic.bmp,1,1"));
  AddDimension(doc, 20.2, 30.3, 120.1, 30.3, text("100"));
  AddSolid(doc, 200.01, 20.02, 220.03, 20.04, 220.05, 40.06, 200.07, 40.08);
  AddArcSolid(doc, 250.9, 150.1, 10, 0, 1);
  AddBlockInsert(doc, 8, 150.15, 100.25);
  // Frame 1 holds a line crossing from frame 0, frame 2 a name text and a text.
  AddLine(doc, 290.3, 100.1, 310.7, 100.9);
  AddNameText(doc, 20, -100, "south");
  AddText(doc, 40.4, -250.2, text("note"));

  std::vector<uint8_t> logo(300, 0x5A);
  if (unicode) doc.images.Add(text("pic.bmp"), logo.data(), int32_t(logo.size()));
  doc.NormaliseBlocks();
  ASSERT_TRUE(doc.SaveToFile(dir / "src.jww", version));
  JwwDocument src;
  ASSERT_TRUE(src.LoadFromFile(dir / "src.jww"));
  const auto linesBefore = src.lines;
  const auto dimsBefore = src.dimensions;

  FakeServices platform;
  SplitOptions options;
  options.drawFrameOnFF = true;
  options.margin = 5;
  std::string host = "\"jw\"";
  RunFailures failures;
  auto records = PlanAndWrite(platform, src, options, host, dir / "src.jww", dir.path(), {}, false, failures);
  ASSERT_EQ(records.size(), 3u);
  for (const auto& r : records) ASSERT_TRUE(r.written) << r.file;

  // The drawing is exactly as loaded: nothing moved, nothing added.
  ASSERT_EQ(src.lines.size(), linesBefore.size());
  EXPECT_EQ(0, std::memcmp(src.lines.data(), linesBefore.data(), linesBefore.size() * sizeof(LineRecord)));
  EXPECT_EQ(0, std::memcmp(src.dimensions.data(), dimsBefore.data(), dimsBefore.size() * sizeof(DimensionRecord)));

  const int32_t paper[3] = {4, 4, 2};  // A4, A4, and A3 portrait
  for (int j = 0; j < 3; ++j) {
    JwwDocument sheet;
    ASSERT_TRUE(sheet.LoadFromFile(records[size_t(j)].file)) << sheet.diagnostics.reason;
    EXPECT_EQ(sheet.header.version, version);
    EXPECT_EQ(sheet.header.paperSize, paper[j]);
    EXPECT_EQ(sheet.header.printOriginX, 0.0);
    EXPECT_EQ(sheet.header.printOriginY, 0.0);
    EXPECT_EQ(sheet.BlockDefCount(), 2);  // the definitions the drawing uses, on every sheet
    // The drawn frame: the last four lines, inset by the margin around the origin.
    ASSERT_GE(sheet.LineCount(), 4);
    const LineRecord& bottom = sheet.lines[size_t(sheet.LineCount() - 4)];
    EXPECT_EQ(bottom.attr.layer, 15);
    EXPECT_EQ(bottom.startY, (cy[j] - (j == 2 ? 210.0 : 105.0) + 5) - cy[j]);
    EXPECT_EQ(sheet.images.size(), unicode && j == 0 ? 1u : 0u) << j;
    if (unicode && j == 0) {
      EXPECT_EQ(std::vector<uint8_t>(sheet.images.Bytes(0), sheet.images.Bytes(0) + 300), logo);
    }
    if (j == 0) {
      EXPECT_EQ(sheet.LineCount(), 2 + 4);
      EXPECT_EQ(sheet.ArcCount(), 1);
      EXPECT_EQ(sheet.PointCount(), 1);
      EXPECT_EQ(sheet.TextCount(), 1);
      EXPECT_EQ(sheet.DimensionCount(), 1);
      EXPECT_EQ(sheet.SolidCount(), 2);
      EXPECT_EQ(sheet.BlockInsertCount(), 1);
      // Every coordinate is the source value minus the centre, computed once.
      EXPECT_EQ(sheet.lines[0].startX, 10.1 - cx[0]);
      EXPECT_EQ(sheet.lines[0].endY, 44.9 - cy[0]);
      EXPECT_EQ(sheet.arcs[0].centerX, 100.3 - cx[0]);
      EXPECT_EQ(sheet.arcs[0].radius, 20.0);
      EXPECT_EQ(sheet.points[0].y, 66.66 - cy[0]);
      EXPECT_EQ(sheet.texts[0].startX, 12.34 - cx[0]);
      EXPECT_EQ(sheet.dimensions[0].line.endX, 120.1 - cx[0]);
      EXPECT_EQ(sheet.dimensions[0].text.startY, src.dimensions[0].text.startY - cy[0]);
      EXPECT_EQ(sheet.solids[0].x4, 200.07 - cx[0]);
      EXPECT_EQ(sheet.solids[1].x1, 250.9 - cx[0]);
      EXPECT_EQ(sheet.solids[1].x2, 10.0);  // an arc solid's radius is not a position
      EXPECT_EQ(sheet.blockInserts[0].refY, 100.25 - cy[0]);
      EXPECT_EQ(sheet.blockInserts[0].blockNumber, 1);  // "tree" renumbered after "leaf"
    } else if (j == 1) {
      EXPECT_EQ(sheet.LineCount(), 1 + 4);
      EXPECT_EQ(sheet.lines[0].startX, 290.3 - cx[1]);
    } else {
      EXPECT_EQ(sheet.LineCount(), 4);
      EXPECT_EQ(sheet.TextCount(), 1);  // the name text stays off the sheet
      EXPECT_EQ(sheet.textStrings[0].text, text("note"));
      EXPECT_EQ(records[2].file.filename().string(), "2_src.jww");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, EndToEnd, ::testing::Values(351, 420, 600, 700));

}  // namespace
