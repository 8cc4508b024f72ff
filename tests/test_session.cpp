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
#include "fake_platform.h"
#include "jww/builder.h"

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
  std::function<void(OptionControls&)> onSettingsLoaded;
  std::function<void(const Session&)> onDrawing;
  const Session* session = nullptr;
  int runsStarted = 0;

  void SettingsLoaded(OptionControls& c) override {
    if (onSettingsLoaded) onSettingsLoaded(c);
  }
  void RunStarted(const OptionControls&) override { ++runsStarted; }
  void DrawingDone(const JwwDocument&, const SheetPlan& plan, const std::vector<SheetOutcome>&) override {
    splits.push_back({plan.outputFolder, plan.source.filename().string()});
    if (onDrawing) onDrawing(*session);
    if (onSplit) onSplit();
  }
};

// A fresh folder with an executable path inside it, a fake platform and a session that records
// every drawing it splits.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("kelvane_shell_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_ / "bin");
    platform_.executable = dir_ / "bin" / "kelvane";
    platform_.userSettings = dir_ / "user";
    frontEnd_.session = &form_;
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
    OptionControls c;
    SplitOptions o;
    o.confirmSavedBeforeRun = confirm;
    ASSERT_TRUE(SaveSettings(SettingsFileBeside(platform_.executable), c, o));
  }
  void HandOver(const std::string& contents) { Write("bin/JWC_TEMP.TXT", contents); }

  std::filesystem::path dir_;
  FakePlatform platform_;
  RecordingFrontEnd frontEnd_;
  Session form_{platform_, frontEnd_};
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

TEST_F(ShellTest, FormShowReadsTheRegistryKeyAndQuotesTheResult) {
  platform_.registryValue = "C:\\JWW\\Jw_win.exe %1";
  EXPECT_FALSE(form_.Start());
  ASSERT_EQ(platform_.registryKeysRead.size(), 1u);
  EXPECT_EQ(platform_.registryKeysRead[0], "Jwwin.Document\\shell\\open\\command");
  EXPECT_EQ(form_.hostExePath, "\"C:\\JWW\\Jw_win.exe\"");
}

// ---- Start-up

TEST_F(ShellTest, WithoutParametersNothingRunsAndTheWindowStaysOpen) {
  EXPECT_FALSE(form_.Start());
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(splits_.empty());
  EXPECT_EQ(platform_.dropRegistrations, 1);
  EXPECT_EQ(form_.exeFolder, dir_ / "bin" / "");
  EXPECT_NE(form_.Document(), nullptr);
}

TEST_F(ShellTest, ParametersKeepExistingJwwFilesAndCountRejectedDrawings) {
  const auto a = Drawing("a.jww");
  const auto b = Write("b.txt", "JwwData.");
  const auto c = Write("c.JWW", "not a drawing");  // listed, but the signature check rejects it
  platform_.parameters = {a, "", b, dir_ / "missing.jww", c};
  EXPECT_TRUE(form_.Start());

  EXPECT_EQ(form_.inputFiles, (std::vector<std::filesystem::path>{a, c}));
  // A listed file that is no drawing is a failure, said aloud and counted in the final text.
  const std::string cannotRead = kCannotRead + Str(c) + " (not a JWW drawing)";
  EXPECT_EQ(platform_.statusTexts,
            (std::vector<std::string>{kConverting + "1/2) " + Str(a), kConverting + "2/2) " + Str(c), cannotRead,
                                      kConverted + "2) " + kNotWritten + "1" + kFirstReason + cannotRead + kClose}));
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "a.jww");
  EXPECT_EQ(splits_[0].folder, dir_ / "");
  EXPECT_EQ(form_.Failures().count, 1);
  EXPECT_EQ(platform_.processMessagesCalls, 2);
  EXPECT_FALSE(form_.running);
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(ShellTest, DrawingsThatCannotBeReadFailAndTheRunGoesOn) {
  // A truncated drawing is reported and counted; a folder named like a drawing is no input.
  const auto whole = Drawing("whole.jww");
  std::vector<uint8_t> bytes(std::filesystem::file_size(whole) / 2);
  std::ifstream(whole, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  const auto cut = Write("cut.jww", std::string(bytes.begin(), bytes.end()));
  std::filesystem::create_directories(dir_ / "folder.jww");
  const auto last = Drawing("last.jww");
  form_.DropFiles({cut, dir_ / "folder.jww", last});
  EXPECT_EQ(frontEnd_.runsStarted, 1);
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "last.jww");
  EXPECT_EQ(form_.inputFiles, (std::vector<std::filesystem::path>{cut, last}));
  EXPECT_EQ(form_.Failures().count, 1);
  ASSERT_EQ(platform_.statusTexts.size(), 4u);
  EXPECT_EQ(platform_.statusTexts[1].rfind(kCannotRead + Str(cut) + " (", 0), 0u) << platform_.statusTexts[1];
  EXPECT_EQ(platform_.statusTexts.back().rfind(kConverted + "2) " + kNotWritten + "1", 0), 0u);
}

