// Image references as IMAGE entities: an embedded image goes into a file beside the DXF and is
// named relatively, a linked one keeps its path.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "drawing/image_source.h"
#include "drawing/text_layout.h"
#include "dxf/dxf_context.h"
#include "platform/text_conversion.h"

namespace kelvane {

namespace {

uint32_t BigEndian(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The JPEG frame header's size: the first SOFn marker's height and width.
bool JpegSize(const std::vector<uint8_t>& b, int& w, int& h) {
  for (size_t p = 2; p + 9 < b.size();) {
    if (b[p] != 0xFF) return false;
    const uint8_t m = b[p + 1];
    const size_t length = size_t(b[p + 2]) << 8 | b[p + 3];
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      h = int(b[p + 5]) << 8 | b[p + 6];
      w = int(b[p + 7]) << 8 | b[p + 8];
      return w > 0 && h > 0;
    }
    p += 2 + length;
  }
  return false;
}

// The file an embedded image becomes beside the DXF, once per image; nothing when it has no bytes.
const DxfImageFile* EmbeddedFile(DxfContext& c, int32_t index, const JwwString& source) {
  if (auto found = c.embeddedFiles.find(index); found != c.embeddedFiles.end()) return &c.imageFiles[found->second];
  const EmbeddedImages& images = c.doc.images;
  if (index < 0 || !images.HasBytes(size_t(index))) return nullptr;
  const uint8_t* bytes = images.Bytes(size_t(index));
  const std::vector<uint8_t> stored(bytes, bytes + images[size_t(index)].size);
  DxfImageFile file;
  const std::string base = c.options.imageBaseName + "-" + std::to_string(c.imageFiles.size() + 1);
  if (c.options.toPng && c.options.toPng(stored, IsGzipName(source), file.bytes)) {
    file.name = base + ".png";
  } else {
    // As stored, under the stored name's extension.
    const JwwString& name = images[size_t(index)].name;
    std::string ext;
    for (size_t p = name.size(); p-- > 0;) {
      const uint32_t ch = name.unicode ? name.wide[p] : uint8_t(name.sjis[p]);
      if (ch == '.') break;
      if (ch >= 0x80 || ext.size() > 8) {
        ext = "bin";
        break;
      }
      ext.insert(ext.begin(), char(ch));
    }
    file.name = base + "." + (ext.empty() ? "bin" : ext);
    file.bytes = stored;
  }
  c.embeddedFiles[index] = c.imageFiles.size();
  c.imageFiles.push_back(std::move(file));
  return &c.imageFiles.back();
}

// The embedded image a text stands for, when it stands for one with bytes; -1 otherwise.
int32_t EmbeddedImageOf(const JwwDocument& doc, const TextRecord& t, const TextStrings& strings, bool& gzipped) {
  if (IsSettingsText(t) || strings.text.empty() || CharAt(strings.text, 0).code != '^') return -1;
  ImageReference ref;
  if (!ParseImageReference(strings.text, ref)) return -1;
  const std::u16string name = ReferencedImageName(strings.text);
  if (name.empty()) return -1;
  const int32_t index = doc.images.FindReferenced(name);
  if (index < 0 || !doc.images.HasBytes(size_t(index))) return -1;
  gzipped = IsGzipName(ref.source);
  return index;
}

}  // namespace

void CollectDxfEmbeddedImages(const JwwDocument& doc, const EntityLists& l, const std::vector<EntityRef>& order,
                              size_t count, std::vector<std::pair<int32_t, bool>>& found) {
  count = std::min(count, order.size());
  for (size_t k = 0; k < count; ++k) {
    const size_t i = size_t(order[k].index);
    const TextRecord* t = nullptr;
    const TextStrings* strings = nullptr;
    if (order[k].kind == kText && i < l.texts.size() && i < l.textStrings.size())
      t = &l.texts[i], strings = &l.textStrings[i];
    else if (order[k].kind == kDimension && i < l.dimensions.size() && i < l.dimensionStrings.size())
      t = &l.dimensions[i].text, strings = &l.dimensionStrings[i];
    if (!t) continue;
    bool gzipped = false;
    const int32_t index = EmbeddedImageOf(doc, *t, *strings, gzipped);
    if (index < 0) continue;
    if (std::none_of(found.begin(), found.end(), [&](const auto& f) { return f.first == index; }))
      found.emplace_back(index, gzipped);
  }
}


bool ImagePixelSize(const std::vector<uint8_t>& b, int& w, int& h) {
  if (b.size() >= 24 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
    w = int(BigEndian(b, 16)), h = int(BigEndian(b, 20));
    return w > 0 && h > 0;
  }
  if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M') {
    auto le = [&](size_t at) { return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24); };
    w = le(18), h = std::abs(le(22));
    return w > 0 && h > 0;
  }
  if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8) return JpegSize(b, w, h);
  return false;
}

