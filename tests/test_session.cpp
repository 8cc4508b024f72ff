// Tests of the session: start-up, input lists, batch run texts, cancellation, options, closing.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "fake_services.h"
#include "jww/builder.h"
#include "split/frames.h"

using namespace kelvane;

namespace {

// The system's texts, Shift_JIS.
const std::string kConverting = "\x95\xCF\x8A\xB7\x92\x86(";         // 変換中(
const std::string kConverted = "\x95\xCF\x8A\xB7\x8A\xAE\x97\xB9(";  // 変換完了(
const std::string kCancelled =                                       // 変換を中断しました(ESC)
    "\x95\xCF\x8A\xB7\x82\xF0\x92\x86\x92\x66\x82\xB5\x82\xDC\x82\xB5\x82\xBD(ESC)";
const std::string kRunAborted =  // 実行を中止しました。
    "\x8E\xC0\x8D\x73\x82\xF0\x92\x86\x8E\x7E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const std::string kSavedQuestion =  // 上書き保存を行いましたか？
    "\x8F\xE3\x8F\x91\x82\xAB\x95\xDB\x91\xB6\x82\xF0\x8D\x73\x82\xA2\x82\xDC\x82\xB5\x82\xBD\x82\xA9\x81\x48";
const std::string kFileNameLabel = "\x81\x40\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC\x81\x46";  // 　ファイル名：
const std::string kTimeStampLabel =  // 　タイムスタンプ：
    "\x81\x40\x83\x5E\x83\x43\x83\x80\x83\x58\x83\x5E\x83\x93\x83\x76\x81\x46";
const std::string kFileNotFound =  // （ファイルが見つかりません）
    "\x81\x69\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x6A";
const std::string kCannotRead =  // 読み込めませんでした：
    "\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81\x46";
const std::string kNotWritten =  // 書き込めなかった図面：
    "\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x90\x7d\x96\xca\x81\x46";
const std::string kFirstReason =  // 枚（最初の理由：
    "\x96\x87\x81\x69\x8d\xc5\x8f\x89\x82\xcc\x97\x9d\x97\x52\x81\x46";
const std::string kClose = "\x81\x6a";                                                      // ）
const std::string kNowLabel = "\x81\x40\x8C\xBB\x8D\xDD\x82\xCC\x93\xFA\x8E\x9E \x81\x46";  // 　現在の日時 ：

struct SplitCall {
  std::filesystem::path folder;
  std::string name;
};

// A front end that records every drawing the session planned.
class RecordingFrontEnd final : public SessionFrontEnd {
 public:
  std::vector<SplitCall> splits;
  std::function<void()> onSplit;
  std::function<void(SplitOptions&)> onSettingsLoaded;
  std::function<void(const Session&)> onDrawing;
  const Session* session = nullptr;
  int runsStarted = 0;

  void SettingsLoaded(SplitOptions& o) override {
    if (onSettingsLoaded) onSettingsLoaded(o);
  }
  void RunStarted(const SplitOptions&) override { ++runsStarted; }
  void DrawingDone(const JwwDocument&, const SheetPlan& plan, const std::vector<SheetOutcome>&) override {
    splits.push_back({plan.outputFolder, plan.source.filename().string()});
    if (onDrawing) onDrawing(*session);
    if (onSplit) onSplit();
  }
};

// A fresh folder with an executable path inside it, a fake platform and a session that records
// every drawing it splits.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("kelvane_session_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_ / "bin");
    platform_.executable = dir_ / "bin" / "kelvane";
    platform_.userSettings = dir_ / "user";
    frontEnd_.session = &session_;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // A drawing without frames: it loads and gives no sheet.
  std::filesystem::path Drawing(const std::string& name) {
    std::filesystem::path p = dir_ / name;
    std::filesystem::create_directories(p.parent_path());
    JwwDocument doc;
    InitDrawing(doc, 600, false);
    AddLine(doc, 0, 0, 10, 10);
    EXPECT_TRUE(doc.SaveToFile(p, 600));
    return p;
  }
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    std::filesystem::path p = dir_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::string Str(const std::filesystem::path& p) { return p.string(); }
  std::string ReadText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // A settings file beside the executable with the confirmation on or off.
  void WriteSettings(bool confirm) {
    SplitOptions o;
    o.confirmSavedBeforeRun = confirm;
    ASSERT_TRUE(SaveSettings(SettingsFileBeside(platform_.executable), o, WindowPosition{}));
  }
  void HandOver(const std::string& contents) { Write("bin/JWC_TEMP.TXT", contents); }

