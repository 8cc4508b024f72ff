// The Windows services: code page 932 conversions, registry, folders, times, starting programs.
#include <chrono>
#include <fstream>

#include "app/session.h"
#include "tests/win32/window_fixture.h"

#include <gtest/gtest.h>

namespace kelvane::test {
namespace {

std::filesystem::path OwnFolder() {
  wchar_t self[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path();
}

TEST(Conversions, ShiftJisAndUtf16BothWaysOnAnySystemCodePage) {
  EXPECT_EQ(SjisToWide("\x95\x5C\x8E\xA6"), L"表示");
  EXPECT_EQ(WideToSjis(L"表示"), "\x95\x5C\x8E\xA6");
  EXPECT_EQ(SjisToWide("\xB1"), L"\uFF71");  // half-width katakana
  EXPECT_EQ(WideToSjis(L"\u3000"), "\x81\x40");
  EXPECT_EQ(WideToSjis(L"Kelvane\u3000Ver.1.7"), "Kelvane\x81\x40Ver.1.7");
  // No look-alikes: a character without a code becomes "?".
  EXPECT_EQ(WideToSjis(L"a\u00FCb"), "a?b");
  EXPECT_EQ(WideToSjis(L"\uD55C"), "?");
  EXPECT_EQ(SjisToUtf8("\x95\x5C"), "\xE8\xA1\xA8");
  EXPECT_EQ(Utf8ToSjis("\xE8\xA1\xA8"), "\x95\x5C");
  EXPECT_EQ(SjisToWide(""), L"");
  EXPECT_EQ(WideToSjis(L""), "");
}

TEST(Conversions, PathsKeepCharactersOutsideCodePage932) {
  const std::filesystem::path p = SjisToPath("C:\\\x90\x7D\x96\xCA\\a.jww");
  EXPECT_EQ(p.wstring(), L"C:\\図面\\a.jww");
  EXPECT_EQ(PathToSjis(p), "C:\\\x90\x7D\x96\xCA\\a.jww");
  EXPECT_EQ(PathToSjis(std::filesystem::path(L"C:\\\uD55C\\a.jww")), "C:\\?\\a.jww");

  Win32Services platform({}, L"C:\\k\\kelvane.exe");
  EXPECT_EQ(platform.ToPath("\x90\x7D\x96\xCA.jww").wstring(), L"図面.jww");
  EXPECT_EQ(platform.ToSjis(L"図面.jww"), "\x90\x7D\x96\xCA.jww");
}

TEST(Win32Services, GivenParametersAndExecutable) {
  Win32Services platform({L"a.jww", L"/G"}, L"C:\\Tools\\kelvane.exe");
  EXPECT_EQ(platform.ExecutablePath(), std::filesystem::path(L"C:\\Tools\\kelvane.exe"));
  ASSERT_EQ(platform.Parameters().size(), 2u);
  EXPECT_EQ(platform.Parameters()[1], std::filesystem::path(L"/G"));
}

TEST(Win32Services, OwnCommandLineAndExecutable) {
  Win32Services platform;
  EXPECT_EQ(platform.ExecutablePath().filename(), std::filesystem::path(L"kelvane_win32_tests.exe"));
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(args, nullptr);
  ASSERT_EQ(platform.Parameters().size(), size_t(count - 1));
  for (int i = 1; i < count; ++i) EXPECT_EQ(platform.Parameters()[size_t(i - 1)].wstring(), args[i]);
  LocalFree(args);
}

TEST(Win32Services, FilesAndFolders) {
  const auto folder = FreshFolder("files");
  WriteFile(folder / L"a.jww", "x");
  Win32Services platform;
  EXPECT_TRUE(platform.FileExists(folder / L"a.jww"));
  EXPECT_FALSE(platform.FileExists(folder));
  EXPECT_FALSE(platform.FileExists(folder / L"b.jww"));
  EXPECT_FALSE(platform.FileExists(L""));
  EXPECT_TRUE(platform.FolderExists(folder));
  EXPECT_FALSE(platform.FolderExists(folder / L"a.jww"));
  EXPECT_FALSE(platform.FolderExists(L""));
}

TEST(Win32Services, TimesInTheSystemsShortDateAndLongTimeFormats) {
  const auto folder = FreshFolder("times");
  WriteFile(folder / L"a.jww", "x");
  Win32Services platform;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t date[128], time[128];
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 128);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, 128);
  const std::string text = platform.NowText();
  // The date part is today's; the time part has the long format's length.
  EXPECT_EQ(text.substr(0, Sjis(date).size() + 1), Sjis(date) + " ");
  EXPECT_EQ(text.size(), Sjis(date).size() + 1 + Sjis(time).size());
  const std::optional<std::string> stamp = platform.FileTimeText(folder / L"a.jww");
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->substr(0, Sjis(date).size() + 1), Sjis(date) + " ");
  EXPECT_FALSE(platform.FileTimeText(folder / L"missing.jww"));
}

