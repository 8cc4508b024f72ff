// The live window's behaviour: drops, runs, cancellation, settings, option checks, dialogs.
#include "tests/win32/window_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvane::test {
namespace {

const std::string kConverting = Sjis(L"変換中(");
const std::string kConverted = Sjis(L"変換完了(");
const std::string kCancelled = Sjis(L"変換を中断しました(ESC)");

// Sheets of the example drawing named by the first naming pattern: "<number>_<base>.jww".
std::vector<std::wstring> SheetsOf(const std::filesystem::path& folder, const std::wstring& base) {
  std::vector<std::wstring> sheets;
  for (const std::wstring& name : FilesStartingWith(folder, L"")) {
    const std::wstring tail = L"_" + base + L".jww";
    if (name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
      sheets.push_back(name);
  }
  return sheets;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool Checked(const LiveWindow& live, int id) { return SendMessageW(live.Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

TEST(WindowRun, DropOfTwoDrawingsAndAnotherFileRunsOverTheTwo) {
  const auto folder = FreshFolder("drop");
  MakeDrawing(folder / L"a.jww");
  MakeDrawing(folder / L"b.JWW");
  WriteFile(folder / L"c.txt", "not a drawing");
  LiveWindow live(folder);
  live.Start();
  SendMessageW(live.window.Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww", folder / L"c.txt", folder / L"b.JWW"})), 0);

  const std::vector<std::string> expected = {kConverting + "1/2) " + Sjis((folder / L"a.jww").wstring()),
                                             kConverting + "2/2) " + Sjis((folder / L"b.JWW").wstring()),
                                             kConverted + "2)"};
  EXPECT_EQ(live.platform.statusTexts, expected);
  EXPECT_EQ(live.StatusText(), kConverted + "2)");
  EXPECT_EQ(SheetsOf(folder, L"a").size(), 6u);
  EXPECT_EQ(SheetsOf(folder, L"b").size(), 6u);
  EXPECT_TRUE(live.window.IsOpen());  // a drop leaves the window open
  EXPECT_GE(live.platform.processMessagesCalls, 2);  // after each drawing
}

// A folder dropped or named on the command line gives every drawing in it and below, by path.
TEST(WindowRun, AFolderDroppedOrNamedIsTakenWithEveryFolderBelow) {
  const auto folder = FreshFolder("drop-folder");
  const auto tree = folder / L"tree";
  std::filesystem::create_directories(tree / L"sub" / L"deeper");
  MakeDrawing(tree / L"sub" / L"b.JWW");
  MakeDrawing(tree / L"a.jww");
  MakeDrawing(tree / L"sub" / L"deeper" / L"c.jww");
  WriteFile(tree / L"c.txt", "not a drawing");
  const std::vector<std::string> expected = {
      kConverting + "1/3) " + Sjis((tree / L"a.jww").wstring()),
      kConverting + "2/3) " + Sjis((tree / L"sub" / L"b.JWW").wstring()),
      kConverting + "3/3) " + Sjis((tree / L"sub" / L"deeper" / L"c.jww").wstring()), kConverted + "3)"};
  {
    LiveWindow live(folder);
    live.Start();
    SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree})), 0);
    EXPECT_EQ(live.platform.statusTexts, expected);
    EXPECT_EQ(SheetsOf(tree / L"sub" / L"deeper", L"c").size(), 6u);
    EXPECT_TRUE(live.window.IsOpen());
  }
  LiveWindow started(folder, {tree});
  started.Start();
  EXPECT_FALSE(started.window.IsOpen());
  // The sheets of the drop are drawings of the tree now: they are inputs too, after their
  // source (whose sheets, being inputs, are not written again).
  ASSERT_FALSE(started.platform.statusTexts.empty());
  EXPECT_EQ(started.platform.statusTexts.back().rfind(kConverted + "21)", 0), 0u)
      << started.platform.statusTexts.back();
}

TEST(WindowRun, DropWithSavePdfWritesAPdfBesideEverySheetAndTellsOfOneItCannot) {
  const auto folder = FreshFolder("drop-pdf");
  MakeDrawing(folder / L"a.jww");
  LiveWindow live(folder);
  live.Start();
  live.window.SetSavesPdf(true);
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  const std::vector<std::wstring> sheets = SheetsOf(folder, L"a");
  ASSERT_EQ(sheets.size(), 6u);
  int withFonts = 0;
  for (const std::wstring& sheet : sheets) {
    const std::string pdf = ReadFile(std::filesystem::path(folder / sheet).replace_extension(L".pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-") << Sjis(sheet);
    withFonts += pdf.find("/FontFile2") != std::string::npos;
  }
  EXPECT_GE(withFonts, 4);  // the sheets with texts embed their fonts
  EXPECT_EQ(live.StatusText(), kConverted + "1)");

  // A folder where one PDF goes: that PDF fails, the run says so and ends as a failure, the
  // sheet itself is written again all the same.
  const std::filesystem::path blocked = std::filesystem::path(folder / sheets[0]).replace_extension(L".pdf");
  std::filesystem::remove(blocked);
  std::filesystem::create_directory(blocked);
  std::filesystem::remove(folder / sheets[0]);
  live.platform.statusTexts.clear();
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  EXPECT_TRUE(std::filesystem::exists(folder / sheets[0]));
  const std::string failure = Sjis(L"PDFを保存できませんでした：") + Sjis(blocked.wstring());
  EXPECT_EQ(std::count_if(live.platform.statusTexts.begin(), live.platform.statusTexts.end(),
                          [&](const std::string& t) { return t.rfind(failure, 0) == 0; }),
            1);
  EXPECT_EQ(live.StatusText().rfind(kConverted + "1) " + Sjis(L"書き込めなかった図面：1枚（最初の理由：") + failure, 0), 0u)
      << live.StatusText();

  // Switched off: no PDF is written or replaced.
  live.window.SetSavesPdf(false);
  const std::filesystem::path other = std::filesystem::path(folder / sheets[1]).replace_extension(L".pdf");
  std::filesystem::remove(other);
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_EQ(live.StatusText(), kConverted + "1)");
}

// With PDF sets, 1_a.jww's set (dropped first) and the PDF of a.jww's sheet 1_a share a name in
// the output folder: the set stays, and that one PDF fails the run.
TEST(WindowRun, ASheetsPdfNeverReplacesAnEarlierDrawingsSet) {
  const auto folder = FreshFolder("drop-set");
  MakeDrawing(folder / L"1_a.jww");
  MakeDrawing(folder / L"a.jww");
  const std::filesystem::path out = folder / L"out";
  std::filesystem::create_directory(out);
  LiveWindow live(folder);
  live.Start();
  live.window.SetSavesPdf(true);
  live.window.SetSavesPdfSet(true);
  live.SetText(kOutputFolderEdit, out.wstring());
  live.Click(kOutputToGivenFolderRadio);
  SendMessageW(live.window.Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({folder / L"1_a.jww", folder / L"a.jww"})), 0);
  const std::string set = ReadFile(out / L"1_a.pdf");
  size_t pages = 0;
  for (size_t at = set.find("/Type/Page/"); at != std::string::npos; at = set.find("/Type/Page/", at + 1)) ++pages;
  EXPECT_EQ(pages, 6u) << "the set of 1_a.jww's six sheets";
  EXPECT_TRUE(std::filesystem::exists(out / L"1_a.jww"));
  EXPECT_TRUE(std::filesystem::exists(out / L"2_a.pdf"));
  const std::string failure = Sjis(L"PDFを保存できませんでした：") + Sjis((out / L"1_a.pdf").wstring()) +
                              " (it would replace a file written by this run)";
  EXPECT_EQ(std::count(live.platform.statusTexts.begin(), live.platform.statusTexts.end(), failure), 1);
}

TEST(WindowRun, DropOfOnlyOtherFilesStartsNoRun) {
  const auto folder = FreshFolder("drop-none");
  WriteFile(folder / L"c.txt", "x");
  LiveWindow live(folder);
  live.Start();
  SendMessageW(live.window.Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({folder / L"c.txt", folder / L"missing.jww"})), 0);
  EXPECT_TRUE(live.platform.statusTexts.empty());
  EXPECT_EQ(live.StatusText(), "");
}

// Ways a close request reaches the window during a run, as queued messages.
enum class CloseRequest { CloseBox, CloseButtonClick, EscapeKey, EnterKey };

class CloseDuringRun : public ::testing::TestWithParam<CloseRequest> {};

TEST_P(CloseDuringRun, LeavesTheWindowOpenAndCancelsBeforeTheNextDrawing) {
  const auto folder = FreshFolder("close-during-run");
  for (const wchar_t* name : {L"a.jww", L"b.jww", L"c.jww"}) MakeDrawing(folder / name);
  LiveWindow live(folder);
  live.Start();
  HWND window = live.window.Handle();
  bool requested = false;
  live.platform.onProcessMessages = [&] {
    if (requested) return;
    requested = true;
    switch (GetParam()) {
      case CloseRequest::CloseBox:
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case CloseRequest::CloseButtonClick:
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(live.Control(kCloseButton)));
        break;
      case CloseRequest::EscapeKey:
      case CloseRequest::EnterKey: {
        const WPARAM key = GetParam() == CloseRequest::EscapeKey ? VK_ESCAPE : VK_RETURN;
        SetFocus(live.Control(kSeparatorEdit));
        PostMessageW(live.Control(kSeparatorEdit), WM_KEYDOWN, key, 1);
        PostMessageW(live.Control(kSeparatorEdit), WM_KEYUP, key, 0xC0000001);
        break;
      }
    }
  };
  SendMessageW(window, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww", folder / L"b.jww", folder / L"c.jww"})), 0);

  EXPECT_TRUE(live.window.IsOpen());
  EXPECT_EQ(live.StatusText(), kCancelled);
  const std::vector<std::string> expected = {kConverting + "1/3) " + Sjis((folder / L"a.jww").wstring()), kCancelled};
  EXPECT_EQ(live.platform.statusTexts, expected);
  EXPECT_EQ(SheetsOf(folder, L"a").size(), 6u);  // the drawing in progress is finished
  EXPECT_TRUE(SheetsOf(folder, L"b").empty());
  EXPECT_FALSE(std::filesystem::exists(folder / L"kelvane.dat"));

  // After the run a close request closes it, and the settings are written.
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(live.window.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(folder / L"kelvane.dat"));
}

INSTANTIATE_TEST_SUITE_P(Requests, CloseDuringRun,
                         ::testing::Values(CloseRequest::CloseBox, CloseRequest::CloseButtonClick, CloseRequest::EscapeKey,
                                           CloseRequest::EnterKey));

TEST(WindowRun, DropDuringARunDoesNotDisturbIt) {
  const auto folder = FreshFolder("drop-during-run");
  for (const wchar_t* name : {L"a.jww", L"b.jww", L"late.jww"}) MakeDrawing(folder / name);
  LiveWindow live(folder);
  live.Start();
  HWND window = live.window.Handle();
  bool dropped = false;
  live.platform.onProcessMessages = [&] {
    if (dropped) return;
    dropped = true;
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"late.jww"})), 0);
  };
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww", folder / L"b.jww"})), 0);

  const std::vector<std::string> expected = {kConverting + "1/2) " + Sjis((folder / L"a.jww").wstring()),
                                             kConverting + "2/2) " + Sjis((folder / L"b.jww").wstring()),
                                             kConverted + "2)"};
  EXPECT_EQ(live.platform.statusTexts, expected);
  EXPECT_EQ(SheetsOf(folder, L"b").size(), 6u);
  EXPECT_TRUE(SheetsOf(folder, L"late").empty());
}

