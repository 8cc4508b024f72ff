// The picture file formats, by file extension.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kelvane {

enum class PictureFormat { kPng, kSvg, kPdf };

// The format a file name asks for by its extension (any case); nothing for another extension.
inline std::optional<PictureFormat> PictureFormatFor(const std::filesystem::path& file) {
  std::string e = file.extension().string();
  for (char& c : e) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (e == ".png") return PictureFormat::kPng;
  if (e == ".svg") return PictureFormat::kSvg;
  if (e == ".pdf") return PictureFormat::kPdf;
  return std::nullopt;
}

inline const char* ExtensionOf(PictureFormat f) {
  return f == PictureFormat::kPng ? ".png" : f == PictureFormat::kSvg ? ".svg" : ".pdf";
}

inline constexpr int kMinDpi = 10;
inline constexpr int kMaxDpi = 1200;

}  // namespace kelvane
