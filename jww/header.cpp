// The header section: signature, version, memo and every drawing setting, read and written alike.
#include <string>

#include "jww/document.h"
#include "jww/sections.h"
#include "text/filters.h"

namespace kelvane {

JwwString ReadCString(ByteReader& in, JwwDiagnostics& diag) {
  JwwString s = in.cstring();
  if (in.ok()) ++(s.unicode ? diag.unicodeStrings : diag.ansiStrings);
  return s;
}

JwwString ReadText(ByteReader& in, JwwDiagnostics& diag) {
  JwwString s = ReadCString(in, diag);
  if (ChangedByReadFilter(s)) s = FilterTextForRead(s);
  return s;  // one named result: built in place, neither copied nor moved
}

void WriteText(ByteWriter& out, const JwwString& s) {
  if (ChangedByWriteFilter(s))
    out.WriteCString(FilterTextForWrite(s));
  else
    out.WriteCString(s);
}

namespace {

// True when the name holds a character that RemoveBlanks keeps.
bool HasNonBlank(const JwwString& name) {
  if (name.unicode) {
    for (char16_t c : name.wide)
      if (c != u' ' && c != u'\u3000' && c >= 0x20) return true;
    return false;
  }
  const std::string& t = name.sjis;
  for (size_t p = 0; p < t.size();) {
    const unsigned char b = static_cast<unsigned char>(t[p]);
    if (IsLeadByte(b)) {
      if (!(p + 1 < t.size() && b == 0x81 && static_cast<unsigned char>(t[p + 1]) == 0x40)) return true;
      p += 2;
    } else {
      if (b != ' ' && b >= 0x20) return true;
      p += 1;
    }
  }
  return false;
}

// Extended colour and line-type names: an empty cleaned name becomes prefix + index.
// A name the filter leaves as it is, the common case, is written without a copy.
void WriteDefaultedName(ByteWriter& out, const JwwString& name, const char* prefix, int index, bool unicode) {
  if (!ChangedByWriteFilter(name)) {
    if (HasNonBlank(name)) {
      out.WriteCString(name);
      return;
    }
  } else {
    JwwString filtered = FilterTextForWrite(name);
    if (!RemoveBlanks(filtered).empty()) {
      out.WriteCString(filtered);
      return;
    }
  }
  out.WriteCString(JwwString::Ascii(prefix + std::to_string(index), unicode));
}

bool SegmentCountValid(int32_t n) { return n == 2 || n == 4 || n == 6 || n == 8; }

template <typename T>
T Clamp(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// The reading side of the header's field list. A fix is the writer's correction of a value and
// is ignored here; the reader's cursor cannot run off the end, so a short file yields zeros.
class HeaderReader {
 public:
  using Document = JwwDocument;
  HeaderReader(ByteReader& in, JwwDocument& doc) : in_(in), diag_(doc.diagnostics), version(doc.header.version) {}

  bool ok() const { return in_.ok(); }
  void i32(int32_t& x) { x = in_.i32(); }
  void f64(double& x) { x = in_.f64(); }
  template <class Fix>
  void i32(int32_t& x, Fix) { x = in_.i32(); }
  template <class Fix>
  void f64(double& x, Fix) { x = in_.f64(); }
  void reserved(size_t n) { in_.skip(n); }
  void text(JwwString& s) { s = ReadText(in_, diag_); }
  void unfilteredText(JwwString& s) { s = ReadCString(in_, diag_); }
  void name(JwwString& s, const char*, int) { s = ReadText(in_, diag_); }
  // One value on file: the ones digit and the rest. C++ division truncates, as the format's does.
  void packedSwitch(int32_t& ones, int32_t& tens) {
    const int32_t packed = in_.i32();
    ones = packed % 10;
    tens = packed / 10;
  }
  template <class T>
  T& writtenAs(T& value, bool, const T&) { return value; }

 private:
  ByteReader& in_;
  JwwDiagnostics& diag_;

 public:
  const int32_t version;
};

// The writing side: the same calls write the document's values, corrected where a fix says so.
class HeaderWriter {
 public:
  using Document = const JwwDocument;
  HeaderWriter(ByteWriter& out, const JwwDocument& doc, int32_t v)
      : out_(out), unicode_(doc.UnicodeStrings()), version(v) {}

  bool ok() const { return true; }
  void i32(int32_t x) { out_.i32(x); }
  void f64(double x) { out_.f64(x); }
  template <class Fix>
  void i32(int32_t x, Fix fix) { out_.i32(fix(x)); }
  template <class Fix>
  void f64(double x, Fix fix) { out_.f64(fix(x)); }
  void reserved(size_t n) { out_.zeros(n); }
  void text(const JwwString& s) { WriteText(out_, s); }
  void unfilteredText(const JwwString& s) { out_.WriteCString(s); }
  // Extended colour and line-type names: an empty cleaned name becomes prefix + index.
  void name(const JwwString& s, const char* prefix, int index) { WriteDefaultedName(out_, s, prefix, index, unicode_); }
  // From version 600 the tens digit is written, at least 1.
  void packedSwitch(int32_t ones, int32_t tens) {
    int32_t packed = ones;
    if (HasPackedSwitchTens(version)) packed += 10 * (tens > 0 ? tens : 1);
    out_.i32(packed);
  }
  // A setting the writer replaces as a whole when `replace` holds.
  template <class T>
  const T& writtenAs(const T& value, bool replace, const T& replacement) { return replace ? replacement : value; }

 private:
  ByteWriter& out_;
  const bool unicode_;

 public:
  const int32_t version;
};

// A colour brought into range: anything but an RGB value is written as black.
int32_t RgbOrBlack(int32_t c) { return c < 0 || c > 0xFFFFFF ? 0 : c; }

// Paper, the layer groups and their layers, each with state, protection and (groups) scale.
template <class Io>
void TransferLayers(Io& io, typename Io::Document& doc) {
  io.i32(doc.header.paperSize);
  io.i32(doc.header.writeLayerGroup);
  for (int g = 0; g < 16; ++g) {
    auto& group = doc.layerGroups[g];
    io.i32(group.state);
    io.i32(group.writeLayer);
    io.f64(group.scale);
    io.i32(group.protect);
    for (int l = 0; l < 16; ++l) {
      io.i32(doc.layers[g * 16 + l].state);
      io.i32(doc.layers[g * 16 + l].protect);
    }
  }
}

// Dimension settings, the width unit, the last print set-up and the grid. Reserved bytes are
// dropped on reading and written as zeros.
template <class Io>
void TransferPrintAndGrid(Io& io, typename Io::Document& doc) {
  auto& h = doc.header;
  io.reserved(56);
  for (auto& d : h.dimensionSettings) io.i32(d);
  io.reserved(4);
  // Versions up to 420 know no unit below -101.
  io.i32(h.penWidthUnit, [&io](int32_t u) { return io.version <= 420 && u < -101 ? -101 : u; });
  io.f64(h.printOriginX);
  io.f64(h.printOriginY);
  io.f64(h.printScale);
  io.i32(h.printRotation);
  io.i32(h.gridMode);
  io.f64(h.gridMinSpacing);
  io.f64(h.gridSpacingX);
  io.f64(h.gridSpacingY);
  io.f64(h.gridBaseX);
  io.f64(h.gridBaseY);
}

// Layer names, then group names; an empty name stays empty.
template <class Io>
void TransferLayerNames(Io& io, typename Io::Document& doc) {
  for (int i = 0; i < 256 && io.ok(); ++i) io.text(doc.layers[i].name);
  for (int g = 0; g < 16 && io.ok(); ++g) io.text(doc.layerGroups[g].name);
}

// Shadow and sky-view settings, the 3D unit and the last view and range.
template <class Io>
void TransferViews(Io& io, typename Io::Document& doc) {
  auto& h = doc.header;
  io.f64(h.shadowLevel);
  io.f64(h.shadowLatitude);
  io.i32(h.shadowTimeFlag);
  io.f64(h.wallShadowLevel);
  if (HasSkyView(io.version)) {
    io.f64(h.skyViewLevel);
    io.f64(h.skyViewRadius);
  }
  io.i32(h.unit3D);
  io.f64(h.viewScale);
  io.f64(h.viewOriginX);
  io.f64(h.viewOriginY);
  io.f64(h.rangeScale);
  io.f64(h.rangeOriginX);
  io.f64(h.rangeOriginY);
}

// The zoom jumps: four of them before version 231, then eight with their layer groups and the
// two reserved records.
template <class Io>
void TransferZoomJumps(Io& io, typename Io::Document& doc) {
  auto& h = doc.header;
  const bool eight = HasLongZoomJumps(io.version);
  for (int i = 1; i <= (eight ? 8 : 4); ++i) {
    io.f64(h.zoomJumpScale[i]);
    io.f64(h.zoomJumpX[i]);
    io.f64(h.zoomJumpY[i]);
    if (eight) io.i32(h.zoomJumpLayerGroup[i]);
  }
  if (!eight) return;
  for (auto& r : h.reservedRecords) {
    for (auto& x : r.values) io.f64(x);
    io.i32(r.flag);
  }
}

// Parallel-line spacings, then the pens on screen and in print, brought into range;
// pen 0 always prints white.
template <class Io>
void TransferPens(Io& io, typename Io::Document& doc) {
  for (auto& s : doc.header.parallelLineSpacings) io.f64(s);
  io.f64(doc.header.parallelLineEndGap);
  for (auto& p : doc.pens) {
    io.i32(p.color, RgbOrBlack);
    io.i32(p.width, [](int32_t w) { return Clamp(w, 1, 16); });
  }
  for (size_t i = 0; i < doc.pens.size(); ++i) {
    auto& p = doc.pens[i];
    io.i32(p.printColor, [i](int32_t c) { return i == 0 ? 0xFFFFFF : RgbOrBlack(c); });
    io.i32(p.printWidth, [](int32_t w) { return Clamp(w, 1, 500); });
    io.f64(p.printPointRadius, [](double r) { return Clamp(r, 0.1, 10.0); });
  }
}

template <class Io, class LineType>
void TransferPattern(Io& io, LineType& t) {
  io.i32(t.pattern);
  io.i32(t.unitDots);
  io.i32(t.pitch);
  io.i32(t.printPitch);
}

// Line types 2-9, the random lines and the double-length types.
template <class Io>
void TransferLineTypes(Io& io, typename Io::Document& doc) {
  for (auto& t : doc.lineTypes) TransferPattern(io, t);
  for (auto& t : doc.randomLineTypes) {
    io.i32(t.pattern);
    io.i32(t.width);
    io.i32(t.pitch);
    io.i32(t.printWidth);
    io.i32(t.printPitch);
  }
  for (auto& t : doc.doubleLineTypes) TransferPattern(io, t);
}

// The draw switches, then settings each version added: the drawing time and the 2.5D eye
// (223), the last sizes typed for lines, boxes and circles (225), the solid colour (230).
template <class Io>
void TransferSwitchesAndLastValues(Io& io, typename Io::Document& doc) {
  auto& h = doc.header;
  for (auto& s : h.drawSwitches) io.i32(s);
  io.packedSwitch(h.packedSwitchOnes, h.packedSwitchTens);
  if (HasDrawingTime(io.version)) {
    io.i32(h.drawingTime);
    io.i32(h.eye.startFlag);
    for (auto& a : h.eye.horizontalAngles) io.i32(a);
    io.f64(h.eye.perspectiveHeight);
    io.f64(h.eye.perspectiveDistance);
    io.f64(h.eye.birdsEyeHeight);
    io.f64(h.eye.birdsEyeDistance);
    io.f64(h.eye.isometricVerticalAngle);
  }
  if (HasLastSizes(io.version)) {
    io.f64(h.lastLineLength);
    io.f64(h.lastBoxWidth);
    io.f64(h.lastBoxHeight);
    io.f64(h.lastCircleRadius);
  }
  if (HasSolidColorDefault(io.version)) {
    io.i32(h.solidOwnColorOn);
    io.i32(h.solidDefaultColor);
  }
}

// What the writer puts in place of an extended line type from 17 on whose segment count the
// format does not allow.
const ExtendedLineType& ReplacementLineType() {
  static const ExtendedLineType t = [] {
    ExtendedLineType r;
    r.pattern = int32_t(0xC3C3C3C3u);
    r.unitDots = 8;
    r.pitch = 1;
    r.printPitch = 8;
    r.segmentCount = 2;
    r.pitches[1] = r.pitches[2] = 1.0;
    return r;  // its empty name is written as "LType_" + index
  }();
  return t;
}

// Extended colours and line types (from version 420), with default names and patterns; from
// colour 17 on the screen colour is also the print colour.
template <class Io>
void TransferExtended(Io& io, typename Io::Document& doc) {
  for (auto& c : doc.extendedColors) {
    io.i32(c.color);
    io.i32(c.width);
  }
  for (int i = 0; i < int(doc.extendedColors.size()) && io.ok(); ++i) {
    auto& c = doc.extendedColors[i];
    io.name(c.name, "Color_", i);
    io.i32(c.printColor, [&c, i](int32_t p) { return i <= 16 ? p : c.color; });
    io.i32(c.printWidth);
    io.f64(c.printPointRadius);
  }
  auto replaced = [&](int i) { return i >= 17 && !SegmentCountValid(doc.extendedLineTypes[i].segmentCount); };
  for (int i = 0; i < int(doc.extendedLineTypes.size()); ++i) {
    auto& t = io.writtenAs(doc.extendedLineTypes[i], replaced(i), ReplacementLineType());
    io.i32(t.pattern, [](int32_t p) { return p == 0 ? -1 : p; });
    io.i32(t.unitDots);
    io.i32(t.pitch);
    io.i32(t.printPitch);
  }
  for (int i = 0; i < int(doc.extendedLineTypes.size()) && io.ok(); ++i) {
    auto& t = io.writtenAs(doc.extendedLineTypes[i], replaced(i), ReplacementLineType());
    io.name(t.name, "LType_", i);
    io.i32(t.segmentCount);
    for (int k = 1; k <= 10; ++k) io.f64(t.pitches[k]);
  }
}

// The text kinds, then the current text settings.
template <class Io>
void TransferTextSettings(Io& io, typename Io::Document& doc) {
  for (auto& k : doc.textKinds) {
    io.f64(k.width);
    io.f64(k.height);
    io.f64(k.spacing);
    io.i32(k.color);
  }
  auto& h = doc.header;
  io.f64(h.currentTextSizeX);
  io.f64(h.currentTextSizeY);
  io.f64(h.currentTextSpacing);
  io.i32(h.currentTextColor);
  io.i32(h.currentTextKind);
  io.f64(h.textArrangeSpacing);
  io.f64(h.textArrangeCount);
  io.i32(h.textBaseShiftOn);
  for (auto& x : h.textBaseShiftX) io.f64(x);
  for (auto& x : h.textBaseShiftY) io.f64(x);
}

// Every field after the signature and the version, in file order; reading and writing alike.
template <class Io>
void TransferHeader(Io& io, typename Io::Document& doc) {
  io.unfilteredText(doc.header.memo);  // the memo is kept byte for byte
  TransferLayers(io, doc);
  TransferPrintAndGrid(io, doc);
  TransferLayerNames(io, doc);
  TransferViews(io, doc);
  TransferZoomJumps(io, doc);
  TransferPens(io, doc);
  TransferLineTypes(io, doc);
  TransferSwitchesAndLastValues(io, doc);
  if (HasSxfPart(io.version)) TransferExtended(io, doc);
  TransferTextSettings(io, doc);
}

}  // namespace

bool ReadHeader(ByteReader& in, JwwDocument& doc) {
  JwwHeader& h = doc.header;
  doc.SizeSettingsArrays();
  char sig[8];
  in.bytes(sig, 8);
  h.signature.assign(sig, 8);
  h.version = in.i32();
  if (!in.ok() || !IsSupportedVersion(h.version)) return false;
  HeaderReader io(in, doc);
  TransferHeader(io, doc);
  return true;
}

void WriteHeader(ByteWriter& out, const JwwDocument& doc, int32_t v) {
  char sig[8] = {};
  CopyToBuffer(sig, doc.header.signature, 8);
  out.bytes(sig, 8);
  out.i32(v);
  HeaderWriter io(out, doc, v);
  TransferHeader(io, doc);
}

}  // namespace kelvane