TEST(WindowRun, EnterAndEscapeCloseTheIdleWindow) {
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    const auto folder = FreshFolder("keys");
    LiveWindow live(folder);
    live.Start();
    SetFocus(live.Control(kStartNumberEdit));
    MSG down{live.Control(kStartNumberEdit), WM_KEYDOWN, key, 1, 0, {}};
    DispatchWindowMessage(live.window.Handle(), down);
    EXPECT_FALSE(live.window.IsOpen()) << key;
    EXPECT_TRUE(std::filesystem::exists(folder / L"kelvane.dat")) << key;
  }
}

TEST(WindowSettings, OptionsRoundTripThroughTheSettingsFile) {
  const auto folder = FreshFolder("round-trip");
  const auto output = folder / L"出力";
  std::filesystem::create_directories(output);
  {
    LiveWindow live(folder);
    live.Start();
    live.Click(kOutputToGivenFolderRadio);
    live.SetText(kOutputFolderEdit, output.wstring());
    live.SetText(kSeparatorEdit, L"表-");
    SendMessageW(live.Control(kNamingPatternCombo), CB_SETCURSEL, 4, 0);
    live.Click(kLeadingZeroOn);
    live.SetText(kStartNumberEdit, L"12");
    live.Click(kNumberByColumns);
    live.Click(kDrawFrameCheck);
    live.SetText(kMarginEdit, L"2.5");
    live.Click(kCompactNumbersCheck);
    live.Click(kPrintAfterSplitCheck);
    live.Click(kConfirmSavedCheck);
    SetWindowPos(live.window.Handle(), nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    live.window.Close();
    EXPECT_FALSE(live.window.IsOpen());
  }
  const std::vector<std::string> expected = {"50", "60", "0", "0", "0", "1", Sjis(output.wstring()),
                                             Sjis(L"表-"), "4", "1", "12", "1", "1", "1", "2.5", "1", "1"};
  const std::string written = ReadFile(folder / L"kelvane.dat");
  EXPECT_EQ(Lines(written), expected);
  EXPECT_EQ(written.substr(written.size() - 2), "\r\n");

  LiveWindow again(folder);
  again.Start();
  EXPECT_FALSE(Checked(again, kOutputToDesktopRadio));
  EXPECT_FALSE(Checked(again, kOutputToDocumentsRadio));
  EXPECT_FALSE(Checked(again, kOutputToSourceFolderRadio));
  EXPECT_TRUE(Checked(again, kOutputToGivenFolderRadio));
  EXPECT_EQ(WindowText(again.Control(kOutputFolderEdit)), output.wstring());
  EXPECT_EQ(WindowText(again.Control(kSeparatorEdit)), L"表-");
  EXPECT_EQ(SendMessageW(again.Control(kNamingPatternCombo), CB_GETCURSEL, 0, 0), 4);
  EXPECT_TRUE(Checked(again, kLeadingZeroOn));
  EXPECT_FALSE(Checked(again, kLeadingZeroOff));
  EXPECT_EQ(WindowText(again.Control(kStartNumberEdit)), L"12");
  EXPECT_TRUE(Checked(again, kNumberByColumns));
  EXPECT_TRUE(Checked(again, kPrintAfterSplitCheck));
  EXPECT_TRUE(Checked(again, kDrawFrameCheck));
  EXPECT_TRUE(Checked(again, kCompactNumbersCheck));
  EXPECT_TRUE(Checked(again, kConfirmSavedCheck));
  EXPECT_EQ(WindowText(again.Control(kMarginEdit)), L"2.5");
  RECT r{};
  GetWindowRect(again.window.Handle(), &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 60);

  // A second closing replaces the file written by the first.
  again.SetText(kStartNumberEdit, L"7");
  again.window.Close();
  EXPECT_EQ(Lines(ReadFile(folder / L"kelvane.dat"))[10], "7");
}

TEST(WindowSettings, TheGivenFolderReceivesTheSheets) {
  const auto folder = FreshFolder("given-folder");
  const auto output = folder / L"出力";
  std::filesystem::create_directories(output);
  MakeDrawing(folder / L"a.jww");
  LiveWindow live(folder);
  live.Start();
  live.Click(kOutputToGivenFolderRadio);
  live.SetText(kOutputFolderEdit, output.wstring());  // without a trailing "\"
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  EXPECT_EQ(SheetsOf(output, L"a").size(), 6u);
  EXPECT_TRUE(SheetsOf(folder, L"a").empty());
}

TEST(WindowSettings, WrittenToTheUsersFolderWhenTheProgramsFolderRefuses) {
  const auto folder = FreshFolder("fallback");
  const auto missing = folder / L"not-there";  // the settings file cannot be made beside the program
  {
    LiveWindow live(missing, {}, folder / L"appdata");
    live.Start();
    live.Click(kCompactNumbersCheck);
    live.window.Close();
  }
  const auto user = folder / L"appdata" / L"Kelvane" / L"kelvane.dat";
  ASSERT_TRUE(std::filesystem::exists(user));
  EXPECT_EQ(Lines(ReadFile(user))[13], "1");

  // The next start reads them from there.
  LiveWindow again(missing, {}, folder / L"appdata");
  again.Start();
  EXPECT_TRUE(Checked(again, kCompactNumbersCheck));
}

struct SeparatorCase {
  const wchar_t* typed;
  const wchar_t* kept;  // what the separator box shows after the run
};

class SeparatorCheck : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(SeparatorCheck, AnInvalidSeparatorEmptiesTheSeparatorBox) {
  const auto folder = FreshFolder("separator");
  MakeDrawing(folder / L"a.jww");
  LiveWindow live(folder);
  live.Start();
  live.SetText(kSeparatorEdit, GetParam().typed);
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  EXPECT_EQ(WindowText(live.Control(kSeparatorEdit)), GetParam().kept);
  // The first sheet is named number, separator, source.
  EXPECT_TRUE(std::filesystem::exists(folder / (std::wstring(L"1") + GetParam().kept + L"a.jww")));
  live.window.Close();
  EXPECT_EQ(Lines(ReadFile(folder / L"kelvane.dat"))[7], Sjis(GetParam().kept));
}

INSTANTIATE_TEST_SUITE_P(Separators, SeparatorCheck,
                         ::testing::Values(SeparatorCase{L"a.b", L""}, SeparatorCase{L"x y", L""},
                                           SeparatorCase{L"a\\b", L""}, SeparatorCase{L"~", L""},
                                           SeparatorCase{L"-", L"-"}, SeparatorCase{L"", L""},
                                           // 表 is 0x95 0x5C: its second byte is no backslash
                                           SeparatorCase{L"表", L"表"}));

TEST(WindowSettings, InvalidSeparatorAtClosingIsSavedEmpty) {
  const auto folder = FreshFolder("separator-close");
  LiveWindow live(folder);
  live.Start();
  live.SetText(kSeparatorEdit, L"a/b");
  live.window.Close();
  EXPECT_EQ(Lines(ReadFile(folder / L"kelvane.dat"))[7], "");
}

struct NumberCase {
  const wchar_t* edit3;
  const wchar_t* edit3After;
  const wchar_t* edit4;
  const wchar_t* edit4After;
};

class NumberLimits : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberLimits, StartNumberAndMarginAreLimitedAndWrittenBack) {
  const auto folder = FreshFolder("numbers");
  MakeDrawing(folder / L"a.jww");
  LiveWindow live(folder);
  live.Start();
  live.SetText(kStartNumberEdit, GetParam().edit3);
  live.SetText(kMarginEdit, GetParam().edit4);
  SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
  EXPECT_EQ(WindowText(live.Control(kStartNumberEdit)), GetParam().edit3After);
  EXPECT_EQ(WindowText(live.Control(kMarginEdit)), GetParam().edit4After);
}

