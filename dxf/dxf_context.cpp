// The names and looks entities refer to: layers, line types, text styles, colours and widths.
#include "dxf/dxf_context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "drawing/layers.h"
#include "drawing/pen_looks.h"
#include "drawing/text_layout.h"

namespace kelvane {

namespace {

int32_t RgbOfColorRef(int32_t c) {  // COLORREF 0x00BBGGRR to 0xRRGGBB
  const uint32_t v = uint32_t(c);
  return int32_t(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
}

// AutoCAD's colour index as RGB: 1-9 named, 10-249 twenty-four hues in five shades, each full
// and pale, 250-255 greys.
int32_t AciRgb(int i) {
  static const int32_t kFirst[10] = {0, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080,
                                     0xC0C0C0};
  static const int kGreys[6] = {0x33, 0x50, 0x69, 0x82, 0xBE, 0xFF};
  if (i < 10) return kFirst[i];
  if (i >= 250) return kGreys[i - 250] * 0x010101;
  static const double kShades[5] = {255, 204, 153, 127, 76};
  const int hue = (i - 10) / 10, shade = (i - 10) % 10 / 2;
  const bool pale = (i - 10) % 2 == 1;
  const double v = kShades[shade], low = pale ? v / 2 : 0;
  const double h = hue * 15.0 / 60.0;  // sextant position
  const double f = h - std::floor(h);
  double r = 0, g = 0, b = 0;
  const double up = low + (v - low) * f, down = v - (v - low) * f;
  switch (int(h) % 6) {
    case 0: r = v, g = up, b = low; break;
    case 1: r = down, g = v, b = low; break;
    case 2: r = low, g = v, b = up; break;
    case 3: r = low, g = down, b = v; break;
    case 4: r = up, g = low, b = v; break;
    default: r = v, g = low, b = down; break;
  }
  return (int(r) << 16) | (int(g) << 8) | int(b);
}

int NearestAci(int32_t rgb) {
  // Black and white are both colour 7, which readers show against their background.
  if (rgb == 0 || rgb == 0xFFFFFF) return 7;
  int best = 7;
  long bestDistance = -1;
  for (int i = 1; i < 256; ++i) {
    if (i == 7) continue;
    const int32_t c = AciRgb(i);
    const long dr = ((c >> 16) & 0xFF) - ((rgb >> 16) & 0xFF), dg = ((c >> 8) & 0xFF) - ((rgb >> 8) & 0xFF),
               db = (c & 0xFF) - (rgb & 0xFF);
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) bestDistance = d, best = i;
  }
  return best;
}

// Characters no DXF symbol name may hold become "_", character by character, before the name
// is encoded: a Shift_JIS trail
// byte may equal a forbidden character.
JwwString CleanName(const JwwString& name) {
  JwwString o;
  o.unicode = name.unicode;
  for (size_t p = 0; p < name.size();) {
    const JwwChar c = CharAt(name, p);
    if (c.width == 0) break;
    p += c.width;
    const bool bad = c.code < 0x80 && std::string_view("<>/\\\":;?*|=`,").find(char(c.code)) != std::string_view::npos;
    AppendChar(o, bad ? '_' : c.code);
  }
  return o;
}

}  // namespace

// Readers compare symbol names without regard to the case of ASCII letters.
std::string SymbolKey(std::string name) {
  for (char& ch : name)
    if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
  return name;
}

namespace {

constexpr int kLineWeights[] = {0, 5, 9, 13, 15, 18, 20, 25, 30, 35, 40, 50, 53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};

}  // namespace

DxfContext::DxfContext(const JwwDocument& d, const DxfOptions& o)
    : doc(d), options(o), sink(o.version), blocks_(d), printed_(ShownLayers(d, true)), shown_(ShownLayers(d, false)) {
  for (size_t g = 0; g < 16; ++g) {
    const double s = g < doc.layerGroups.size() ? doc.layerGroups[g].scale : 1.0;
    scales_[g] = options.units == DxfUnits::kTrueSize && std::isfinite(s) && s > 0 ? s : 1.0;
  }
  colors_.resize(kLastSxfColor + 1);
  penWeights_.assign(kLastSxfColor + 1, -1);
  colorKnown_.assign(kLastSxfColor + 1, false);
}

int DxfContext::LayerKeyOf(const EntityAttributes& a, const DxfPlacement& p, bool auxiliary) const {
  const unsigned g = a.layerGroup, l = a.layer;
  if (g >= 16 || l >= 16) return -1;
  const int key = int(g * 16 + l);
  if (auxiliary) return kAuxiliaryLayers + key;
  if (p.definition >= 0 && !printed_[size_t(key)]) return -1;
  return key;
}

std::string DxfContext::SymbolOf(const JwwString& name) {
  const JwwString clean = CleanName(name);
  if (sink.Utf8() || !clean.unicode) return sink.Encode(clean);
  std::string o;
  for (size_t p = 0; p < clean.size();) {
    const JwwChar c = CharAt(clean, p);
    if (c.width == 0) break;
    JwwString one;
    one.unicode = true;
    one.wide = clean.wide.substr(p, c.width);
    p += c.width;
    const std::string e = sink.Encode(one);
    o += e.size() > 1 && e[0] == '\\' ? std::string("_") : e;
  }
  return o;
}

int DxfContext::AciOf(int32_t rgb) {
  auto [it, fresh] = aciOf_.try_emplace(rgb, 7);
  if (fresh) it->second = NearestAci(rgb);
  return it->second;
}

const std::string& DxfContext::LayerOf(const EntityAttributes& a, const DxfPlacement& p, bool auxiliary) {
  static const std::string kZero = "0";
  const int found = LayerKeyOf(a, p, auxiliary);
  if (found < 0) return kZero;
  const size_t key = size_t(found);
  if (!layerUsed[key]) {
    layerUsed[key] = true;
    static const char kHex[] = "0123456789ABCDEF";
    const size_t own = key % 256;
    std::string name = {kHex[own / 16], '-', kHex[own % 16]};
    if (own < doc.layers.size() && !doc.layers[own].name.empty()) name += "_" + SymbolOf(doc.layers[own].name);
    // The twin of auxiliary entities: the same name and a mark, so that it sorts beside it.
    if (key >= size_t(kAuxiliaryLayers)) name += "_" + sink.EncodeUtf8("補助");
    layerNames[key] = std::move(name);
  }
  return layerNames[key];
}

namespace {

// The runs of a patterned line type: highest bit first, round the end: one period, dash first,
// whole dashes.
void PatternDashes(const LineTypeSetting* t, std::vector<double>& runs) {
  const double unit = PatternBitMm(*t);
  const int bits = std::clamp(t->unitDots, 0, 32);
  auto on = [&](int k) { return ((uint32_t(t->pattern) >> ((bits - 1 - ((k % bits) + bits) % bits))) & 1u) != 0; };
  // From the start of the longest dash, as centre and phantom lines are defined.
  int first = -1, longest = 0;
  for (int k = 0; k < bits; ++k) {
    if (!on(k) || on(k - 1 + bits)) continue;
    int length = 0;
    while (length < bits && on(k + length)) ++length;
    if (length > longest) first = k, longest = length;
  }
  if (first < 0) return;  // all drawn, or nothing: a solid line
  for (int k = first; k < first + bits; ++k) {
    const bool drawn = on(k);
    if (!runs.empty() && (runs.back() > 0) == drawn) runs.back() += drawn ? unit : -unit;
    else runs.push_back(drawn ? unit : -unit);
  }
}

// The runs of an SXF line type, starting with a dash.
void SxfDashes(const ExtendedLineType& x, std::vector<double>& runs) {
  for (int k = 1; k <= std::clamp(x.segmentCount, 0, 10); ++k) {
    const double v = k % 2 ? std::max(0.0, x.pitches[k]) : -std::max(0.0, x.pitches[k]);
    if (!runs.empty() && (runs.back() > 0) == (v > 0)) runs.back() += v;
    else if (v != 0) runs.push_back(v);
  }
  // Start with a dash: a leading gap goes to the end, and joins a gap there.
  if (!runs.empty() && runs.front() < 0) std::rotate(runs.begin(), runs.begin() + 1, runs.end());
  if (runs.size() > 2 && runs.back() < 0 && runs[runs.size() - 2] < 0) {
    runs[runs.size() - 2] += runs.back();
    runs.pop_back();
  }
}

}  // namespace

std::vector<double> DxfDashes(const JwwDocument& doc, int type) {
  std::vector<double> runs;
  if (const LineTypeSetting* t = PatternLineType(doc, type)) PatternDashes(t, runs);
  else if (const ExtendedLineType* x = SxfLineType(doc, type)) SxfDashes(*x, runs);
  bool anyGap = false, anyDash = false;
  for (double r : runs) anyGap |= r < 0, anyDash |= r > 0;
  if (!anyGap || !anyDash) runs.clear();
  return runs;
}

void DxfContext::NameLineTypes() {
  // By the families common readers know: dots, dashes, one short dash between long ones
  // (centre lines), two (phantom lines); the first three of a family take AutoCAD's names.
  std::map<std::string, int> taken;
  for (int s = 0; s < 256; ++s) {
    const std::vector<double> runs = DxfDashes(doc, s);
    if (runs.empty()) continue;
    const size_t dashes = (runs.size() + 1) / 2;
    std::string family = "JW";
    if (dashes == 1) family = runs[0] < -runs[1] ? "DOT" : "DASHED";
    else if (dashes == 2) family = "CENTER";
    else if (dashes == 3) family = "PHANTOM";
    const int n = taken[family]++;
    static const char* const kSuffix[] = {"", "2", "X2"};
    lineTypeNames_[size_t(s)] = family != "JW" && n < 3 ? family + kSuffix[n] : family + "_JW" + std::to_string(s);
  }
}

const std::string* DxfContext::LineTypeOf(int s) {
  if (s < 0 || s >= 256) return nullptr;
  if (!lineTypesNamed_) NameLineTypes(), lineTypesNamed_ = true;
  if (lineTypeNames_[size_t(s)].empty()) return nullptr;
  auto [it, fresh] = lineTypes.try_emplace(s);
  if (fresh) it->second = lineTypeNames_[size_t(s)];
  return &it->second;
}

const DxfTextStyle& DxfContext::StyleOf(const JwwString& font, bool vertical) {
  // Texts come in runs of one font: the last answer is asked for again most of the time.
  if (lastStyle_ < styles.size() && vertical == lastVertical_ && font == lastFont_) return styles[lastStyle_];
  const std::string family = sink.Encode(font);
  const std::string key = family + (vertical ? "\1" : "");
  auto [it, fresh] = styleIndex_.try_emplace(key, styles.size());
  if (fresh) {
    DxfTextStyle st;
    st.family = family.empty() ? sink.EncodeUtf8("ＭＳ ゴシック") : family;
    // Cleaned as characters, then made unique: "a<b" and "a>b" are two fonts.
    std::string name = (vertical ? "@" : "") + (font.empty() ? st.family : SymbolOf(font));
    for (int n = 2; !styleNames_.insert(SymbolKey(name)).second; ++n)
      name = (vertical ? "@" : "") + (font.empty() ? st.family : SymbolOf(font)) + "_" + std::to_string(n);
    st.name = std::move(name);
    st.vertical = vertical;
    // The TrueType files of Jw_cad's usual fonts; any other font by its family name alone.
    if (st.family.find(sink.EncodeUtf8("明朝")) != std::string::npos) st.file = "msmincho.ttc";
    else if (st.family.find(sink.EncodeUtf8("ゴシック")) != std::string::npos) st.file = "msgothic.ttc";
    else st.file = st.family + ".ttf";
    // The capitals of the faces the pictures print Jw_cad's fonts in (IPA's, whose widths are
    // those of Microsoft's): 1538, 1536, 1483 and 1464 of 2048 units; 0.75 for any other.
    const bool mincho = st.file == "msmincho.ttc", proportional = IsProportionalFont(font);
    if (st.file == "msgothic.ttc") st.capHeight = (proportional ? 1483 : 1538) / 2048.0;
    else if (mincho) st.capHeight = (proportional ? 1464 : 1536) / 2048.0;
    styles.push_back(std::move(st));
  }
  lastStyle_ = it->second, lastVertical_ = vertical, lastFont_ = font;
  return styles[it->second];
}

const DxfColor& DxfContext::ColorOf(int penColor) {
  static const DxfColor kDefault;
  if (penColor < 0 || penColor > int(kLastSxfColor)) return kDefault;
  if (!colorKnown_[size_t(penColor)]) {
    colorKnown_[size_t(penColor)] = true;
    DxfColor& c = colors_[size_t(penColor)];
    int32_t colorRef = 0;
    if (PenColorRef(doc, penColor, false, colorRef)) {
      // Pens take the nearest index; SXF colours keep their true colour beside it.
      const int32_t rgb = RgbOfColorRef(colorRef);
      if (IsSxfColor(penColor)) c.rgb = rgb;
      c.aci = NearestAci(rgb);
    }
  }
  return colors_[size_t(penColor)];
}

int DxfContext::LineWeightOf(const EntityAttributes& a) {
  // Most entities take their pen's width: those are worked out once per pen.
  if (a.penWidth == 0 && a.penColor <= kLastSxfColor) {
    int& known = penWeights_[a.penColor];
    if (known < 0) known = WeightOf(a);
    return known;
  }
  return WeightOf(a);
}

int DxfContext::WeightOf(const EntityAttributes& a) const {
  // The nearest of DXF's weights to the width the pictures print.
  const double hundredths = PrintWidthMm(doc, a) * 100;
  int best = 0;
  for (int w : kLineWeights)
    if (std::fabs(w - hundredths) < std::fabs(best - hundredths)) best = w;
  return best;
}

JwwString PlainText(const JwwString& text) {
  TextLayoutBuffers buffers;
  ReadTextChars(text, buffers);
  JwwString o;
  o.unicode = text.unicode;
  for (const TextLayoutBuffers::Char& c : buffers.chars) AppendChar(o, c.code);
  return o;
}

}  // namespace kelvane
