// The window's layout read back from the live window: frame, controls, fonts, items and tab order.
#include "tests/win32/window_fixture.h"

#include <gtest/gtest.h>

#include <map>

namespace kelvane::test {
namespace {

constexpr int kLabel = -1;  // a label's size follows its text

struct Expected {
  int id;
  const char* name;
  const wchar_t* windowClass;
  LONG buttonType;  // BS_* for buttons, -1 otherwise
  const wchar_t* text;
  int x, y, width, height;
};

// The controls as the window is designed: class, caption (or initial text), position within
// the client area, size.
const Expected kTable[] = {
    {kOutputGroup, "outputGroup", L"Button", BS_GROUPBOX, L"保存先(&S)", 0, 0, 465, 65},
    {kOutputToDesktopRadio, "outputToDesktopButton", L"Button", BS_AUTORADIOBUTTON, L"デスクトップ", 8, 16, 129, 17},
    {kOutputToDocumentsRadio, "outputToDocumentsButton", L"Button", BS_AUTORADIOBUTTON, L"マイドキュメント", 144, 16, 145, 17},
    {kOutputToSourceFolderRadio, "outputToSourceFolderButton", L"Button", BS_AUTORADIOBUTTON, L"元ファイルのフォルダ", 288, 16, 169, 17},
    {kOutputToGivenFolderRadio, "outputToGivenFolderButton", L"Button", BS_AUTORADIOBUTTON, L"指定フォルダ", 8, 40, 113, 17},
    {kOutputFolderEdit, "outputFolderEdit", L"Edit", -1, L"", 120, 36, 305, 21},
    {kBrowseButton, "browseButton", L"Button", BS_PUSHBUTTON, L"参照", 424, 36, 35, 22},
    {kNamingPatternLabel, "namingPatternLabel", L"Static", -1, L"ファイル名：", 8, 72, kLabel, kLabel},
    {kNamingPatternCombo, "namingPatternList", L"ComboBox", -1, L"数値＋区切り文字＋元ファイル名", 96, 68, 385, 21},
    {kSeparatorLabel, "separatorLabel", L"Static", -1, L"ファイル名と数値の区切り文字：", 8, 100, kLabel, kLabel},
    {kSeparatorEdit, "separatorEdit", L"Edit", -1, L"_", 216, 96, 73, 21},
    {kForbiddenCharsLabel, "forbiddenCharsLabel", L"Static", -1, L"※,.\\/ []|'\"+*?<>~", 304, 96, kLabel, kLabel},
    {kForbiddenCharsNote, "forbiddenCharsNote", L"Static", -1, L"の文字は使えません", 320, 112, kLabel, kLabel},
    {kLeadingZeroGroup, "leadingZeroGroup", L"Button", BS_GROUPBOX, L"数値が１桁の場合", 0, 120, 289, 40},
    {kStartNumberLabel, "startNumberLabel", L"Static", -1, L"数値の開始番号：", 296, 140, kLabel, kLabel},
    {kStartNumberEdit, "startNumberEdit", L"Edit", -1, L"0", 408, 136, 57, 21},
    {kNumberingDirectionGroup, "numberingDirectionGroup", L"Button", BS_GROUPBOX, L"用紙枠の番号付け方向", 0, 160, 289, 40},
    {kDrawFrameCheck, "drawFrameCheck", L"Button", BS_AUTOCHECKBOX, L"[F-F]レイヤに補助線枠を作図", 8, 204, 217, 17},
    {kMarginLabel, "marginLabel", L"Static", -1, L"マージン間隔：", 296, 204, kLabel, kLabel},
    {kMarginUnitLabel, "marginUnitLabel", L"Static", -1, L"mm", 468, 204, kLabel, kLabel},
    {kMarginEdit, "marginEdit", L"Edit", -1, L"0", 408, 200, 57, 21},
    {kCompactNumbersCheck, "compactNumbersCheck", L"Button", BS_AUTOCHECKBOX, L"用紙枠内が空（空図面）の番号を詰める", 8, 224, 457, 17},
    {kPrintAfterSplitCheck, "printAfterSplitCheck", L"Button", BS_AUTOCHECKBOX,
     L"バラした後にJw_cadで印刷（※通常使うプリンタの設定で印刷）", 8, 244, 457, 17},
    {kConfirmSavedCheck, "confirmSavedCheck", L"Button", BS_AUTOCHECKBOX, L"実行直前に上書き保存の確認メッセージを表示する", 8, 264,
     457, 17},
    {kFrameRuleLabel, "frameRuleLabel", L"Static", -1, L"作図する用紙枠は、補助線色・倍長線種４・線幅200固定とします。", 8, 284,
     kLabel, kLabel},
    {kCloseButton, "closeButton", L"Button", BS_DEFPUSHBUTTON, L"ＯＫ（閉じる）", 168, 304, 145, 25},
    {kStatusBar, "statusBar", L"msctls_statusbar32", -1, L"", 0, 333, 484, 19},
};

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = FreshFolder("layout");
    live_ = std::make_unique<LiveWindow>(folder_);
    live_->Start();
  }
  void TearDown() override { live_.reset(); }