INSTANTIATE_TEST_SUITE_P(Values, NumberLimits,
                         ::testing::Values(NumberCase{L"abc", L"0", L"150", L"100"},
                                           NumberCase{L"9999", L"9999", L"-3", L"0"},
                                           NumberCase{L"-5", L"0", L"abc", L"0"},
                                           NumberCase{L"007", L"7", L"2.50", L"2.5"}));

TEST(WindowEdits, TypingStopsAtTheByteLimits) {
  const auto folder = FreshFolder("typing");
  LiveWindow live(folder);
  live.Start();
  live.SetText(kSeparatorEdit, L"");
  for (wchar_t c : std::wstring(L"表表表abc")) SendMessageW(live.Control(kSeparatorEdit), WM_CHAR, c, 1);
  EXPECT_EQ(WindowText(live.Control(kSeparatorEdit)), L"表表表ab");  // 8 bytes in Shift_JIS
  live.SetText(kStartNumberEdit, L"");
  for (wchar_t c : std::wstring(L"12345")) SendMessageW(live.Control(kStartNumberEdit), WM_CHAR, c, 1);
  EXPECT_EQ(WindowText(live.Control(kStartNumberEdit)), L"1234");
  live.SetText(kStartNumberEdit, L"");
  for (wchar_t c : std::wstring(L"１２３")) SendMessageW(live.Control(kStartNumberEdit), WM_CHAR, c, 1);
  EXPECT_EQ(WindowText(live.Control(kStartNumberEdit)), L"１２");  // two double-byte digits fill 4 bytes
}