TEST_F(ShellTest, LowerCaseSwitchIsAFileNameThatIsNotListed) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("a.jww")) + "\r\n");
  platform_.parameters = {"/g"};
  EXPECT_TRUE(form_.Start());
  EXPECT_TRUE(form_.inputFiles.empty());
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(ShellTest, SwitchAmongOtherParametersIsIgnored) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("handed.jww")) + "\r\n");
  const auto a = Drawing("a.jww");
  platform_.parameters = {"/G", a};
  EXPECT_TRUE(form_.Start());
  EXPECT_TRUE(platform_.confirmations.empty());
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].name, "a.jww");
}

TEST_F(ShellTest, HandOverFileNamesTheDrawing) {
  const auto a = Drawing("sub/plan.jww");
  HandOver("x=1\r\nfile=" + Str(a) + "  \r\n");
  platform_.parameters = {"/G"};
  EXPECT_TRUE(form_.Start());
  EXPECT_EQ(form_.inputFiles, std::vector<std::filesystem::path>{a});
  ASSERT_EQ(splits_.size(), 1u);
  EXPECT_EQ(splits_[0].folder, dir_ / "sub" / "");
  EXPECT_TRUE(platform_.confirmations.empty());  // the confirmation is off by default
}

TEST_F(ShellTest, HandOverFileNamingNothingUsableConvertsNothingAndCloses) {
  WriteSettings(true);
  for (const std::string& contents :
       {std::string("file=") + Str(dir_ / "gone.jww"), std::string("nothing here"), std::string("")}) {
    SCOPED_TRACE(contents);
    HandOver(contents);
    platform_.parameters = {"/G"};
    Session form(platform_, frontEnd_);
    EXPECT_TRUE(form.Start());
    EXPECT_TRUE(form.inputFiles.empty());
  }
  EXPECT_TRUE(platform_.statusTexts.empty());
  EXPECT_TRUE(platform_.confirmations.empty());
}

TEST_F(ShellTest, ReadHandOverFileTakesTheFirstFileLineTrimmed) {
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
  form_.exeFolder = dir_ / "bin" / "";
  EXPECT_EQ(form_.ReadHandOverFile(), "");  // no file at all
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents);
    HandOver(c.contents);
    EXPECT_EQ(form_.ReadHandOverFile(), c.expected);
  }
}

TEST_F(ShellTest, ConfirmationShowsPathTimeStampAndNowAndYesConverts) {
  WriteSettings(true);
  const auto a = Drawing("plan.jww");
  HandOver("file=" + Str(a) + "\r\n");
  platform_.parameters = {"/G"};
  platform_.confirmAnswer = true;
  EXPECT_TRUE(form_.Start());
  ASSERT_EQ(platform_.confirmations.size(), 1u);
  EXPECT_EQ(platform_.confirmations[0], kSavedQuestion + "\r\n" + kFileNameLabel + Str(a) + "\r\n" + kTimeStampLabel +
                                            "2024/01/02 03:04:05\r\n" + kNowLabel + "2024/05/06 07:08:09");
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_TRUE(platform_.informations.empty());
}