  std::filesystem::path dir_;
  FakeServices platform_;
  RecordingFrontEnd frontEnd_;
  Session session_{platform_.Services(), frontEnd_};
  std::vector<SplitCall>& splits_ = frontEnd_.splits;
  std::function<void()>& onSplit_ = frontEnd_.onSplit;
};

}  // namespace

// ---- Jw_cad's executable and the file names accepted

TEST(HostExePath, RegistryValueRules) {
  const struct {
    std::string value, expected;
  } cases[] = {
      {"C:\\JWW\\Jw_win.exe %1", "\"C:\\JWW\\Jw_win.exe\""},
      {"", "\"C:\\JWW\\Jw_win.exe\""},
      {" C:\\JWW\\Jw_win.exe", "\"\""},
      {"D:\\jw\\Jw_win.exe", "\"D:\\jw\\Jw_win.exe\""},
      {"\"C:\\Program Files\\jw\\Jw_win.exe\" \"%1\"", "\"C:\\Program Files\\jw\\Jw_win.exe\""},  // whole
      {"\"C:\\JWW\\Jw_win.exe\" \"%1\"", "\"C:\\JWW\\Jw_win.exe\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(HostExePathFrom(c.value), c.expected);
  }
}

TEST(JwwExtension, LastDotUpperCased) {
  const struct {
    const char* name;
    bool expected;
  } cases[] = {{"a.jww", true},   {"c.JWW", true}, {"d.Jww", true},      {".jww", true},
               {"b.txt", false},  {"/g", false},   {"a.jww.bak", false}, {"noext", false},
               {"a.jwwx", false}, {"a.jw", false}, {"", false},          {"x.y.jww", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HasJwwExtension(c.name), c.expected);
  }
}

TEST_F(SessionTest, StartReadsTheRegistryKeyAndQuotesTheResult) {
  platform_.registryValue = "C:\\JWW\\Jw_win.exe %1";
  EXPECT_FALSE(session_.Start());
  ASSERT_EQ(platform_.registryKeysRead.size(), 1u);
  EXPECT_EQ(platform_.registryKeysRead[0], "Jwwin.Document\\shell\\open\\command");
  EXPECT_EQ(session_.hostExePath, "\"C:\\JWW\\Jw_win.exe\"");
}

// ---- Start-up

TEST_F(SessionTest, WithoutParametersNothingRunsAndTheWindowStaysOpen) {
  EXPECT_FALSE(session_.Start());
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(splits_.empty());
  EXPECT_EQ(platform_.dropRegistrations, 1);
  EXPECT_EQ(session_.exeFolder, dir_ / "bin" / "");
  EXPECT_NE(session_.Document(), nullptr);
}

TEST_F(SessionTest, ParametersKeepExistingJwwFilesAndCountRejectedDrawings) {
  const auto a = Drawing("a.jww");
  const auto b = Write("b.txt", "JwwData.");
  const auto c = Write("c.JWW", "not a drawing");  // listed, but the signature check rejects it
  platform_.parameters = {a, "", b, dir_ / "missing.jww", c};
  EXPECT_TRUE(session_.Start());

  EXPECT_EQ(session_.inputFiles, (std::vector<std::filesystem::path>{a, c}));
  // A listed file that is no drawing is a failure, said aloud and counted in the final text.
  const std::string cannotRead = kCannotRead + Str(c) + " (not a JWW drawing)";
  EXPECT_EQ(platform_.statusTexts,
            (std::vector<std::string>{kConverting + "1/2) " + Str(a), kConverting + "2/2) " + Str(c), cannotRead,
                                      kConverted + "2) " + kNotWritten + "1" + kFirstReason + cannotRead + kClose}));
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "a.jww");
  EXPECT_EQ(splits_[0].folder, dir_ / "");
  EXPECT_EQ(session_.Failures().count, 1);
  EXPECT_EQ(platform_.processMessagesCalls, 2);
  EXPECT_FALSE(session_.running);
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(SessionTest, DrawingsThatCannotBeReadFailAndTheRunGoesOn) {
  // A truncated drawing is reported and counted; a folder named like a drawing is no input.
  const auto whole = Drawing("whole.jww");
  std::vector<uint8_t> bytes(std::filesystem::file_size(whole) / 2);
  std::ifstream(whole, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  const auto cut = Write("cut.jww", std::string(bytes.begin(), bytes.end()));
  std::filesystem::create_directories(dir_ / "folder.jww");
  const auto last = Drawing("last.jww");
  session_.DropFiles({cut, dir_ / "folder.jww", last});
  EXPECT_EQ(frontEnd_.runsStarted, 1);
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "last.jww");
  EXPECT_EQ(session_.inputFiles, (std::vector<std::filesystem::path>{cut, last}));
  EXPECT_EQ(session_.Failures().count, 1);
  ASSERT_EQ(platform_.statusTexts.size(), 4u);
  EXPECT_EQ(platform_.statusTexts[1].rfind(kCannotRead + Str(cut) + " (", 0), 0u) << platform_.statusTexts[1];
  EXPECT_EQ(platform_.statusTexts.back().rfind(kConverted + "2) " + kNotWritten + "1", 0), 0u);
}

TEST_F(SessionTest, LowerCaseSwitchIsAFileNameThatIsNotListed) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("a.jww")) + "\r\n");
  platform_.parameters = {"/g"};
  EXPECT_TRUE(session_.Start());
  EXPECT_TRUE(session_.inputFiles.empty());
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(SessionTest, SwitchAmongOtherParametersIsIgnored) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("handed.jww")) + "\r\n");
  const auto a = Drawing("a.jww");
  platform_.parameters = {"/G", a};
  EXPECT_TRUE(session_.Start());
  EXPECT_TRUE(platform_.confirmations.empty());
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "a.jww");
}