TEST(WindowStart, HandOverConfirmationAnsweredNoConvertsNothingAndCloses) {
  const auto folder = FreshFolder("handover-no");
  const auto drawing = folder / L"図面" / L"plan.jww";
  std::filesystem::create_directories(drawing.parent_path());
  MakeDrawing(drawing);
  WriteFile(folder / L"JWC_TEMP.TXT", "[jw]\r\nfile=" + Sjis(drawing.wstring()) + "  \r\n");
  WriteFile(folder / L"kelvane.dat", "192\r\n107\r\n0\r\n0\r\n1\r\n0\r\n\r\n_\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n");

  std::wstring question, answerInfo;
  std::wstring yes, no, ok;
  LiveWindow live(folder, {L"/G"});
  DialogWatcher confirm(L"確認", [&](HWND box) {
    question = MessageBoxText(box);
    yes = WindowText(GetDlgItem(box, IDYES));
    no = WindowText(GetDlgItem(box, IDNO));
    DialogWatcher inform(L"情報", [&](HWND info) {
      answerInfo = MessageBoxText(info);
      ok = WindowText(GetDlgItem(info, IDOK));
      PressDialogButton(info, IDOK);
    });
    PressDialogButton(box, IDNO);
    inform.Join();
  });
  live.Start();
  ASSERT_TRUE(confirm.Join());

  const std::wstring head = L"上書き保存を行いましたか？\r\n　ファイル名：" + drawing.wstring() + L"\r\n　タイムスタンプ：";
  EXPECT_EQ(question.substr(0, head.size()), head);
  EXPECT_NE(question.find(L"\r\n　現在の日時 ："), std::wstring::npos);
  EXPECT_EQ(question.find(L"（ファイルが見つかりません）"), std::wstring::npos);
  EXPECT_EQ(yes, L"はい(&Y)");
  EXPECT_EQ(no, L"いいえ(&N)");
  EXPECT_EQ(answerInfo, L"実行を中止しました。");
  EXPECT_EQ(ok, L"OK");
  EXPECT_FALSE(live.window.IsOpen());
  EXPECT_TRUE(SheetsOf(drawing.parent_path(), L"plan").empty());
}