TEST_F(ShellTest, ConfirmationAnsweredNoConvertsNothing) {
  WriteSettings(true);
  HandOver("file=" + Str(Drawing("plan.jww")) + "\r\n");
  platform_.parameters = {"/G"};
  platform_.confirmAnswer = false;
  EXPECT_TRUE(form_.Start());
  EXPECT_EQ(platform_.confirmations.size(), 1u);
  EXPECT_EQ(platform_.informations, std::vector<std::string>{kRunAborted});
  EXPECT_TRUE(splits_.empty());
  EXPECT_TRUE(platform_.statusTexts.empty());
}

TEST_F(ShellTest, ConfirmationForAMissingFileSaysSo) {
  const auto missing = dir_ / "gone.jww";
  EXPECT_EQ(form_.OverwriteConfirmationText(missing), kSavedQuestion + "\r\n" + kFileNameLabel + Str(missing) + "\r\n" +
                                                          kTimeStampLabel + kFileNotFound + "\r\n" + kNowLabel +
                                                          "2024/05/06 07:08:09");
}

// ---- The run

TEST_F(ShellTest, EscapeHeldAtTheStartConvertsNothing) {
  platform_.escapeDown = true;
  platform_.parameters = {Drawing("a.jww"), Drawing("b.jww")};
  EXPECT_TRUE(form_.Start());
  EXPECT_TRUE(splits_.empty());
  EXPECT_EQ(platform_.statusTexts, std::vector<std::string>{kCancelled});
  EXPECT_FALSE(form_.running);
}

TEST_F(ShellTest, EscapeDuringADrawingStopsBeforeTheNext) {
  onSplit_ = [this] { platform_.escapeDown = true; };
  const auto a = Drawing("a.jww");
  platform_.parameters = {a, Drawing("b.jww")};
  form_.Start();
  EXPECT_EQ(splits_.size(), 1u);  // the drawing in progress finishes
  EXPECT_EQ(platform_.statusTexts, (std::vector<std::string>{kConverting + "1/2) " + Str(a), kCancelled}));
}

TEST_F(ShellTest, CloseRequestDuringARunCancelsItAndALaterOneCloses) {
  std::vector<bool> answers;
  platform_.onProcessMessages = [&] {
    if (answers.empty()) answers.push_back(form_.CanClose());
  };
  const auto a = Drawing("a.jww");
  form_.DropFiles({a, Drawing("b.jww"), Drawing("c.jww")});
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_EQ(platform_.statusTexts, (std::vector<std::string>{kConverting + "1/3) " + Str(a), kCancelled}));
  EXPECT_TRUE(form_.CanClose());
}

TEST_F(ShellTest, ANewRunClearsAnEarlierCancel) {
  form_.cancelRequested = true;
  form_.DropFiles({Drawing("a.jww")});
  EXPECT_EQ(splits_.size(), 1u);
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "1)");
}

TEST_F(ShellTest, DropsKeepExistingJwwFilesInTheirOrder) {
  const auto b = Drawing("b.JWW");
  const auto a = Drawing("a.jww");
  form_.DropFiles({"", b, Write("n.txt", "x"), dir_ / "gone.jww", dir_, a});
  EXPECT_EQ(form_.inputFiles, (std::vector<std::filesystem::path>{b, a}));
  ASSERT_EQ(splits_.size(), 2u);
  EXPECT_EQ(splits_[0].name, "b.JWW");
  EXPECT_EQ(splits_[1].name, "a.jww");
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "2)");

  // A drop of nothing usable starts no run.
  platform_.statusTexts.clear();
  form_.DropFiles({Write("n2.txt", "x")});
  EXPECT_TRUE(platform_.statusTexts.empty());
}