TEST_F(SessionTest, HandOverFileNamesTheDrawing) {
  const auto a = Drawing("sub/plan.jww");
  HandOver("x=1\r\nfile=" + Str(a) + "  \r\n");
  platform_.parameters = {"/G"};
  EXPECT_TRUE(session_.Start());
  EXPECT_EQ(session_.inputFiles, std::vector<std::filesystem::path>{a});
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].folder, dir_ / "sub" / "");
  EXPECT_TRUE(platform_.confirmations.empty());  // the confirmation is off by default
}

TEST_F(SessionTest, HandOverFileNamingNothingUsableConvertsNothingAndCloses) {
  WriteSettings(true);
  for (const std::string& contents :
       {std::string("file=") + Str(dir_ / "gone.jww"), std::string("nothing here"), std::string("")}) {
    SCOPED_TRACE(contents);
    HandOver(contents);
    platform_.parameters = {"/G"};
    Session session(platform_.Services(), frontEnd_);
    EXPECT_TRUE(session.Start());
    EXPECT_TRUE(session.inputFiles.empty());
  }
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(SessionTest, ReadHandOverFileTakesTheFirstFileLineTrimmed) {
  const struct {
    const char* contents;
    const char* expected;
  } cases[] = {
      {"file=C:\\a.jww\r\n", "C:\\a.jww"},
      {"x=1\r\nfile=  C:\\b c.jww \t\r\nfile=C:\\second.jww\r\n", "C:\\b c.jww"},
      {"File=C:\\a.jww\r\n", ""},
      {" file=C:\\a.jww\r\n", ""},
      {"file=\r\n", ""},
      {"a\nb\nfile=last", "last"},
      {"", ""},
  };
  session_.exeFolder = dir_ / "bin" / "";
  EXPECT_EQ(session_.ReadHandOverFile(), "");  // no file at all
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents);
    HandOver(c.contents);
    EXPECT_EQ(session_.ReadHandOverFile(), c.expected);
  }
}

TEST_F(SessionTest, ConfirmationShowsPathTimeStampAndNowAndYesConverts) {
  WriteSettings(true);
  const auto a = Drawing("plan.jww");
  HandOver("file=" + Str(a) + "\r\n");
  platform_.parameters = {"/G"};
  platform_.confirmAnswer = true;
  EXPECT_TRUE(session_.Start());
  ASSERT_EQ(platform_.confirmations.size(), 1u);
  EXPECT_EQ(platform_.confirmations[0], kSavedQuestion + "\r\n" + kFileNameLabel + Str(a) + "\r\n" + kTimeStampLabel +
                                            "2024/01/02 03:04:05\r\n" + kNowLabel + "2024/05/06 07:08:09");
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_TRUE(platform_.informations.empty());
}