  RECT ClientRect(HWND control) const {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, live_->window.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  std::filesystem::path folder_;
  std::unique_ptr<LiveWindow> live_;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

LOGFONTW FontOf(HWND window) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (handle) GetObjectW(handle, sizeof font, &font);
  return font;
}

TEST_F(LayoutTest, WindowFrameCaptionAndApplicationTitle) {
  HWND window = live_->window.Handle();
  EXPECT_EQ(WindowText(window), L"Kelvane\u3000Ver.1.7");
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right - client.left, 484);
  EXPECT_EQ(client.bottom - client.top, 352);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);  // fixed single border
  EXPECT_TRUE(IsWindowVisible(window));
  // The application's window carries the title on the task bar and owns the main window.
  HWND application = GetWindow(window, GW_OWNER);
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application, live_->window.ApplicationWindow());
  EXPECT_EQ(WindowText(application), L"Kelvane");
  // Without a settings file the window keeps its design position.
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, 192);
  EXPECT_EQ(outer.top, 107);
}

TEST_F(LayoutTest, EveryControlHasItsClassCaptionAndRectangle) {
  for (const Expected& e : kTable) {
    SCOPED_TRACE(e.name);
    HWND control = live_->Control(e.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), live_->window.Handle());
    EXPECT_TRUE(IsWindowVisible(control));
    EXPECT_EQ(ClassOf(control), e.windowClass);
    EXPECT_EQ(WindowText(control), e.text);
    // Every text is a Shift_JIS text: it converts to code page 932 and back unchanged.
    EXPECT_EQ(SjisToWide(Sjis(e.text)), e.text);
    if (e.buttonType >= 0) {
      EXPECT_EQ(GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK, e.buttonType);
    }
    const RECT r = ClientRect(control);
    EXPECT_EQ(r.left, e.x);
    EXPECT_EQ(r.top, e.y);
    if (e.width != kLabel) {
      EXPECT_EQ(r.right - r.left, e.width);
      EXPECT_EQ(r.bottom - r.top, e.height);
    } else {
      EXPECT_GT(r.right - r.left, 0);
      EXPECT_GT(r.bottom - r.top, 0);
    }
  }
}

TEST_F(LayoutTest, FontsAreMsGothicThirteenAndTheBrowseButtonEleven) {
  for (const Expected& e : kTable) {
    SCOPED_TRACE(e.name);
    const LOGFONTW font = FontOf(live_->Control(e.id));
    EXPECT_STREQ(font.lfFaceName, L"ＭＳ ゴシック");
    EXPECT_EQ(font.lfHeight, e.id == kBrowseButton ? -11 : -13);
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
  }
}