TEST_F(ShellTest, DropDuringARunDoesNotDisturbIt) {
  const auto a = Drawing("a.jww");
  const auto b = Drawing("b.jww");
  const auto late = Drawing("late.jww");
  onSplit_ = [&] { form_.DropFiles({late}); };
  form_.DropFiles({a, b});
  EXPECT_EQ(form_.inputFiles, (std::vector<std::filesystem::path>{a, b}));
  ASSERT_EQ(splits_.size(), 2u);
  EXPECT_EQ(splits_[1].name, "b.jww");
  EXPECT_EQ(platform_.statusTexts.back(), kConverted + "2)");
}

TEST_F(ShellTest, OutputFolderFollowsTheRadioButtonsAndTheFolderBox) {
  std::filesystem::create_directories(dir_ / "desk");
  std::filesystem::create_directories(dir_ / "docs");
  std::filesystem::create_directories(dir_ / "given");
  platform_.desktop = dir_ / "desk";
  platform_.documents = dir_ / "docs" / "";
  const auto a = Drawing("src/a.jww");
  const struct {
    int button;  // 0: none selected
    std::string edit1;
    std::filesystem::path expected;
  } cases[] = {
      {1, Str(dir_ / "given"), dir_ / "desk" / ""},
      {2, "", dir_ / "docs" / ""},
      {3, Str(dir_ / "given"), dir_ / "src" / ""},
      {4, Str(dir_ / "given"), dir_ / "given" / ""},  // no trailing separator typed
      {4, Str(dir_ / "given" / ""), dir_ / "given" / ""},
      {4, Str(dir_ / "nowhere"), dir_ / "src" / ""},
      {4, "", dir_ / "src" / ""},
      {0, Str(dir_ / "given"), dir_ / "given" / ""},
      {0, "", dir_ / "src" / ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.button) + " " + c.edit1);
    splits_.clear();
    form_.controls = OptionControls{};
    form_.controls.outputToSourceFolder = false;
    if (c.button) SetOutputRadioButton(form_.controls, c.button, true);
    form_.controls.outputFolderEdit = c.edit1;
    form_.DropFiles({a});
    ASSERT_EQ(splits_.size(), 1u);
    EXPECT_EQ(splits_[0].folder, c.expected);
  }
}

TEST_F(ShellTest, RunCapturesTheOptionsWithWriteBack) {
  form_.controls.separatorEdit = "x y";
  form_.controls.startNumberEdit = "abc";
  form_.controls.marginEdit = "150";
  form_.controls.namingPatternCombo = 3;
  form_.controls.drawFrameCheck = true;
  SplitOptions seen;
  frontEnd_.onDrawing = [&](const Session& s) { seen = s.options; };
  form_.DropFiles({Drawing("a.jww")});
  EXPECT_EQ(seen.separator, "");
  EXPECT_EQ(seen.startNumber, 0);
  EXPECT_EQ(seen.margin, 100);
  EXPECT_EQ(seen.namingPattern, 3);
  EXPECT_TRUE(seen.drawFrameOnFF);
  EXPECT_EQ(form_.controls.separatorEdit, "");
  EXPECT_EQ(form_.controls.startNumberEdit, "0");
  EXPECT_EQ(form_.controls.marginEdit, "100");
}

// ---- Options

TEST(CaptureOptions, SeparatorCheck) {
  const struct {
    std::string edit2;
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
    SCOPED_TRACE(c.edit2);
    OptionControls controls;
    SplitOptions options;
    controls.separatorEdit = c.edit2;
    CaptureOptions(controls, options, false);
    EXPECT_EQ(options.separator, c.expected);
    EXPECT_EQ(controls.separatorEdit, c.expected.empty() ? "" : c.edit2);
  }
  // Each of the sixteen forbidden characters on its own, and inside other text.
  for (char forbidden : std::string(",.\\/[]| '\"+*<>?~")) {
    SCOPED_TRACE(std::string(1, forbidden));
    OptionControls controls;
    SplitOptions options;
    controls.separatorEdit = std::string("a") + forbidden + "b";
    CaptureOptions(controls, options, true);
    EXPECT_EQ(options.separator, "");
    EXPECT_EQ(controls.separatorEdit, "");
  }
}