TEST_F(SessionTest, ConfirmationAnsweredNoConvertsNothing) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("plan.jww")) + "\r\n");
  platform_.parameters = {"/G"};
  platform_.confirmAnswer = false;
  EXPECT_TRUE(session_.Start());
  EXPECT_EQ(platform_.confirmations.size(), 1u);
  EXPECT_EQ(platform_.informations, std::vector<std::string>{kRunAborted});
  EXPECT_TRUE(splits_.empty());
  EXPECT_TRUE(platform_.statusTexts.empty());
}

TEST_F(SessionTest, ConfirmationForAMissingFileSaysSo) {
  const auto missing = dir_ / "gone.jww";
  EXPECT_EQ(session_.OverwriteConfirmationText(missing), kSavedQuestion + "\r\n" + kFileNameLabel + Str(missing) + "\r\n" +
                                                          kTimeStampLabel + kFileNotFound + "\r\n" + kNowLabel +
                                                          "2024/05/06 07:08:09");
}

// ---- The run

TEST_F(SessionTest, EscapeHeldAtTheStartConvertsNothing) {
  platform_.escapeDown = true;
  platform_.parameters = {Drawing("a.jww"), Drawing("b.jww")};
  EXPECT_TRUE(session_.Start());
  EXPECT_TRUE(splits_.empty());
  EXPECT_EQ(platform_.statusTexts, std::vector<std::string>{kCancelled});
  EXPECT_FALSE(session_.running);
}

TEST_F(SessionTest, EscapeDuringADrawingStopsBeforeTheNext) {
  onSplit_ = [this] { platform_.escapeDown = true; };
  const auto a = Drawing("a.jww");
  platform_.parameters = {a, Drawing("b.jww")};
  session_.Start();
  EXPECT_EQ(splits_.size(), 1u);  // the drawing in progress finishes
  EXPECT_EQ(platform_.statusTexts, (std::vector<std::string>{kConverting + "1/2) " + Str(a), kCancelled}));
}

TEST_F(SessionTest, CloseRequestDuringARunCancelsItAndALaterOneCloses) {
  std::vector<bool> answers;
  platform_.onProcessMessages = [&] {
    if (answers.empty()) answers.push_back(session_.CanClose());
  };
  const auto a = Drawing("a.jww");
  session_.DropFiles({a, Drawing("b.jww"), Drawing("c.jww")});
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_EQ(platform_.statusTexts, (std::vector<std::string>{kConverting + "1/3) " + Str(a), kCancelled}));
  EXPECT_TRUE(session_.CanClose());
}

TEST_F(SessionTest, ANewRunClearsAnEarlierCancel) {
  session_.cancelRequested = true;
  session_.DropFiles({Drawing("a.jww")});
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "1)");
}

TEST_F(SessionTest, DropsKeepExistingJwwFilesInTheirOrder) {
  const auto b = Drawing("b.JWW");
  const auto a = Drawing("a.jww");
  std::filesystem::create_directory(dir_ / "empty");
  session_.DropFiles({"", b, Write("n.txt", "x"), dir_ / "gone.jww", dir_ / "empty", a});
  EXPECT_EQ(session_.inputFiles, (std::vector<std::filesystem::path>{b, a}));
  ASSERT_EQ(splits_.size(), 2u);
  EXPECT_EQ(splits_[0].name, "b.JWW");
  EXPECT_EQ(splits_[1].name, "a.jww");
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "2)");

  // A drop of nothing usable starts no run.
  platform_.statusTexts.clear();
  session_.DropFiles({Write("n2.txt", "x")});
  EXPECT_TRUE(platform_.statusTexts.empty());
}

TEST_F(SessionTest, DropDuringARunDoesNotDisturbIt) {
  const auto a = Drawing("a.jww");
  const auto b = Drawing("b.jww");
  const auto late = Drawing("late.jww");
  onSplit_ = [&] { session_.DropFiles({late}); };
  session_.DropFiles({a, b});
  EXPECT_EQ(session_.inputFiles, (std::vector<std::filesystem::path>{a, b}));
  ASSERT_EQ(splits_.size(), 2u);
  EXPECT_EQ(splits_[1].name, "b.jww");
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "2)");
}

