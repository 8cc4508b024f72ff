// Shift_JIS conversion on Windows, through the code page API; file names are UTF-16.
#include "platform/win32/wide_text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kelvane {

namespace {

constexpr UINT kSjis = 932;

std::wstring Widen(UINT codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string Narrow(UINT codePage, std::wstring_view text) {
  if (text.empty()) return std::string();
  // No best-fit mapping: a character without its own code becomes "?", never a look-alike.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  int n = WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), nullptr, 0, fallback, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), out.data(), n, fallback, nullptr);
  return out;
}

}  // namespace

std::wstring SjisToWide(std::string_view sjis) { return Widen(kSjis, sjis); }
std::string WideToSjis(std::wstring_view wide) { return Narrow(kSjis, wide); }

// The code page API has one way with broken sequences; there is no cairo backend on Windows to
// ask for the other.
std::string SjisToUtf8(std::string_view sjis, UnreadableSjis) { return Narrow(CP_UTF8, Widen(kSjis, sjis)); }
std::string Utf8ToSjis(std::string_view utf8) { return Narrow(kSjis, Widen(CP_UTF8, utf8)); }
std::filesystem::path SjisToPath(std::string_view sjis) { return std::filesystem::path(SjisToWide(sjis)); }
std::string PathToSjis(const std::filesystem::path& path) { return WideToSjis(path.native()); }

}  // namespace kelvane