TEST(CaptureOptions, StartNumberAndMarginAreLimited) {
  const struct {
    const char* edit3;
    int32_t start;
    const char* edit4;
    double margin;
    const char* shown;
  } cases[] = {
      {"abc", 0, "150", 100, "100"},
      {"12345", 9999, "-3", 0, "0"},
      {"-3", 0, "abc", 0, "0"},
      {"42", 42, "2.5", 2.5, "2.5"},
      {"", 0, "", 0, "0"},
      {"$10", 16, "1e1", 10, "10"},
      {"9999", 9999, "100", 100, "100"},
      {"0", 0, "0.125", 0.125, "0.125"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.edit3) + " / " + c.edit4);
    OptionControls controls;
    SplitOptions options;
    controls.startNumberEdit = c.edit3;
    controls.marginEdit = c.edit4;
    CaptureOptions(controls, options, true);
    EXPECT_EQ(options.startNumber, c.start);
    EXPECT_EQ(options.margin, c.margin);
    EXPECT_EQ(controls.startNumberEdit, std::to_string(c.start));
    EXPECT_EQ(controls.marginEdit, c.shown);

    // Without write-back the edit boxes keep what was typed.
    OptionControls untouched;
    untouched.startNumberEdit = c.edit3;
    untouched.marginEdit = c.edit4;
    CaptureOptions(untouched, options, false);
    EXPECT_EQ(untouched.startNumberEdit, c.edit3);
    EXPECT_EQ(untouched.marginEdit, c.edit4);
  }
}

TEST(CaptureOptions, ControlsMapToTheirFields) {
  OptionControls controls;
  controls.namingPatternCombo = 4;
  controls.numberingDirectionGroup = 1;
  controls.leadingZeroGroup = 1;
  controls.printAfterSplitCheck = true;
  controls.compactNumbersCheck = true;
  SplitOptions options;
  CaptureOptions(controls, options, false);
  EXPECT_EQ(options.namingPattern, 4);
  EXPECT_EQ(options.numberingDirection, 1);
  EXPECT_EQ(options.leadingZero, 1);
  EXPECT_TRUE(options.printAfterSplit);
  EXPECT_FALSE(options.drawFrameOnFF);
  EXPECT_TRUE(options.compactEmptyNumbers);
  EXPECT_FALSE(options.confirmSavedBeforeRun);

  controls.printAfterSplitCheck = controls.compactNumbersCheck = false;
  controls.drawFrameCheck = controls.confirmSavedCheck = true;
  CaptureOptions(controls, options, false);
  EXPECT_FALSE(options.printAfterSplit);
  EXPECT_TRUE(options.drawFrameOnFF);
  EXPECT_FALSE(options.compactEmptyNumbers);
  EXPECT_TRUE(options.confirmSavedBeforeRun);
}

TEST(OutputRadioButtons, SelectingOneUnselectsTheOthers) {
  OptionControls c;
  SetOutputRadioButton(c, 2, true);
  EXPECT_TRUE(!c.outputToDesktop && c.outputToDocuments && !c.outputToSourceFolder && !c.outputToGivenFolder);
  SetOutputRadioButton(c, 4, false);  // clearing another leaves the selection alone
  EXPECT_TRUE(c.outputToDocuments);
  SetOutputRadioButton(c, 2, false);
  EXPECT_FALSE(c.outputToDesktop || c.outputToDocuments || c.outputToSourceFolder || c.outputToGivenFolder);
}

// ---- Closing and the settings

