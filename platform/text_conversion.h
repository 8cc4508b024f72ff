// Text conversion between Shift_JIS (code page 932), UTF-8 and UTF-16, and between Shift_JIS and
// file names. The Unicode forms convert the same everywhere; Shift_JIS goes through the running
// system's own converter (iconv on POSIX, the code page API on Windows).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvane {

// What a Shift_JIS sequence the converter cannot read turns into. Both give one "?"; they differ
// in where reading resumes, and each caller keeps the result it has always had.
enum class UnreadableSjis {
  // The whole character is skipped: a lead byte takes the byte after it along.
  kSkipCharacter,
  // Only the first byte is skipped, and the converter is empty when the system has none; the
  // cairo backend converts font names and single glyphs this way.
  kSkipByte,
};

// Shift_JIS to UTF-8 and back. A character the other side cannot express becomes "?". On Windows
// the code page API decides about broken sequences and `unreadable` has no effect.
std::string SjisToUtf8(std::string_view sjis, UnreadableSjis unreadable = UnreadableSjis::kSkipCharacter);
std::string Utf8ToSjis(std::string_view utf8);

// Shift_JIS to a file name of the running system and back: UTF-8 bytes on POSIX, UTF-16 on
// Windows, so that a name outside code page 932 survives as long as it stays a path.
std::filesystem::path SjisToPath(std::string_view sjis);
std::string PathToSjis(const std::filesystem::path& path);

// UTF-16 to and from UTF-8, the same on every system. A lone surrogate, and any broken UTF-8
// sequence, becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);
std::u16string Utf8ToUtf16(std::string_view utf8);
// One code point (at most U+10FFFF, no surrogate) in UTF-8.
std::string CodePointToUtf8(char32_t code);

}  // namespace kelvane