// Printing is the session's, through the one printing service: every written sheet with its
// whole path, once the drawing's files are written and before the front end hears of it;
// nothing when not asked for, and nothing when the front end gives no printing service.
TEST_F(SessionTest, PrintsEveryWrittenSheetThroughItsPrintingService) {
  const std::filesystem::path drawing = dir_ / "in" / "framed.jww";
  std::filesystem::create_directories(drawing.parent_path());
  JwwDocument doc;
  InitDrawing(doc, 600, false);
  Attr frame;
  frame.penColor = kFramePenColor, frame.penStyle = kFramePenStyle, frame.penWidth = kFramePenWidth;
  for (double x : {0.0, 300.0}) {
    AddLine(doc, x, 0, x + 297, 0, frame);
    AddLine(doc, x + 297, 0, x + 297, 210, frame);
    AddLine(doc, x + 297, 210, x, 210, frame);
    AddLine(doc, x, 210, x, 0, frame);
    AddLine(doc, x + 10, 10, x + 20, 20);
  }
  ASSERT_TRUE(doc.SaveToFile(drawing, 600));
  session_.hostExePath = "\"C:\\JWW\\Jw_win.exe\"";
  session_.options.printAfterSplit = true;
  size_t printedBeforeFrontEnd = 0;
  onSplit_ = [&] { printedBeforeFrontEnd = platform_.printed.size(); };
  session_.DropFiles({drawing});
  ASSERT_EQ(platform_.printed.size(), 2u);
  EXPECT_EQ(printedBeforeFrontEnd, 2u);
  for (const auto& [program, file] : platform_.printed) {
    EXPECT_EQ(program, session_.hostExePath);
    EXPECT_TRUE(file.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << file;
  }

  session_.options.printAfterSplit = false;
  session_.DropFiles({drawing});
  EXPECT_EQ(platform_.printed.size(), 2u);

  SessionServices withoutPrinting = platform_.Services();
  withoutPrinting.printing = nullptr;
  Session bare(withoutPrinting, frontEnd_);
  bare.options.printAfterSplit = true;
  bare.DropFiles({drawing});
  EXPECT_EQ(platform_.printed.size(), 2u);
  EXPECT_EQ(bare.Failures().count, 0);
}

TEST_F(SessionTest, OutputFolderFollowsTheRadioButtonsAndTheFolderBox) {
  std::filesystem::create_directories(dir_ / "desk");
  std::filesystem::create_directories(dir_ / "docs");
  std::filesystem::create_directories(dir_ / "given");
  platform_.desktop = dir_ / "desk";
  platform_.documents = dir_ / "docs" / "";
  const auto a = Drawing("src/a.jww");
  const struct {
    OutputFolder choice;
    std::string givenFolder;
    std::filesystem::path expected;
  } cases[] = {
      {OutputFolder::kDesktop, Str(dir_ / "given"), dir_ / "desk" / ""},
      {OutputFolder::kDocuments, "", dir_ / "docs" / ""},
      {OutputFolder::kSourceFolder, Str(dir_ / "given"), dir_ / "src" / ""},
      {OutputFolder::kGivenFolder, Str(dir_ / "given"), dir_ / "given" / ""},  // no trailing separator typed
      {OutputFolder::kGivenFolder, Str(dir_ / "given" / ""), dir_ / "given" / ""},
      {OutputFolder::kGivenFolder, Str(dir_ / "nowhere"), dir_ / "src" / ""},
      {OutputFolder::kGivenFolder, "", dir_ / "src" / ""},
      {OutputFolder::kNone, Str(dir_ / "given"), dir_ / "given" / ""},
      {OutputFolder::kNone, "", dir_ / "src" / ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.choice)) + " " + c.givenFolder);
    splits_.clear();
    session_.options = SplitOptions{};
    session_.options.outputFolder = c.choice;
    session_.options.givenFolder = c.givenFolder;
    session_.DropFiles({a});
    ASSERT_EQ(splits_.size(), 1u);
    EXPECT_EQ(splits_[0].folder, c.expected);
  }
}

TEST_F(SessionTest, RunLimitsTheOptionsBeforeItStarts) {
  session_.options.separator = "x y";
  session_.options.startNumber = -4;
  session_.options.margin = 150;
  session_.options.namingPattern = NamingPattern::kNumberSourceName;
  session_.options.drawFrameOnFF = true;
  SplitOptions seen;
  frontEnd_.onDrawing = [&](const Session& s) { seen = s.options; };
  session_.DropFiles({Drawing("a.jww")});
  EXPECT_EQ(frontEnd_.runsStarted, 1);
  EXPECT_EQ(seen.separator, "");
  EXPECT_EQ(seen.startNumber, 0);
  EXPECT_EQ(seen.margin, 100);
  EXPECT_EQ(seen.namingPattern, NamingPattern::kNumberSourceName);
  EXPECT_TRUE(seen.drawFrameOnFF);
  EXPECT_EQ(session_.options, seen);  // the limited values stay, for the window to show
}