TEST(WindowStart, HandOverConfirmationAnsweredYesConvertsAndCloses) {
  const auto folder = FreshFolder("handover-yes");
  const auto drawing = folder / L"plan.jww";
  MakeDrawing(drawing);
  WriteFile(folder / L"JWC_TEMP.TXT", "file=" + Sjis(drawing.wstring()) + "\r\n");
  WriteFile(folder / L"kelvane.dat", "192\r\n107\r\n0\r\n0\r\n1\r\n0\r\n\r\n_\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n");
  LiveWindow live(folder, {L"/G"});
  DialogWatcher confirm(L"確認", [](HWND box) { PressDialogButton(box, IDYES); });
  live.Start();
  ASSERT_TRUE(confirm.Join());
  EXPECT_FALSE(live.window.IsOpen());
  EXPECT_EQ(SheetsOf(folder, L"plan").size(), 6u);
}

TEST(WindowStart, CommandLineDrawingsConvertAndTheWindowCloses) {
  const auto folder = FreshFolder("command-line");
  MakeDrawing(folder / L"a.jww");
  MakeDrawing(folder / L"b.jww");
  LiveWindow live(folder, {folder / L"a.jww", L"/G", folder / L"b.jww"});
  live.Start();
  EXPECT_FALSE(live.window.IsOpen());
  EXPECT_EQ(live.platform.statusTexts.back(), kConverted + "2)");
  EXPECT_EQ(SheetsOf(folder, L"b").size(), 6u);
  EXPECT_TRUE(std::filesystem::exists(folder / L"kelvane.dat"));
}

