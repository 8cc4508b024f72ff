// Display lists as bytes for the page.
#include "app/web/display_list_bytes.h"

#include <cstring>
#include <unordered_map>

#include "platform/text_conversion.h"

namespace kelvane {

namespace {

class Writer {
 public:
  std::string out;
  void B(uint8_t v) { out.push_back(char(v)); }
  void U(uint32_t v) { Raw(&v, 4); }
  void F(float v) { Raw(&v, 4); }
  void D(double v) { Raw(&v, 8); }
  void Rgb3(Rgb c) {
    B(c.r), B(c.g), B(c.b);
  }
  void Str(const std::string& s) {
    U(uint32_t(s.size()));
    out += s;
  }
  // Pads to four bytes, so that the page reads what follows through typed arrays.
  void Align() {
    while (out.size() % 4 != 0) out.push_back('\0');
  }
  void Points(const std::vector<PagePoint>& points, Span span) {
    U(span.count);
    Align();
    Raw(points.data() + span.first, size_t(span.count) * sizeof(PagePoint));
  }

 private:
  void Raw(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
};

static_assert(sizeof(PagePoint) == 8, "points are two float32");

std::string ToUtf8(const JwwString& s) { return s.unicode ? Utf16ToUtf8(s.wide) : SjisToUtf8(s.sjis); }

// The first code point of UTF-8 text; 0 when there is none.
uint32_t FirstCodePoint(const std::string& s) {
  if (s.empty()) return 0;
  const unsigned char c = static_cast<unsigned char>(s[0]);
  int n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
  uint32_t cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
  for (int i = 1; i <= n && size_t(i) < s.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return cp;
}

uint32_t SjisCodePoint(uint32_t code) {
  static std::unordered_map<uint32_t, uint32_t> known;
  auto [it, fresh] = known.try_emplace(code, 0);
  if (fresh) {
    std::string bytes;
    if (code > 0xFF) bytes += char(code >> 8);
    bytes += char(code & 0xFF);
    it->second = FirstCodePoint(SjisToUtf8(bytes, UnreadableSjis::kSkipByte));
  }
  return it->second;
}

void Items(Writer& w, const DisplayList& top, const DisplayList& list) {
  w.U(uint32_t(list.order.size()));
  for (const ItemRef& ref : list.order) {
    w.B(uint8_t(ref.kind));
    switch (ref.kind) {
      case ItemKind::kStroke: {
        const Stroke& s = list.strokes[ref.index];
        w.U(s.style);
        w.B(s.closed);
        w.Points(list.points, s.points);
        break;
      }
      case ItemKind::kFill: {
        const Fill& f = list.fills[ref.index];
        w.Rgb3(f.color);
        w.U(f.rings.count);
        for (uint32_t r = 0; r < f.rings.count; ++r) w.Points(list.points, list.rings[f.rings.first + r]);
        break;
      }
      case ItemKind::kText: {
        const TextRun& t = list.texts[ref.index];
        w.Rgb3(t.color);
        w.B(uint8_t((t.bold ? 1 : 0) | (t.italic ? 2 : 0)));
        w.U(t.font);
        w.U(t.glyphs.count);
        w.Align();
        for (uint32_t g = 0; g < t.glyphs.count; ++g) {
          const Glyph& glyph = list.glyphs[t.glyphs.first + g];
          w.F(glyph.origin.x), w.F(glyph.origin.y), w.F(glyph.across.x), w.F(glyph.across.y);
          w.F(glyph.up.x), w.F(glyph.up.y);
          w.U(t.unicode ? glyph.code : SjisCodePoint(glyph.code));
        }
        break;
      }
      case ItemKind::kPicture: {
        const Picture& p = list.pictures[ref.index];
        w.U(p.source);
        for (double v : {p.origin.x, p.origin.y, p.across.x, p.across.y, p.up.x, p.up.y, p.clipX, p.clipY,
                         p.clipWidth, p.clipHeight})
          w.D(v);
        break;
      }
      case ItemKind::kPlacement: {
        const Placement& p = list.placements[ref.index];
        w.U(p.list + 1);
        w.D(p.dx), w.D(p.dy);
        break;
      }
    }
  }
  (void)top;
}

}  // namespace

std::string DisplayListBytes(const DisplayList& list) {
  Writer w;
  w.out = "KVDL";
  w.U(1);
  w.D(list.width), w.D(list.height);
  w.Rgb3(list.background);
  w.B(0);
  w.U(uint32_t(list.strokeStyles.size()));
  for (const StrokeStyle& s : list.strokeStyles) {
    w.Rgb3(s.color);
    w.B(s.devicePixels);
    w.F(s.width);
    w.F(s.dashOffset);
    w.U(s.dashes.count);
    for (uint32_t k = 0; k < s.dashes.count; ++k) w.F(float(list.dashes[s.dashes.first + k]));
  }
  w.U(uint32_t(list.fonts.size()));
  for (const JwwString& f : list.fonts) w.Str(ToUtf8(f));
  w.U(uint32_t(list.imageSources.size()));
  for (const JwwString& f : list.imageSources) w.Str(ToUtf8(f));
  w.U(uint32_t(1 + list.sublists.size()));
  Items(w, list, list);
  for (const DisplayList& sub : list.sublists) Items(w, list, sub);
  return std::move(w.out);
}

}  // namespace kelvane
