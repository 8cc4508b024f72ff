// Prints the rows of the list view with the given control id in another process's window (by
// caption), one line per row, cells separated by tabs, in UTF-8. The texts are read with the
// list-view messages through memory placed in that process.
// Usage: list_rows.exe CAPTION CONTROL_ID
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  std::string out(size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HWND window = nullptr, list = nullptr;
  for (int i = 0; i < 120 && !list; ++i) {  // up to a minute for the window and its first row
    window = FindWindowW(nullptr, argv[1]);
    HWND candidate = window ? GetDlgItem(window, _wtoi(argv[2])) : nullptr;
    if (candidate && SendMessageW(candidate, LVM_GETITEMCOUNT, 0, 0) > 0) list = candidate;
    else Sleep(500);
  }
  if (!list) {
    std::fprintf(stderr, "no list with rows in a window \"%s\"\n", Utf8(argv[1]).c_str());
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return 1;
  constexpr int kChars = 1024;
  auto* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
  auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
  const int rows = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int r = 0; r < rows; ++r) {
    std::string line;
    for (int c = 0; c < columns; ++c) {
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = remoteText;
      item.cchTextMax = kChars;
      WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
      const int n = int(SendMessageW(list, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(remote)));
      std::wstring text(size_t(std::max(0, std::min(n, kChars))), L'\0');
      ReadProcessMemory(process, remoteText, text.data(), text.size() * sizeof(wchar_t), nullptr);
      if (c > 0) line += '\t';
      line += Utf8(text);
    }
    std::printf("%s\n", line.c_str());
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return 0;
}
