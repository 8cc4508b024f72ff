// The services of the app layer on Windows: files, shell folders, registry, message boxes,
// drops, printing.
#include "app/services/win32/win32_services.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/messages.h"

namespace kelvane {

namespace {

std::string LocalTimeText(const SYSTEMTIME& t) {
  wchar_t date[128] = L"", time[128] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, 128);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, 128);  // 0: the long time format
  return WideToSjis(std::wstring(date) + L" " + time);
}

std::filesystem::path SpecialFolder(HWND owner, int id) {
  PIDLIST_ABSOLUTE list = nullptr;
  std::filesystem::path folder;
  if (SUCCEEDED(SHGetSpecialFolderLocation(owner, id, &list)) && list) {
    wchar_t buffer[MAX_PATH + 1] = L"";
    if (SHGetPathFromIDListW(list, buffer)) folder = buffer;
    CoTaskMemFree(list);
  }
  return folder;
}

// The message boxes show the button texts of the Japanese system on every system.
HHOOK g_buttonHook = nullptr;

LRESULT CALLBACK ButtonTextHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = L"";
    GetClassNameW(box, cls, 16);
    if (std::wstring_view(cls) == L"#32770") {
      SetDlgItemTextW(box, IDYES, kYesButton);
      SetDlgItemTextW(box, IDNO, kNoButton);
      SetDlgItemTextW(box, IDOK, kOkButton);
    }
  }
  return CallNextHookEx(g_buttonHook, code, wParam, lParam);
}

int MessageBoxJapanese(HWND owner, std::string_view sjisText, const wchar_t* caption, UINT type) {
  g_buttonHook = SetWindowsHookExW(WH_CBT, ButtonTextHook, nullptr, GetCurrentThreadId());
  int answer = MessageBoxW(owner, SjisToWide(sjisText).c_str(), caption, type);
  if (g_buttonHook) UnhookWindowsHookEx(g_buttonHook);
  g_buttonHook = nullptr;
  return answer;
}

std::wstring TrimQuotes(std::wstring s) {
  while (!s.empty() && s.front() == L'"') s.erase(0, 1);
  while (!s.empty() && s.back() == L'"') s.pop_back();
  return s;
}

DWORD Attributes(const std::filesystem::path& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
}

}  // namespace