TEST(WindowStart, WithoutParametersNothingRunsAndTheWindowStaysOpen) {
  const auto folder = FreshFolder("no-parameters");
  LiveWindow live(folder);
  live.Start();
  EXPECT_TRUE(live.window.IsOpen());
  EXPECT_TRUE(live.platform.statusTexts.empty());
}

TEST(WindowFolderPicker, StartsInTheGivenFolderAndAnswersItWithABackslash) {
  const auto folder = FreshFolder("picker");
  const auto given = folder / L"given";
  std::filesystem::create_directories(given);
  LiveWindow live(folder);
  live.Start();
  for (const auto& [typed, expected] : {std::pair{given.wstring(), given.wstring() + L"\\"},
                                        std::pair{std::wstring(L""), folder.wstring() + L"\\"},
                                        std::pair{(folder / L"missing").wstring(), folder.wstring() + L"\\"}}) {
    live.SetText(kOutputFolderEdit, typed);
    DialogWatcher picker(L"保存先フォルダを指定", [](HWND dialog) { PressDialogButton(dialog, IDOK); });
    live.Click(kBrowseButton);
    ASSERT_TRUE(picker.Join());
    EXPECT_EQ(WindowText(live.Control(kOutputFolderEdit)), expected);
  }
  // Cancelling leaves the folder box as it was.
  live.SetText(kOutputFolderEdit, L"unchanged");
  DialogWatcher picker(L"保存先フォルダを指定", [](HWND dialog) { PressDialogButton(dialog, IDCANCEL); });
  live.Click(kBrowseButton);
  ASSERT_TRUE(picker.Join());
  EXPECT_EQ(WindowText(live.Control(kOutputFolderEdit)), L"unchanged");
  EXPECT_FALSE(Checked(live, kOutputToGivenFolderRadio));  // choosing a folder does not select it
}

TEST(WindowRun, ASecondRunReplacesTheSheetsOfTheFirst) {
  const auto folder = FreshFolder("second-run");
  MakeDrawing(folder / L"a.jww");
  LiveWindow live(folder);
  live.Start();
  for (int run = 0; run < 2; ++run) {
    SendMessageW(live.window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder / L"a.jww"})), 0);
    EXPECT_EQ(live.StatusText(), kConverted + "1)") << run;
  }
  EXPECT_EQ(SheetsOf(folder, L"a").size(), 6u);
}

}  // namespace
}  // namespace kelvane::test