void WriteDxfImage(DxfContext& c, const TextRecord& t, const JwwString& text, const ImageReference& ref,
                   const DxfPlacement& p) {
  DxfContext::ImageDef def;
  int w = 0, h = 0;
  const std::u16string embeddedName = ReferencedImageName(text);
  if (!embeddedName.empty()) {
    const int32_t index = c.doc.images.FindReferenced(embeddedName);
    if (const auto* planned = c.options.plannedImages) {
      // Named and made by the caller, who writes the file.
      const auto found = planned->find(index);
      def.path = c.sink.Encode(found != planned->end() ? found->second.name : ref.source);
      if (found != planned->end() && found->second.bytes) ImagePixelSize(*found->second.bytes, w, h);
    } else {
      const DxfImageFile* file = EmbeddedFile(c, index, ref.source);
      def.path = file ? c.sink.Encode(JwwString::Sjis(file->name)) : c.sink.Encode(ref.source);
      if (file) ImagePixelSize(file->bytes, w, h);
    }
  } else {
    // A name relative to the drawing is made absolute: the DXF may be written elsewhere.
    const std::string utf8 = ref.source.unicode ? Utf16ToUtf8(ref.source.wide) : SjisToUtf8(ref.source.sjis);
    const bool relative = !utf8.empty() && utf8.find(':') == std::string::npos && utf8[0] != '\\' && utf8[0] != '/';
    if (relative && !c.options.drawingFolder.empty()) {
      const std::u8string full = (c.options.drawingFolder / std::u8string(utf8.begin(), utf8.end())).lexically_normal().u8string();
      def.path = c.sink.EncodeUtf8(std::string(full.begin(), full.end()));
    } else
      def.path = c.sink.Encode(ref.source);
    ImagePixelSize(ImageBytesFor(c.doc.images, ref.source, c.options.drawingFolder), w, h);
  }
  if (w <= 0 || h <= 0) {
    // A size the reader corrects when it opens the file; the proportions are the drawing's.
    w = 1000;
    h = ref.width > 0 && ref.height > 0 ? std::max(1, int(std::lround(1000 * ref.height / ref.width))) : 1000;
  }
  def.pixelsX = w, def.pixelsY = h;
  const double k = ScaleFor(c, p, t.attr);
  const Xy o = At(p, k, t.startX, t.startY);
  const double a = ref.angle * std::numbers::pi / 180, ca = std::cos(a), sa = std::sin(a);
  const double across = ref.width * k / w, up = ref.height * k / h;
  DxfSink& s = c.sink;
  Head(c, "IMAGE", t.attr, p, false, k);
  def.image = s.NextHandle() - 1;
  def.handle = s.NewHandle();
  def.reactor = s.NewHandle();
  s.Str(100, "AcDbRasterImage");
  s.Int(90, 0);
  s.Flat(10, o.x, o.y);
  s.Flat(11, across * ca, across * sa);
  s.Flat(12, -up * sa, up * ca);
  s.Real(13, double(w)), s.Real(23, double(h));
  s.Hex(340, def.handle);
  s.Int(70, 7);
  s.Int(280, 0), s.Int(281, 50), s.Int(282, 50), s.Int(283, 0);
  s.Hex(360, def.reactor);
  s.Int(71, 1);
  s.Int(91, 2);
  s.Real(14, -0.5), s.Real(24, -0.5);
  s.Real(14, w - 0.5), s.Real(24, h - 0.5);
  c.imageDefs.push_back(std::move(def));
}

}  // namespace kelvane