Win32Services::Win32Services() {
  int count = 0;
  if (LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) parameters_.emplace_back(args[i]);
    LocalFree(args);
  }
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) break;
    if (n < buffer.size()) {
      executable_ = buffer.substr(0, n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
}

Win32Services::Win32Services(std::vector<std::filesystem::path> parameters, std::filesystem::path executable)
    : parameters_(std::move(parameters)), executable_(std::move(executable)) {}

void Win32Services::AttachWindow(HWND mainWindow, HWND statusBar) {
  mainWindow_ = mainWindow;
  statusBar_ = statusBar;
}

std::filesystem::path Win32Services::ExecutablePath() const { return executable_; }
std::vector<std::filesystem::path> Win32Services::Parameters() const { return parameters_; }

bool Win32Services::TakePreviewSwitch(std::filesystem::path& drawing) {
  for (size_t i = 0; i < parameters_.size(); ++i) {
    if (CompareStringOrdinal(parameters_[i].c_str(), -1, L"/preview", -1, TRUE) != CSTR_EQUAL) continue;
    drawing = i + 1 < parameters_.size() ? parameters_[i + 1] : std::filesystem::path();
    parameters_.erase(parameters_.begin() + ptrdiff_t(i), parameters_.begin() + ptrdiff_t(std::min(i + 2, parameters_.size())));
    return true;
  }
  return false;
}

bool Win32Services::TakeSwitch(std::wstring_view name) {
  const std::wstring wanted(name);
  const auto matches = [&](const std::filesystem::path& p) {
    return CompareStringOrdinal(p.c_str(), -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL;
  };
  const size_t before = parameters_.size();
  std::erase_if(parameters_, matches);
  return parameters_.size() != before;
}

bool Win32Services::FileExists(const std::filesystem::path& path) const {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Services::FolderExists(const std::filesystem::path& path) const {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> Win32Services::FileTimeText(const std::filesystem::path& path) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  SYSTEMTIME utc{}, local{};
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::nullopt;
  return LocalTimeText(local);
}

std::string Win32Services::NowText() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalTimeText(now);
}

std::filesystem::path Win32Services::DesktopFolder() const { return SpecialFolder(mainWindow_, CSIDL_DESKTOPDIRECTORY); }
std::filesystem::path Win32Services::DocumentsFolder() const { return SpecialFolder(mainWindow_, CSIDL_PERSONAL); }

std::filesystem::path Win32Services::UserSettingsFolder() const {
  std::wstring appData(32768, L'\0');
  DWORD n = GetEnvironmentVariableW(L"APPDATA", appData.data(), DWORD(appData.size()));
  if (n > 0 && n < appData.size()) {
    appData.resize(n);
  } else {
    wchar_t buffer[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    appData = buffer;
  }
  return std::filesystem::path(appData) / L"Kelvane";
}

std::string Win32Services::ClassesRootDefaultValue(std::string_view key) const {
  HKEY handle = nullptr;
  // Opened for reading only: a missing key stays missing.
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, SjisToWide(key).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return std::string();
  std::string result;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(handle, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = DWORD(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) ==
        ERROR_SUCCESS) {
      value.resize(bytes / sizeof(wchar_t));
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      result = WideToSjis(value);
    }
  }
  RegCloseKey(handle);
  return result;
}

bool Win32Services::ConfirmYesNo(std::string_view sjisText) {
  return MessageBoxJapanese(mainWindow_, sjisText, kConfirmTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32Services::Inform(std::string_view sjisText) {
  MessageBoxJapanese(mainWindow_, sjisText, kInformTitle, MB_OK | MB_ICONINFORMATION);
}

std::optional<std::filesystem::path> Win32Services::ChooseFolder(const std::filesystem::path& start) {
  // A save dialog with a placeholder file name serves as the folder chooser; the placeholder
  // carries the start folder, which the dialog then opens in on every Windows version.
  std::wstring initial = (start / L"\u3000").native();
  std::vector<wchar_t> file(std::max<size_t>(initial.size() + 1, 32768), L'\0');
  std::copy(initial.begin(), initial.end(), file.begin());
  const std::wstring folder = start.native();
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = mainWindow_;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = DWORD(file.size());
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = kChooseFolderTitle;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn)) return std::nullopt;
  std::wstring chosen(file.data());
  if (ofn.nFileOffset > 0 && ofn.nFileOffset <= chosen.size()) chosen.resize(ofn.nFileOffset);
  return std::filesystem::path(chosen).parent_path() / L"";
}

void Win32Services::AcceptDroppedFiles() {
  if (mainWindow_) DragAcceptFiles(mainWindow_, TRUE);
}

bool Win32Services::StopRequested() { return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0; }

void Win32Services::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));  // for the loop that owns it
      break;
    }
    DispatchWindowMessage(mainWindow_, msg);
  }
}

void Win32Services::SetStatusText(std::string_view sjisText) {
  if (!statusBar_) return;
  SendMessageW(statusBar_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(SjisToWide(sjisText).c_str()));
  UpdateWindow(statusBar_);
}

void Win32Services::StartProgram(std::string_view sjisProgram, std::string_view sjisParameters) {
  const std::filesystem::path program = TrimQuotes(SjisToWide(sjisProgram));
  if (program.empty()) return;
  // Jw_cad runs in its own folder, as when started from its icon.
  const std::wstring folder = program.parent_path().native();
  ShellExecuteW(mainWindow_, L"open", program.c_str(), SjisToWide(sjisParameters).c_str(),
                folder.empty() ? nullptr : folder.c_str(), SW_SHOW);
}

void Win32Services::PrintWithHost(std::string_view sjisProgram, const std::filesystem::path& absoluteFile) {
  const std::filesystem::path program = TrimQuotes(SjisToWide(sjisProgram));
  if (program.empty()) return;
  // Wide all the way: a folder outside code page 932 keeps its name.
  const std::wstring parameters = L"/p \"" + absoluteFile.wstring() + L"\"";
  const std::wstring folder = program.parent_path().native();
  ShellExecuteW(mainWindow_, L"open", program.c_str(), parameters.c_str(), folder.empty() ? nullptr : folder.c_str(),
                SW_SHOW);
}

void Win32Services::PrintSheet(const SheetToPrint& sheet) { PrintWithHost(sheet.hostExePath, sheet.absoluteFile); }

std::optional<FileIdentity> Win32Services::IdentityOf(const std::filesystem::path& path) const {
  return FileIdentityOf(path);
}

std::filesystem::path Win32Services::ToPath(std::string_view sjis) const { return SjisToPath(sjis); }
std::string Win32Services::ToSjis(const std::filesystem::path& path) const { return PathToSjis(path); }

void DispatchWindowMessage(HWND mainWindow, MSG& msg) {
  if (mainWindow && IsWindow(mainWindow) && IsDialogMessageW(mainWindow, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace kelvane