// ---- Options

TEST(LimitOptions, SeparatorCheck) {
  const struct {
    std::string typed;
    std::string expected;
  } cases[] = {
      {"-", "-"},
      {"", ""},
      {"_", "_"},
      {"a.b", ""},
      {"x y", ""},
      {"\x83\x5C", "\x83\x5C"},  // ソ: its second byte is the backslash's code, not a backslash
      {"\x81\x5B", "\x81\x5B"},  // ー
      {"abcdefghij", "abcdefgh"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    SplitOptions options;
    options.separator = c.typed;
    LimitOptions(options);
    EXPECT_EQ(options.separator, c.expected);
  }
  // Each of the sixteen forbidden characters, ":" and control characters, inside other text.
  for (char forbidden : std::string(",.\\/[]| '\"+*<>?~:\x7F\t")) {
    SCOPED_TRACE(std::string(1, forbidden));
    SplitOptions options;
    options.separator = std::string("a") + forbidden + "b";
    LimitOptions(options);
    EXPECT_EQ(options.separator, "");
  }
}

TEST(LimitOptions, StartNumberAndMarginAreLimitedAndTheRestKept) {
  const struct {
    int32_t start, limitedStart;
    double margin, limitedMargin;
  } cases[] = {
      {-3, 0, 150, 100}, {12345, 9999, -3, 0}, {42, 42, 2.5, 2.5}, {9999, 9999, 100, 100}, {0, 0, 0.125, 0.125},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + " / " + FormatReal(c.margin));
    SplitOptions options;
    options.outputFolder = OutputFolder::kNone;
    options.givenFolder = "D:\\out\\";
    options.namingPattern = NamingPattern::kNumberName;
    options.leadingZeros = options.printAfterSplit = options.drawFrameOnFF = true;
    options.compactEmptyNumbers = options.confirmSavedBeforeRun = true;
    options.numberingDirection = NumberingDirection::kColumns;
    options.startNumber = c.start;
    options.margin = c.margin;
    SplitOptions expected = options;
    expected.startNumber = c.limitedStart;
    expected.margin = c.limitedMargin;
    LimitOptions(options);
    EXPECT_EQ(options, expected);
  }
}

TEST(LimitOptions, MarginAsShownKeepsFifteenDigits) {
  EXPECT_EQ(MarginAsShown(2.5), 2.5);
  EXPECT_EQ(MarginAsShown(0.1234567890123456), 0.123456789012346);
  EXPECT_EQ(FormatReal(-0.0), "0");
}

// ---- Closing and the settings

TEST_F(SessionTest, ClosingSavesTheCapturedOptionsBesideTheExecutable) {
  EXPECT_FALSE(session_.Start());
  session_.options.separator = "a.b";
  session_.options.startNumber = -1;
  session_.options.margin = 7.5;
  session_.options.confirmSavedBeforeRun = true;
  session_.position.left = 11;
  ASSERT_TRUE(session_.CanClose());
  session_.Close();
  EXPECT_EQ(session_.Document(), nullptr);

  SplitOptions o;
  WindowPosition p;
  LoadSettings(dir_ / "bin" / "kelvane.dat", o, p);
  EXPECT_EQ(o.separator, "");
  EXPECT_EQ(o.startNumber, 0);
  EXPECT_EQ(o.margin, 7.5);
  EXPECT_TRUE(o.confirmSavedBeforeRun);
  EXPECT_EQ(p.left, 11);
}

TEST_F(SessionTest, SettingsSurviveARestart) {
  session_.Start();
  session_.options.namingPattern = NamingPattern::kSourceName;
  session_.options.outputFolder = OutputFolder::kDesktop;
  session_.position = {-7, 9};
  session_.Close();

  Session again(platform_.Services(), frontEnd_);
  again.Start();
  EXPECT_EQ(again.options, session_.options);
  EXPECT_EQ(again.position, session_.position);
}

