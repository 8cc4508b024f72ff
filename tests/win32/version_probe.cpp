// Prints what Windows sees of a kelvane.exe from outside: the strings of its version resource,
// whether it carries an icon and, given the running window's caption, the first line of the
// about box its system menu opens (the box is closed again). One KEY=VALUE line each, UTF-8.
// Usage: version_probe.exe EXE [CAPTION]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT kAboutMenuCommand = 0x0120;  // as app/win32/main_window.h

std::string Utf8(const std::wstring& text) {
  std::string out(size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
  return out;
}

void PrintVersionStrings(const wchar_t* exe) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(exe, &ignored));
  if (data.empty() || !GetFileVersionInfoW(exe, 0, DWORD(data.size()), data.data())) return;
  struct Translation { WORD language, codePage; }* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof *translation)
    return;
  for (const wchar_t* key : {L"FileVersion", L"ProductVersion", L"ProductName", L"LegalCopyright"}) {
    wchar_t path[96];
    swprintf(path, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->codePage, key);
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &size) && value)
      std::printf("%s=%s\n", Utf8(key).c_str(), Utf8(value).c_str());
  }
}

BOOL CALLBACK FoundIcon(HMODULE, LPCWSTR, LPWSTR, LONG_PTR found) {
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

struct Search {
  DWORD process;
  HWND box = nullptr;
};

BOOL CALLBACK FindAboutBox(HWND window, LPARAM search) {
  auto* s = reinterpret_cast<Search*>(search);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t cls[16] = L"", caption[32] = L"";
  GetClassNameW(window, cls, 16);
  GetWindowTextW(window, caption, 32);
  if (process != s->process || std::wstring(cls) != L"#32770" || std::wstring(caption) != L"バージョン情報") return TRUE;
  s->box = window;
  return FALSE;
}

// Opens the about box of the window with the caption, prints its first line and closes it.
bool PrintAboutBox(const wchar_t* caption) {
  HWND window = nullptr;
  for (int i = 0; i < 120 && !window; ++i)  // up to a minute for the program to start
    if (!(window = FindWindowW(nullptr, caption))) Sleep(500);
  if (!window) return false;
  Search search{};
  GetWindowThreadProcessId(window, &search.process);
  PostMessageW(window, WM_SYSCOMMAND, kAboutMenuCommand, 0);
  for (int i = 0; i < 60 && !search.box; ++i) {
    EnumWindows(FindAboutBox, reinterpret_cast<LPARAM>(&search));
    if (!search.box) Sleep(500);
  }
  if (!search.box) return false;
  wchar_t text[1024] = L"";
  GetDlgItemTextW(search.box, 0xFFFF, text, 1024);  // a message box's text
  std::wstring all(text);
  std::printf("about=%s\n", Utf8(all.substr(0, all.find(L'\n'))).c_str());
  PostMessageW(search.box, WM_COMMAND, IDOK, 0);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  PrintVersionStrings(argv[1]);
  bool icon = false;
  if (HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    EnumResourceNamesW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, FoundIcon, reinterpret_cast<LONG_PTR>(&icon));
    FreeLibrary(module);
  }
  std::printf("icon=%s\n", icon ? "yes" : "no");
  return argc < 3 || PrintAboutBox(argv[2]) ? 0 : 1;
}
