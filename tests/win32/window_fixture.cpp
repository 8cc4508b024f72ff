// Helpers of the window tests: fresh folders, drawings, recording services, a live window, drops.
#include "tests/win32/window_fixture.h"

#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

#include "app/example.h"

namespace kelvane::test {

std::filesystem::path FreshFolder(const std::string& name) {
  static std::mt19937 random(GetCurrentProcessId());
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kelvane-test-" + name + "-" + std::to_string(random()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::vector<uint8_t> SolidBmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  const int stride = (w * 3 + 3) / 4 * 4;
  const uint32_t size = 54 + uint32_t(stride * h);
  std::vector<uint8_t> v(size, 0);
  auto put = [&](size_t at, uint32_t x, int bytes) {
    for (int k = 0; k < bytes; ++k) v[at + k] = uint8_t(x >> (8 * k));
  };
  v[0] = 'B', v[1] = 'M';
  put(2, size, 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(w), 4), put(22, uint32_t(h), 4);
  put(26, 1, 2), put(28, 24, 2);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) put(54 + size_t(y) * stride + size_t(x) * 3, uint32_t(b | g << 8 | r << 16), 3);
  return v;
}

void MakeDrawing(const std::filesystem::path& path) {
  if (!WriteExampleDrawing(path)) throw std::runtime_error("cannot write the example drawing");
}

std::vector<std::wstring> FilesStartingWith(const std::filesystem::path& folder, std::wstring_view prefix) {
  std::vector<std::wstring> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::wstring name = entry.path().filename().wstring();
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Sjis(std::wstring_view text) { return WideToSjis(text); }

void RecordingServices::SetStatusText(std::string_view text) {
  statusTexts.emplace_back(text);
  Win32Services::SetStatusText(text);
}

void RecordingServices::ProcessMessages() {
  ++processMessagesCalls;
  if (onProcessMessages) onProcessMessages();
  Win32Services::ProcessMessages();
}

LiveWindow::LiveWindow(const std::filesystem::path& folder, std::vector<std::filesystem::path> parameters,
                       std::filesystem::path appData)
    : exeFolder(folder), platform(std::move(parameters), folder / L"kelvane.exe"), window(platform) {
  // Settings that fall back to the user's folder stay inside this test's folder.
  if (appData.empty()) appData = folder / L"appdata";
  std::filesystem::create_directories(appData);
  SetEnvironmentVariableW(L"APPDATA", appData.c_str());
  if (!window.Create(GetModuleHandleW(nullptr))) throw std::runtime_error("cannot create the window");
}

LiveWindow::~LiveWindow() = default;

std::string LiveWindow::StatusText() const {
  HWND status = Control(kStatusBar);
  const LRESULT length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(size_t(length) + 1, L'\0');
  SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(length));
  return Sjis(text);
}

void LiveWindow::SetText(int id, std::wstring_view text) { SetWindowTextW(Control(id), std::wstring(text).c_str()); }

void LiveWindow::Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }

HDROP MakeDrop(const std::vector<std::filesystem::path>& files) {
  std::wstring list;
  for (const auto& f : files) {
    list += f.wstring();
    list.push_back(L'\0');
  }
  list.push_back(L'\0');
  const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::copy(list.begin(), list.end(), reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES)));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

namespace {

struct Search {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[32] = L"";
  GetClassNameW(window, cls, 32);
  if (std::wstring_view(cls) != L"#32770" || WindowText(window) != *search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

DialogWatcher::DialogWatcher(std::wstring caption, std::function<void(HWND)> action)
    : caption_(std::move(caption)), action_(std::move(action)) {
  thread_ = std::thread([this] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
      Search search{&caption_, nullptr};
      EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
      if (search.found) {
        Sleep(200);  // let the box finish setting itself up
        found_ = true;
        action_(search.found);
        return;
      }
      Sleep(50);
    }
  });
}

DialogWatcher::~DialogWatcher() {
  if (thread_.joinable()) thread_.join();
}

bool DialogWatcher::Join() {
  if (thread_.joinable()) thread_.join();
  return found_;
}

void PressDialogButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring MessageBoxText(HWND box) {
  // The message is the box's static text control.
  return WindowText(GetDlgItem(box, 0xFFFF));
}

}  // namespace kelvane::test