TEST_F(LayoutTest, JapaneseCaptionsRenderInMsGothic) {
  HDC dc = GetDC(live_->window.Handle());
  for (const Expected& e : kTable) {
    SCOPED_TRACE(e.name);
    const std::wstring text = WindowText(live_->Control(e.id));
    if (text.empty()) continue;
    auto font = reinterpret_cast<HFONT>(SendMessageW(live_->Control(e.id), WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    // The face is found under its own name (on Wine through the font substitutes), not merely
    // replaced by whatever font has the characters.
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    EXPECT_STREQ(face, L"ＭＳ ゴシック");
    std::vector<WORD> glyphs(text.size());
    ASSERT_NE(GetGlyphIndicesW(dc, text.c_str(), int(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS),
              GDI_ERROR);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'&') continue;  // the accelerator mark is not drawn
      EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for U+" << std::hex << unsigned(text[i]);
    }
    SelectObject(dc, old);
  }
  ReleaseDC(live_->window.Handle(), dc);
}

TEST_F(LayoutTest, RadioGroupsHoldTheirTwoItemsInTwoColumns) {
  struct Group {
    int group, first, second;
    const wchar_t *firstText, *secondText;
  };
  const Group groups[] = {{kLeadingZeroGroup, kLeadingZeroOff, kLeadingZeroOn, L"前に0を付けない", L"前に0を付ける"},
                          {kNumberingDirectionGroup, kNumberByRows, kNumberByColumns, L"左方向→下", L"下方向→左"}};
  for (const Group& g : groups) {
    const RECT box = ClientRect(live_->Control(g.group));
    const RECT a = ClientRect(live_->Control(g.first));
    const RECT b = ClientRect(live_->Control(g.second));
    EXPECT_EQ(WindowText(live_->Control(g.first)), g.firstText);
    EXPECT_EQ(WindowText(live_->Control(g.second)), g.secondText);
    EXPECT_EQ(GetWindowLongPtrW(live_->Control(g.first), GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    EXPECT_EQ(GetWindowLongPtrW(live_->Control(g.second), GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    for (const RECT& item : {a, b}) {
      EXPECT_GE(item.left, box.left);
      EXPECT_LE(item.right, box.right);
      EXPECT_GT(item.top, box.top);
      EXPECT_LE(item.bottom, box.bottom);
    }
    EXPECT_EQ(a.top, b.top);
    EXPECT_GE(b.left, a.right);
  }
  // Index 0 of both groups is selected at the start.
  EXPECT_EQ(SendMessageW(live_->Control(kLeadingZeroOff), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(live_->Control(kNumberByRows), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(LayoutTest, ComboBoxIsADropDownListOfTheSevenPatterns) {
  HWND combo = live_->Control(kNamingPatternCombo);
  EXPECT_EQ(GetWindowLongPtrW(combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  const wchar_t* const items[] = {
      L"数値＋区切り文字＋元ファイル名",
      L"元ファイル名＋区切り文字＋数値",
      L"元ファイル名＋区切り文字＋補助文字ファイル名",
      L"数値＋区切＋元ファイル名＋区切＋補助文字ファイル名",
      L"元ファイル名＋区切＋数値＋区切＋補助文字ファイル名",
      L"補助文字ファイル名",
      L"数値＋区切り文字＋補助文字ファイル名",
  };
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 7);
  for (int i = 0; i < 7; ++i) {
    wchar_t text[128] = L"";
    SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, items[i]);
  }
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(LayoutTest, EditLimitsAndInputMethodOff) {
  EXPECT_EQ(SendMessageW(live_->Control(kSeparatorEdit), EM_GETLIMITTEXT, 0, 0), 8);
  EXPECT_EQ(SendMessageW(live_->Control(kStartNumberEdit), EM_GETLIMITTEXT, 0, 0), 4);
  for (int id : {kStartNumberEdit, kMarginEdit}) {
    HIMC context = ImmGetContext(live_->Control(id));
    EXPECT_EQ(context, nullptr) << id;
    if (context) ImmReleaseContext(live_->Control(id), context);
  }
}

TEST_F(LayoutTest, StatusBarIsOneSimpleTextAndStartsEmpty) {
  HWND status = live_->Control(kStatusBar);
  EXPECT_TRUE(SendMessageW(status, SB_ISSIMPLE, 0, 0));
  EXPECT_EQ(live_->StatusText(), "");
}

TEST_F(LayoutTest, CloseButtonIsTheDefaultButton) {
  HWND button = live_->Control(kCloseButton);
  EXPECT_EQ(GetDlgCtrlID(button), IDOK);  // Enter presses it
  EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(LayoutTest, TabOrder) {
  // The controls a tab stop belongs to: the group boxes stand for what they hold.
  const std::map<int, std::string> owner = {
      {kOutputToDesktopRadio, "outputGroup"}, {kOutputToDocumentsRadio, "outputGroup"},      {kOutputToSourceFolderRadio, "outputGroup"},
      {kOutputToGivenFolderRadio, "outputGroup"}, {kOutputFolderEdit, "outputGroup"},             {kBrowseButton, "outputGroup"},
      {kNamingPatternCombo, "namingPatternList"},    {kSeparatorEdit, "separatorEdit"},                 {kLeadingZeroOff, "leadingZeroGroup"},
      {kLeadingZeroOn, "leadingZeroGroup"}, {kStartNumberEdit, "startNumberEdit"},           {kNumberByRows, "numberingDirectionGroup"},
      {kNumberByColumns, "numberingDirectionGroup"}, {kDrawFrameCheck, "drawFrameCheck"},   {kMarginEdit, "marginEdit"},
      {kCompactNumbersCheck, "compactNumbersCheck"},    {kPrintAfterSplitCheck, "printAfterSplitCheck"},         {kConfirmSavedCheck, "confirmSavedCheck"},
      {kCloseButton, "closeButton"},
  };
  HWND window = live_->window.Handle();
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  ASSERT_NE(first, nullptr);
  // The output-folder group is entered at its selected button.
  EXPECT_EQ(GetDlgCtrlID(first), kOutputToSourceFolderRadio);
  std::vector<std::string> order;
  HWND at = first;
  for (int step = 0; step < 40; ++step) {
    auto it = owner.find(GetDlgCtrlID(at));
    std::string name = it == owner.end() ? "id " + std::to_string(GetDlgCtrlID(at)) : it->second;
    if (order.empty() || order.back() != name) order.push_back(name);
    at = GetNextDlgTabItem(window, at, FALSE);
    if (at == first) break;
  }
  const std::vector<std::string> expected = {"outputGroup", "namingPatternList", "separatorEdit",     "leadingZeroGroup",
                                             "startNumberEdit",     "numberingDirectionGroup", "drawFrameCheck", "marginEdit",
                                             "compactNumbersCheck", "printAfterSplitCheck", "confirmSavedCheck", "closeButton"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(at, first);  // after the close button the order starts again
}

TEST_F(LayoutTest, SelectingAnotherRadioButtonMovesItsTabStop) {
  live_->Click(kOutputToDesktopRadio);
  EXPECT_EQ(SendMessageW(live_->Control(kOutputToSourceFolderRadio), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(live_->window.Handle(), nullptr, FALSE)), kOutputToDesktopRadio);
}

}  // namespace
}  // namespace kelvane::test
