// The image section: embedded images out to temporary files on read, and back in on write.
#include "jww/images.h"

#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "jww/sections.h"

namespace kelvane {

std::vector<ImageEntry> ImageList;

namespace {

constexpr size_t kCopyBlock = 2048;

class PrivateFolder {
 public:
  const std::filesystem::path& get() {
    if (!path_.empty()) return path_;
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = std::filesystem::current_path(ec);
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path p = base / ("kelvane-" + std::to_string(rd()) + std::to_string(rd() % 10000));
      // create_directory fails when it exists, so two processes never share a folder.
      if (std::filesystem::create_directory(p, ec) && !ec) {
        path_ = p;
        break;
      }
    }
    return path_;
  }
  ~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_;
};

PrivateFolder g_folder;
uint64_t g_nextImage = 0;

const char kTempPrefixSjis[] = "^@BM%temp%";

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

// A string as UTF-16 units for comparing names. Shift_JIS bytes are widened one by one (bytes
// above 0x7F into a private range), which keeps the ASCII marker, comma and letters as they are
// and every other byte distinct from ASCII. Letters are upper-cased byte-wise, as names of
// image files compare regardless of case.
std::u16string Widened(const JwwString& s) {
  std::u16string t;
  if (s.unicode) {
    t = s.wide;
  } else {
    t.reserve(s.sjis.size());
    for (unsigned char c : s.sjis) t.push_back(char16_t(c < 0x80 ? c : 0xF700 + c));
  }
  return t;
}

// The name of an image reference text, upper-cased; empty when the text is none.
std::u16string ReferencedName(const JwwString& text) {
  const std::u16string t = Widened(text);
  if (t.size() <= 10) return {};
  for (size_t i = 0; i < 10; ++i)
    if (t[i] != char16_t(kTempPrefixSjis[i])) return {};
  size_t comma = t.find(u',', 10);
  if (comma == std::u16string::npos) return {};
  std::u16string name = t.substr(10, comma - 10);
  for (char16_t& c : name) c = AsciiUpper(c);
  return name;
}

std::u16string UpperName(const JwwString& name) {
  std::u16string t = Widened(name);
  for (char16_t& c : t) c = AsciiUpper(c);
  return t;
}

void MarkReferences(const EntityLists& lists, const std::vector<EntityRef>& order,
                    const std::vector<std::u16string>& upperNames, int32_t limit) {
  for (int32_t i = 0; i < limit && i < int32_t(order.size()); ++i) {
    const EntityRef& e = order[i];
    if (e.kind != kText) continue;
    std::u16string name = ReferencedName(lists.textStrings[size_t(e.index)].text);
    if (name.empty()) continue;
    for (size_t k = 0; k < ImageList.size(); ++k) {
      if (upperNames[k].compare(0, name.size(), name) == 0 && upperNames[k].size() >= name.size()) {
        ImageList[k].referenced = true;
        break;
      }
    }
  }
}

}  // namespace

const std::filesystem::path& ImageFolder() { return g_folder.get(); }

void ClearImageList() { ImageList.clear(); }

void DeleteTemporaryImages() {
  for (const ImageEntry& e : ImageList) {
    if (e.tempPath.empty()) continue;
    std::error_code ec;
    std::filesystem::remove(e.tempPath, ec);
  }
}

void ReadImageSection(ByteReader& in, JwwDocument& doc) {
  DeleteTemporaryImages();
  ClearImageList();
  int32_t count = in.i32();
  if (!in.ok() || count <= 0) return;
  // Each entry takes at least a length byte and a size.
  ImageList.reserve(size_t(std::min<uint64_t>(uint64_t(count), in.remaining() / 5)));
  std::vector<uint8_t> block(kCopyBlock);
  for (int32_t i = 0; i < count && in.ok(); ++i) {
    ImageEntry entry;
    entry.name = ReadText(in, doc.diagnostics);
    entry.size = in.i32();
    if (!in.ok()) break;
    if (entry.size < 0) {
      in.fail("negative image size");
      break;
    }
    if (uint64_t(entry.size) > in.remaining()) {
      in.fail("image longer than the rest of the file");
      break;
    }
    if (entry.name.empty() || entry.size == 0) {
      ImageList.push_back(std::move(entry));
      continue;
    }
    const std::filesystem::path& folder = ImageFolder();
    std::filesystem::path path = folder / ("image" + std::to_string(g_nextImage++) + ".bin");
    std::ofstream file;
    if (!folder.empty()) file.open(path, std::ios::binary | std::ios::trunc);
    uint64_t left = uint64_t(entry.size);
    while (left > 0 && in.ok()) {
      size_t step = size_t(std::min<uint64_t>(left, kCopyBlock));
      in.bytes(block.data(), step);
      if (file.is_open()) file.write(reinterpret_cast<const char*>(block.data()), std::streamsize(step));
      left -= step;
    }
    bool written = file.is_open() && file.good();
    if (file.is_open()) file.close();
    written = written && !file.fail() && in.ok();
    if (written) {
      entry.tempPath = path;
    } else {
      // A temporary file that could not be made whole is removed, so it is never embedded.
      std::error_code ec;
      std::filesystem::remove(path, ec);
    }
    ImageList.push_back(std::move(entry));
  }
}

void WriteImageSection(ByteWriter& out, const JwwDocument& doc, const SheetView* sheet) {
  for (ImageEntry& e : ImageList) e.referenced = false;
  std::vector<std::u16string> upperNames;
  upperNames.reserve(ImageList.size());
  for (const ImageEntry& e : ImageList) upperNames.push_back(UpperName(e.name));
  if (sheet)
    MarkReferences(doc, sheet->order, upperNames, int32_t(sheet->order.size()));
  else
    MarkReferences(doc, doc.order, upperNames, doc.entityCount);
  for (const BlockDefinition& d : doc.blockDefs)
    MarkReferences(d.entities, d.entities.order, upperNames, d.entities.entityCount);

  // Open every marked file before counting it, so that the count matches what follows.
  struct Open {
    const ImageEntry* entry;
    std::ifstream file;
    uint64_t size;
  };
  std::vector<Open> open;
  for (ImageEntry& e : ImageList) {
    if (!e.referenced) continue;
    std::error_code ec;
    uint64_t size = e.tempPath.empty() ? 0 : std::filesystem::file_size(e.tempPath, ec);
    std::ifstream f;
    if (!e.tempPath.empty() && !ec) f.open(e.tempPath, std::ios::binary);
    if (!f.is_open() || size > 0x7FFFFFFF) {
      e.referenced = false;
      continue;
    }
    open.push_back({&e, std::move(f), size});
  }
  out.i32(int32_t(open.size()));
  std::vector<char> block(kCopyBlock);
  for (Open& o : open) {
    out.WriteCString(o.entry->name);
    out.i32(int32_t(o.size));
    uint64_t left = o.size;
    while (left > 0 && out.ok()) {
      size_t step = size_t(std::min<uint64_t>(left, kCopyBlock));
      if (!o.file.read(block.data(), std::streamsize(step))) {
        // The size is already written: a short image would corrupt the file, so the save fails.
        out.fail("image file could not be read");
        return;
      }
      out.bytes(block.data(), step);
      left -= step;
    }
  }
}

}  // namespace kelvane