TEST_F(ShellTest, ClosingSavesTheCapturedOptionsBesideTheExecutable) {
  EXPECT_FALSE(form_.Start());
  form_.controls.separatorEdit = "a.b";
  form_.controls.startNumberEdit = "abc";
  form_.controls.marginEdit = "7.5";
  form_.controls.confirmSavedCheck = true;
  form_.controls.left = 11;
  ASSERT_TRUE(form_.CanClose());
  form_.Close();
  EXPECT_EQ(form_.Document(), nullptr);
  EXPECT_EQ(form_.controls.separatorEdit, "");       // an invalid separator still empties the box
  EXPECT_EQ(form_.controls.startNumberEdit, "abc");  // no write-back at closing

  OptionControls c;
  SplitOptions o;
  LoadSettings(dir_ / "bin" / "kelvane.dat", c, o);
  EXPECT_EQ(o.separator, "");
  EXPECT_EQ(o.startNumber, 0);
  EXPECT_EQ(o.margin, 7.5);
  EXPECT_TRUE(o.confirmSavedBeforeRun);
  EXPECT_EQ(c.left, 11);
}

TEST_F(ShellTest, SettingsSurviveARestart) {
  form_.Start();
  form_.controls.namingPatternCombo = 2;
  SetOutputRadioButton(form_.controls, 1, true);
  form_.Close();

  Session again(platform_, frontEnd_);
  again.Start();
  EXPECT_EQ(again.controls.namingPatternCombo, 2);
  EXPECT_TRUE(again.controls.outputToDesktop);
  EXPECT_FALSE(again.controls.outputToSourceFolder);
}

TEST_F(ShellTest, UnwritableExecutableFolderFallsBackToTheUserFolder) {
  platform_.executable = dir_ / "missing" / "kelvane";  // a folder that cannot take the file
  form_.Start();
  form_.controls.namingPatternCombo = 5;
  form_.Close();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
  ASSERT_TRUE(std::filesystem::exists(dir_ / "user" / "kelvane.dat"));

  Session again(platform_, frontEnd_);
  again.Start();
  EXPECT_EQ(again.SettingsFile(), dir_ / "user" / "kelvane.dat");
  EXPECT_EQ(again.controls.namingPatternCombo, 5);
}

TEST_F(ShellTest, NamedSettingsFileIsOnlyRead) {
  const auto named = dir_ / "mine.dat";
  OptionControls c;
  SplitOptions o;
  o.startNumber = 42;
  ASSERT_TRUE(SaveSettings(named, c, o));
  const std::string before = ReadText(named);
  Session form(platform_, frontEnd_, SessionSettings{named, std::nullopt, false});
  form.Start();
  EXPECT_EQ(form.controls.startNumberEdit, "42");
  form.controls.startNumberEdit = "43";
  form.Close();
  EXPECT_EQ(ReadText(named), before);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "bin" / "kelvane.dat"));
}

TEST_F(ShellTest, OverrideRunsAfterLoadingAndBeforeTheRun) {
  frontEnd_.onSettingsLoaded = [](OptionControls& c) { c.startNumberEdit = "77"; };
  int32_t seen = -1;
  frontEnd_.onDrawing = [&](const Session& s) { seen = s.options.startNumber; };
  platform_.parameters = {Drawing("a.jww")};
  form_.Start();
  EXPECT_EQ(seen, 77);
}

TEST_F(ShellTest, FolderButtonStartsInTheFolderBoxOrTheExecutableFolder) {
  form_.Start();
  platform_.chosenFolder = dir_ / "picked";
  form_.ChooseOutputFolder();
  EXPECT_EQ(platform_.folderDialogStarts.back(), dir_ / "bin" / "");
  EXPECT_EQ(form_.controls.outputFolderEdit, Str(dir_ / "picked" / ""));
  EXPECT_TRUE(form_.controls.outputToSourceFolder);  // picking a folder does not select RadioButton4

  std::filesystem::create_directories(dir_ / "picked");
  platform_.chosenFolder.reset();  // cancelled
  form_.ChooseOutputFolder();
  EXPECT_EQ(platform_.folderDialogStarts.back(), dir_ / "picked" / "");
  EXPECT_EQ(form_.controls.outputFolderEdit, Str(dir_ / "picked" / ""));
}
