// Image bytes: this is the one place that knows where a loaded drawing keeps its embedded images.
#include "drawing/image_source.h"

#include <fstream>
#include <iterator>
#include <new>
#include <system_error>

#include "jww/images.h"

namespace kelvane {

namespace {

const char16_t kTempPrefix[] = u"%temp%";

std::u16string Units(const JwwString& s) {
  if (s.unicode) return s.wide;
  std::u16string t;
  for (unsigned char c : s.sjis) t.push_back(char16_t(c < 0x80 ? c : 0xF700 + c));  // non-ASCII kept distinct
  return t;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

std::u16string UpperUnits(const std::u16string& u) {
  std::u16string t = u;
  for (char16_t& c : t) c = Upper(c);
  return t;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool HasLoneSurrogate(const std::u16string& u) {
  for (size_t i = 0; i < u.size(); ++i) {
    if (u[i] >= 0xD800 && u[i] <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      ++i;
    } else if (u[i] >= 0xD800 && u[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// Only a regular file of a bounded size is read: a device or FIFO named by a drawing would
// never end, or never begin.
ImageProblem ReadImageFile(const std::filesystem::path& p, std::vector<uint8_t>& out) {
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(p, ec);
  if (ec || !std::filesystem::exists(st)) return ImageProblem::kMissing;
  if (!std::filesystem::is_regular_file(st)) return ImageProblem::kNotAFile;
  const uintmax_t size = std::filesystem::file_size(p, ec);
  if (ec || size == 0) return ImageProblem::kMissing;
  if (size > kMaxImageFileBytes) return ImageProblem::kNotAFile;
  std::ifstream f(p, std::ios::binary);
  if (!f) return ImageProblem::kMissing;
  out.resize(size_t(size));
  f.read(reinterpret_cast<char*>(out.data()), std::streamsize(size));
  out.resize(size_t(f.gcount()));
  return out.empty() ? ImageProblem::kMissing : ImageProblem::kNone;
}

std::vector<uint8_t> EmbeddedBytes(const EmbeddedImages& images, const std::u16string& name, ImageProblem& problem) {
  const int32_t k = images.FindStored(UpperUnits(name));
  if (k < 0) {
    problem = ImageProblem::kMissing;
    return {};
  }
  return std::vector<uint8_t>(images.Bytes(size_t(k)), images.Bytes(size_t(k)) + images[size_t(k)].size);
}

// A file: only names this portable code can turn into a path (Unicode, or ASCII Shift_JIS).
std::vector<uint8_t> FileBytes(const JwwString& source, const std::filesystem::path& drawingFolder,
                               ImageProblem& problem) {
  std::filesystem::path p;
  if (source.unicode) {
    if (HasLoneSurrogate(source.wide)) {
      problem = ImageProblem::kUnnamable;
      return {};
    }
    p = std::filesystem::path(source.wide);
  } else {
    for (unsigned char c : source.sjis)
      if (c >= 0x80) {
        problem = ImageProblem::kUnnamable;
        return {};
      }
    p = std::filesystem::path(source.sjis);
  }
  std::vector<uint8_t> bytes;
  problem = ImageProblem::kMissing;
  if (p.is_absolute()) problem = ReadImageFile(p, bytes);
  if (problem != ImageProblem::kNone && !drawingFolder.empty()) {
    const ImageProblem beside = ReadImageFile(drawingFolder / p.filename(), bytes);
    // The reason of the name as stored is kept unless the file beside the drawing says more.
    if (beside == ImageProblem::kNone || problem == ImageProblem::kMissing) problem = beside;
  }
  return bytes;
}

}  // namespace

uint32_t ImagesLeftOut::Total() const {
  uint32_t n = 0;
  for (uint32_t c : count) n += c;
  return n;
}

std::string ImagesLeftOutWarning(const ImagesLeftOut& leftOut) {
  static const char* const kReasons[] = {
      "",
      "a file name that cannot be a path",
      "not found or not readable",
      "not a regular file or larger than 256 MB",
      "not a BMP, JPEG or PNG image",
      "more pixels than one picture may decode",
      "shown at a size that cannot be drawn",
  };
  static_assert(std::size(kReasons) == size_t(ImageProblem::kCount));
  const uint32_t total = leftOut.Total();
  if (total == 0) return {};
  std::string s = std::to_string(total) + (total == 1 ? " image" : " images") + " left out (";
  bool first = true;
  for (size_t k = 1; k < size_t(ImageProblem::kCount); ++k) {
    if (leftOut.count[k] == 0) continue;
    s += (first ? "" : ", ") + std::to_string(leftOut.count[k]) + " " + kReasons[k];
    first = false;
  }
  return s + ")";
}

std::filesystem::path DrawingFolder(const std::filesystem::path& drawing) {
  const std::filesystem::path folder = drawing.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

bool IsGzipName(const JwwString& source) {
  const std::u16string u = Units(source);
  return u.size() >= 3 && SameName(u.substr(u.size() - 3), u".GZ");
}

std::vector<uint8_t> ImageBytesFor(const EmbeddedImages& images, const JwwString& source,
                                   const std::filesystem::path& drawingFolder, ImageProblem* problem) {
  ImageProblem why = ImageProblem::kNone;
  std::vector<uint8_t> bytes;
  try {
    const std::u16string u = Units(source);
    const std::u16string prefix(kTempPrefix);
    if (u.size() > prefix.size() && SameName(u.substr(0, prefix.size()), prefix))
      bytes = EmbeddedBytes(images, u.substr(prefix.size()), why);
    else
      bytes = FileBytes(source, drawingFolder, why);
  } catch (const std::bad_alloc&) {
    bytes.clear();
    why = ImageProblem::kMissing;
  } catch (const std::exception&) {
    // A name the file system layer cannot take: this image is left out, not the picture.
    bytes.clear();
    why = ImageProblem::kUnnamable;
  }
  if (problem) *problem = bytes.empty() && why == ImageProblem::kNone ? ImageProblem::kMissing : why;
  return bytes;
}

}  // namespace kelvane