TEST(Win32Services, DesktopDocumentsAndUserSettingsFolders) {
  Win32Services platform;
  EXPECT_TRUE(platform.FolderExists(platform.DesktopFolder())) << platform.DesktopFolder();
  EXPECT_TRUE(platform.FolderExists(platform.DocumentsFolder())) << platform.DocumentsFolder();
  EXPECT_NE(platform.DesktopFolder(), platform.DocumentsFolder());
  SetEnvironmentVariableW(L"APPDATA", L"C:\\users\\someone\\AppData\\Roaming");
  EXPECT_EQ(platform.UserSettingsFolder(), std::filesystem::path(L"C:\\users\\someone\\AppData\\Roaming\\Kelvane"));
}

// A key of the tests' own under HKEY_CLASSES_ROOT.
class RegistryTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kKey = L"KelvaneTest.Document";
  void TearDown() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, kKey); }
  void SetDefault(const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kKey) + L"\\shell\\open\\command").c_str(), 0, nullptr,
                              0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
};

TEST_F(RegistryTest, DefaultValueOfTheOpenCommand) {
  SetDefault(L"C:\\JWW\\Jw_win.exe %1");
  Win32Services platform;
  const std::string value = platform.ClassesRootDefaultValue("KelvaneTest.Document\\shell\\open\\command");
  EXPECT_EQ(value, "C:\\JWW\\Jw_win.exe %1");
  EXPECT_EQ(HostExePathFrom(value), "\"C:\\JWW\\Jw_win.exe\"");
}

TEST_F(RegistryTest, JapaneseValueComesAsShiftJis) {
  SetDefault(L"D:\\図面\\Jw_win.exe \"%1\"");
  Win32Services platform;
  EXPECT_EQ(platform.ClassesRootDefaultValue("KelvaneTest.Document\\shell\\open\\command"),
            "D:\\\x90\x7D\x96\xCA\\Jw_win.exe \"%1\"");
}

TEST_F(RegistryTest, AMissingKeyGivesEmptyAndIsNotCreated) {
  Win32Services platform;
  EXPECT_EQ(platform.ClassesRootDefaultValue("KelvaneTest.Document\\shell\\open\\command"), "");
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"KelvaneTest.Document", 0, KEY_READ, &key), ERROR_SUCCESS);
  if (key) RegCloseKey(key);
}

TEST(Win32Services, StartProgramPassesTheParametersAndDoesNotWait) {
  const auto folder = FreshFolder("start");
  std::filesystem::copy_file(OwnFolder() / L"print_stub.exe", folder / L"print_stub.exe");
  Win32Services platform;
  // As the sheet driver calls it: the program in quotes, "/p" and the quoted sheet path.
  const std::string sheet = Sjis(L"C:\\出力 フォルダ\\1_plan.jww");
  platform.StartProgram("\"" + Sjis((folder / L"print_stub.exe").wstring()) + "\"", "/p \"" + sheet + "\"");
  const auto log = folder / L"print_stub.log";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(log) && std::chrono::steady_clock::now() < end) Sleep(50);
  ASSERT_TRUE(std::filesystem::exists(log));
  Sleep(200);
  EXPECT_EQ(ReadFile(log), "/p \"C:\\\xE5\x87\xBA\xE5\x8A\x9B \xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80\\1_plan.jww\"\n");
}

TEST(Win32Services, PrintingPassesTheWholePathInWideText) {
  const auto folder = FreshFolder("print");
  std::filesystem::copy_file(OwnFolder() / L"print_stub.exe", folder / L"print_stub.exe");
  Win32Services platform;
  // A folder outside code page 932 would lose its name in Shift_JIS.
  platform.PrintWithHost("\"" + Sjis((folder / L"print_stub.exe").wstring()) + "\"", L"C:\\한국\\a.jww");
  const auto log = folder / L"print_stub.log";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(log) && std::chrono::steady_clock::now() < end) Sleep(50);
  ASSERT_TRUE(std::filesystem::exists(log));
  Sleep(200);
  EXPECT_EQ(ReadFile(log), "/p \"C:\\\xED\x95\x9C\xEA\xB5\xAD\\a.jww\"\n");
}

TEST(Win32Services, IdentityIgnoresTheCaseOfANameAndTellsFilesApart) {
  const auto folder = FreshFolder("identity");
  std::ofstream(folder / L"1f.jww") << "a";
  std::ofstream(folder / L"other.jww") << "b";
  Win32Services platform;
  const auto id = platform.IdentityOf(folder / L"1f.jww");
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(platform.IdentityOf(folder / L"1F.JWW"), id);
  EXPECT_NE(platform.IdentityOf(folder / L"other.jww"), id);
  EXPECT_FALSE(platform.IdentityOf(folder / L"missing.jww").has_value());
  EXPECT_TRUE(platform.NamesIgnoreCase());
}

TEST(Win32Services, StartingAMissingProgramIsIgnored) {
  Win32Services platform;
  platform.StartProgram("\"C:\\no\\such\\Jw_win.exe\"", "/p \"C:\\a.jww\"");
  platform.StartProgram("", "");
  SUCCEED();
}

TEST(Win32Services, EscapeIsUpWhenNobodyPressesIt) {
  Win32Services platform;
  EXPECT_FALSE(platform.StopRequested());
}

}  // namespace
}  // namespace kelvane::test
