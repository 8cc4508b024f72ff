// A stand-in for Jw_cad in the printing tests: appends its parameters to print_stub.log beside it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The parameters exactly as passed: everything after the program name and its blank.
  std::wstring line = GetCommandLineW();
  size_t p = 0;
  if (!line.empty() && line[0] == L'"') {
    p = line.find(L'"', 1);
    p = p == std::wstring::npos ? line.size() : p + 1;
  } else {
    while (p < line.size() && line[p] != L' ' && line[p] != L'\t') ++p;
  }
  while (p < line.size() && (line[p] == L' ' || line[p] == L'\t')) ++p;
  std::wstring parameters = line.substr(p);

  wchar_t self[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring log = self;
  log = log.substr(0, log.find_last_of(L'\\') + 1) + L"print_stub.log";

  int n = WideCharToMultiByte(CP_UTF8, 0, parameters.data(), int(parameters.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, parameters.data(), int(parameters.size()), utf8.data(), n, nullptr, nullptr);
  utf8 += "\n";
  // One appending write per start: several stubs may run at once.
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8.data(), DWORD(utf8.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
