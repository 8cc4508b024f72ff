// The drawing document: lifecycle, and the load and save drivers over the section readers.
#include "jww/jwwunit.h"

#include <fstream>
#include <random>
#include <system_error>

#include "jww/sections.h"
#include "text/Func_.h"

namespace kelvane {

void FillSlot(StringSlot& slot, const JwwString& s) {
  // The slot keeps whole characters up to 255 bytes; the full string stays beside the record.
  std::string bytes;
  if (s.unicode) {
    for (char16_t c : s.wide) {
      bytes.push_back(char(c & 0xFF));
      bytes.push_back(char(c >> 8));
    }
    if (bytes.size() > 254) bytes.resize(254);
  } else {
    bytes = s.sjis.size() > 255 ? MbcsCopy(s.sjis, 1, 255) : s.sjis;
  }
  slot.length = uint8_t(bytes.size());
  std::memcpy(slot.bytes, bytes.data(), bytes.size());
  std::memset(slot.bytes + bytes.size(), 0, sizeof slot.bytes - bytes.size());
}

void EntityLists::ClearEntities() {
  EntityOrder.clear();
  entityCount = 0;
  Lines.clear();
  Arcs.clear();
  Points.clear();
  Texts.clear();
  TextStrs.clear();
  Dimensions.clear();
  DimensionStrs.clear();
  Solids.clear();
  BlockInserts.clear();
}

TJwwData::TJwwData() { Clear(); }

TJwwData::~TJwwData() { Release(); }

void TJwwData::Clear() {
  Header = TEntJwwHeader{};
  LayerGroups.clear();
  Layers.clear();
  Pens.clear();
  LineTypes.clear();
  RandomLineTypes.clear();
  DoubleLineTypes.clear();
  ExtendedColors.clear();
  ExtendedLineTypes.clear();
  TextKinds.clear();
  ClearEntities();
  BlockDefs.clear();
  BlockTree.clear();
  UsedBlockDefCount = 0;
}

void TJwwData::Release() {
  // Give the memory back, not only the counts: the next drawing may be much smaller.
  EntityLists empty;
  static_cast<EntityLists&>(*this) = std::move(empty);
  std::vector<TEntJwwBlockDef>().swap(BlockDefs);
  Clear();
}

void TJwwData::SizeSettingsArrays() {
  LayerGroups.assign(16, {});
  Layers.assign(256, {});
  Pens.assign(10, {});
  LineTypes.assign(8, {});
  RandomLineTypes.assign(5, {});
  DoubleLineTypes.assign(4, {});
  ExtendedColors.assign(257, {});
  ExtendedLineTypes.assign(33, {});
  TextKinds.assign(10, {});
}

bool TJwwData::IsJwwFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  char sig[9] = {};
  if (!f.read(sig, 8)) return false;
  return std::string(sig) == "JwwData.";  // compared up to the first zero byte
}

namespace {

// Reads everything after the file is open; the result is the load's.
bool LoadFrom(ByteReader& in, TJwwData& doc) {
  bool supported = ReadHeader(in, doc);
  if (in.ok() && !supported) {
    doc.Diagnostics.bytesRead = in.pos();
    doc.Diagnostics.errorOffset = 8;
    doc.Diagnostics.reason = "version " + std::to_string(doc.Header.version) + " is not supported";
    return false;  // no post-load step for unsupported versions
  }
  if (in.ok()) ReadEntitySection(in, doc);
  doc.Diagnostics.bytesRead = in.pos();
  if (!in.ok()) {
    doc.Diagnostics.errorOffset = in.errorOffset();
    doc.Diagnostics.reason = in.error();
  }
  NormaliseBlocks(doc);
  return in.ok();
}

}  // namespace

bool TJwwData::LoadFromFile(const std::filesystem::path& path) {
  Clear();
  Diagnostics = JwwDiagnostics{};
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  std::ifstream f;
  if (!ec) f.open(path, std::ios::binary);
  if (ec || !f) {
    Diagnostics.reason = "cannot open the file";
    return false;
  }
  ByteReader in(f, size);
  return LoadFrom(in, *this);
}

bool TJwwData::LoadFromBytes(const uint8_t* data, size_t size) {
  Clear();
  Diagnostics = JwwDiagnostics{};
  ByteReader in(data, size);
  return LoadFrom(in, *this);
}

bool TJwwData::SaveToFile(const std::filesystem::path& path, int32_t version) {
  return Save(path, version, nullptr);
}

bool TJwwData::SaveSheet(const std::filesystem::path& path, int32_t version, const SheetView& sheet) {
  return Save(path, version, &sheet);
}

bool TJwwData::Save(const std::filesystem::path& path, int32_t version, const SheetView* sheet) {
  Header.signature = "JwwData.";
  Diagnostics.reason.clear();
  // Written beside the target and renamed over it at the end: a failed save never leaves a
  // partial file, and never destroys an earlier file of that name.
  static std::mt19937 names{std::random_device{}()};
  std::filesystem::path temp = path;
  temp += ".kelvane-" + std::to_string(names() % 1000000) + ".tmp";
  std::error_code ec;
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (!f) {
      Diagnostics.reason = "cannot create the file";
      return false;
    }
    ByteWriter out(f, Fault.failAfterBytes);
    WriteHeader(out, *this, version);
    WriteEntitySection(out, *this, version, sheet);
    out.flush();
    f.close();
    if (!out.ok() || f.fail()) {
      Diagnostics.reason = out.ok() ? "write failed" : out.error();
      Diagnostics.errorOffset = out.pos();
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    Diagnostics.reason = "cannot replace the file: " + ec.message();
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

void TJwwData::NormaliseBlocks() { kelvane::NormaliseBlocks(*this); }

int32_t TJwwData::MapBlockNumber(int32_t number) const {
  for (const TEntJwwBlockDef& d : BlockDefs)
    if (d.head.number == number) return d.used ? d.newNumber : number;
  return 0;
}

}  // namespace kelvane
