// The about box of the system menu: the item, and the version and licence the box shows.
#include "tests/win32/window_fixture.h"

#include <gtest/gtest.h>

namespace kelvane::test {
namespace {

TEST(About, SystemMenuItemShowsTheVersionAndTheLicence) {
  const auto folder = FreshFolder("about");
  LiveWindow live(folder);
  live.Start();
  HWND window = live.window.Handle();
  wchar_t item[64] = L"";
  GetMenuStringW(GetSystemMenu(window, FALSE), kAboutMenuCommand, item, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(item), L"バージョン情報(&A)...");

  std::wstring text;
  DialogWatcher about(L"バージョン情報", [&](HWND box) {
    text = MessageBoxText(box);
    PressDialogButton(box, IDOK);
  });
  SendMessageW(window, WM_SYSCOMMAND, kAboutMenuCommand, 0);  // returns once the box is closed
  ASSERT_TRUE(about.Join());
  EXPECT_EQ(text, AboutText());
  EXPECT_EQ(text.substr(0, text.find(L'\n')), L"Kelvane " KELVANE_VERSION);
  EXPECT_NE(text.find(L"MIT License"), std::wstring::npos);
  EXPECT_TRUE(live.window.IsOpen());
}

}  // namespace
}  // namespace kelvane::test
