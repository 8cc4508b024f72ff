// The drawing document: lifecycle, and the load and save drivers over the section readers.
#include "jww/document.h"

#include <fstream>
#include <system_error>

#include "platform/replacing_file.h"
#include "jww/sections.h"

namespace kelvane {

void EntityLists::ClearEntities() {
  order.clear();
  entityCount = 0;
  lines.clear();
  arcs.clear();
  points.clear();
  texts.clear();
  textStrings.clear();
  dimensions.clear();
  dimensionStrings.clear();
  solids.clear();
  blockInserts.clear();
}

JwwDocument::JwwDocument() { Clear(); }

JwwDocument::~JwwDocument() { Release(); }

void JwwDocument::Clear() {
  header = JwwHeader{};
  layerGroups.clear();
  layers.clear();
  pens.clear();
  lineTypes.clear();
  randomLineTypes.clear();
  doubleLineTypes.clear();
  extendedColors.clear();
  extendedLineTypes.clear();
  textKinds.clear();
  ClearEntities();
  blockDefs.clear();
  blockTree.clear();
  usedBlockDefCount = 0;
  images.Clear();
}

void JwwDocument::Release() {
  // Give the memory back, not only the counts: the next drawing may be much smaller.
  EntityLists empty;
  static_cast<EntityLists&>(*this) = std::move(empty);
  std::vector<BlockDefinition>().swap(blockDefs);
  Clear();
}

void JwwDocument::SizeSettingsArrays() {
  layerGroups.assign(16, {});
  layers.assign(256, {});
  pens.assign(10, {});
  lineTypes.assign(8, {});
  randomLineTypes.assign(5, {});
  doubleLineTypes.assign(4, {});
  extendedColors.assign(257, {});
  extendedLineTypes.assign(33, {});
  textKinds.assign(10, {});
}

bool JwwDocument::IsJwwFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  char sig[9] = {};
  if (!f.read(sig, 8)) return false;
  return std::string(sig) == "JwwData.";  // compared up to the first zero byte
}

namespace {

// Reads everything after the file is open; the result is the load's.
bool LoadFrom(ByteReader& in, JwwDocument& doc) {
  bool supported = ReadHeader(in, doc);
  if (in.ok() && !supported) {
    doc.diagnostics.bytesRead = in.pos();
    doc.diagnostics.errorOffset = 8;
    doc.diagnostics.reason = "version " + std::to_string(doc.header.version) + " is not supported";
    return false;  // no post-load step for unsupported versions
  }
  if (in.ok()) ReadEntitySection(in, doc);
  doc.diagnostics.bytesRead = in.pos();
  if (!in.ok()) {
    doc.diagnostics.errorOffset = in.errorOffset();
    doc.diagnostics.reason = in.error();
  }
  NormaliseBlocks(doc);
  return in.ok();
}

}  // namespace

bool JwwDocument::LoadFromFile(const std::filesystem::path& path) {
  Clear();
  diagnostics = JwwDiagnostics{};
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  std::ifstream f;
  if (!ec) f.open(path, std::ios::binary);
  if (ec || !f) {
    diagnostics.reason = "cannot open the file";
    return false;
  }
  ByteReader in(f, size);
  return LoadFrom(in, *this);
}

bool JwwDocument::LoadFromBytes(const uint8_t* data, size_t size) {
  Clear();
  diagnostics = JwwDiagnostics{};
  ByteReader in(data, size);
  return LoadFrom(in, *this);
}

bool JwwDocument::SaveToFile(const std::filesystem::path& path, int32_t version) {
  return Save(path, version, nullptr);
}

bool JwwDocument::SaveSheet(const std::filesystem::path& path, int32_t version, const SheetView& sheet) {
  return Save(path, version, &sheet);
}

bool JwwDocument::Save(const std::filesystem::path& path, int32_t version, const SheetView* sheet) {
  header.signature = "JwwData.";
  diagnostics.reason.clear();
  // Written beside the target and moved over it at the end: a failed save never leaves a
  // partial file, and never destroys an earlier file of that name.
  ReplacingFile file(path);
  if (!file.ok()) {
    diagnostics.reason = file.error();
    return false;
  }
  {
    ByteWriter out(file.stream());
    WriteHeader(out, *this, version);
    WriteEntitySection(out, *this, version, sheet);
    out.flush();
    if (!out.ok()) {
      diagnostics.reason = out.error().empty() ? "write failed" : out.error();
      diagnostics.errorOffset = out.pos();
      return false;  // the temporary file goes with `file`
    }
  }
  if (!file.Commit()) {
    diagnostics.reason = file.error();
    return false;
  }
  return true;
}

void JwwDocument::NormaliseBlocks() { kelvane::NormaliseBlocks(*this); }

int32_t JwwDocument::MapBlockNumber(int32_t number) const {
  for (const BlockDefinition& d : blockDefs)
    if (d.head.number == number) return d.used ? d.newNumber : number;
  return 0;
}

}  // namespace kelvane