TEST_F(SessionTest, SideOptionsLiveBesideTheSettingsFileWhichTheyLeaveAlone) {
  const auto dat = dir_ / "bin" / "kelvane.dat", ini = dir_ / "bin" / "kelvane.ini";
  session_.Start();
  session_.Close();
  const std::string withoutOption = ReadText(dat);
  EXPECT_FALSE(std::filesystem::exists(ini));  // nothing set, nothing left behind

  Session on(platform_.Services(), frontEnd_);
  on.Start();
  EXPECT_FALSE(on.side.options.pdf);
  on.side.options.pdf = true;
  on.Close();
  EXPECT_EQ(ReadText(dat), withoutOption);
  EXPECT_EQ(ReadText(ini), "pdf=1\r\n");

  Session again(platform_.Services(), frontEnd_);
  again.Start();
  EXPECT_TRUE(again.side.options.pdf);
  again.side.options.pdf = false;
  again.Close();
  EXPECT_EQ(ReadText(dat), withoutOption);
  EXPECT_EQ(ReadText(ini), "pdf=0\r\n");  // once there, the file keeps the choice to switch it off
}

TEST_F(SessionTest, UnwritableExecutableFolderFallsBackToTheUserFolder) {
  platform_.executable = dir_ / "missing" / "kelvane";  // a folder that cannot take the file
  session_.Start();
  session_.options.namingPattern = NamingPattern::kName;
  session_.Close();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
  ASSERT_TRUE(std::filesystem::exists(dir_ / "user" / "kelvane.dat"));

  Session again(platform_.Services(), frontEnd_);
  again.Start();
  EXPECT_EQ(again.SettingsFile(), dir_ / "user" / "kelvane.dat");
  EXPECT_EQ(again.options.namingPattern, NamingPattern::kName);
}

// Installed by a package, the program never writes into the system's folders, even as root.
TEST_F(SessionTest, AnExecutableInASystemFolderKeepsItsSettingsInTheUserFolder) {
  platform_.systemExecutable = true;
  session_.Start();
  EXPECT_EQ(session_.SettingsFile(), dir_ / "user" / "kelvane.dat");
  session_.options.startNumber = 5;
  session_.Close();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "bin" / "kelvane.dat"));
  SplitOptions o;
  WindowPosition p;
  LoadSettings(dir_ / "user" / "kelvane.dat", o, p);
  EXPECT_EQ(o.startNumber, 5);
}

TEST_F(SessionTest, NamedSettingsFileIsOnlyRead) {
  const auto named = dir_ / "mine.dat";
  SplitOptions o;
  o.startNumber = 42;
  ASSERT_TRUE(SaveSettings(named, o, WindowPosition{}));
  const std::string before = ReadText(named);
  Session session(platform_.Services(), frontEnd_, SessionSettings{named, std::nullopt, false});
  session.Start();
  EXPECT_EQ(session.options.startNumber, 42);
  session.options.startNumber = 43;
  session.Close();
  EXPECT_EQ(ReadText(named), before);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "bin" / "kelvane.dat"));
}

TEST_F(SessionTest, OverrideRunsAfterLoadingAndBeforeTheRun) {
  frontEnd_.onSettingsLoaded = [](SplitOptions& o) { o.startNumber = 77; };
  int32_t seen = -1;
  frontEnd_.onDrawing = [&](const Session& s) { seen = s.options.startNumber; };
  platform_.parameters = {Drawing("a.jww")};
  session_.Start();
  EXPECT_EQ(seen, 77);
}

TEST_F(SessionTest, FolderButtonStartsInTheFolderBoxOrTheExecutableFolder) {
  session_.Start();
  platform_.chosenFolder = dir_ / "picked";
  session_.ChooseOutputFolder();
  EXPECT_EQ(platform_.folderDialogStarts.back(), dir_ / "bin" / "");
  EXPECT_EQ(session_.options.givenFolder, Str(dir_ / "picked" / ""));
  // Picking a folder does not choose the given folder.
  EXPECT_EQ(session_.options.outputFolder, OutputFolder::kSourceFolder);

  std::filesystem::create_directories(dir_ / "picked");
  platform_.chosenFolder.reset();  // cancelled
  session_.ChooseOutputFolder();
  EXPECT_EQ(platform_.folderDialogStarts.back(), dir_ / "picked" / "");
  EXPECT_EQ(session_.options.givenFolder, Str(dir_ / "picked" / ""));
}
