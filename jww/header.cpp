// The header section: signature, version, memo and every drawing setting, read and written alike.
#include <string>

#include "jww/sections.h"
#include "text/filters.h"
#include "text/numbers.h"

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

}  // namespace

bool ReadHeader(ByteReader& in, JwwDocument& doc) {
  JwwHeader& h = doc.header;
  JwwDiagnostics& diag = doc.diagnostics;
  doc.SizeSettingsArrays();
  char sig[8];
  in.bytes(sig, 8);
  h.signature.assign(sig, 8);
  h.version = in.i32();
  if (!in.ok() || !IsSupportedVersion(h.version)) return false;
  const int32_t v = h.version;

  // Block A: the memo, kept byte for byte.
  h.memo = ReadCString(in, diag);

  // Block B: paper and layers.
  h.paperSize = in.i32();
  h.writeLayerGroup = in.i32();
  for (int g = 0; g < 16; ++g) {
    LayerGroupSetting& grp = doc.layerGroups[g];
    grp.state = in.i32();
    grp.writeLayer = in.i32();
    grp.scale = in.f64();
    grp.protect = in.i32();
    for (int l = 0; l < 16; ++l) {
      doc.layers[g * 16 + l].state = in.i32();
      doc.layers[g * 16 + l].protect = in.i32();
    }
  }

  // Block C: reserved bytes are dropped.
  in.skip(56);
  for (int32_t& d : h.dimensionSettings) d = in.i32();
  in.skip(4);
  h.penWidthUnit = in.i32();
  h.printOriginX = in.f64();
  h.printOriginY = in.f64();
  h.printScale = in.f64();
  h.printRotation = in.i32();
  h.gridMode = in.i32();
  h.gridMinSpacing = in.f64();
  h.gridSpacingX = in.f64();
  h.gridSpacingY = in.f64();
  h.gridBaseX = in.f64();
  h.gridBaseY = in.f64();

  // Block D: layer names, then group names.
  for (int i = 0; i < 256 && in.ok(); ++i) doc.layers[i].name = ReadText(in, diag);
  for (int g = 0; g < 16 && in.ok(); ++g) doc.layerGroups[g].name = ReadText(in, diag);

  // Block E: shadow and sky view.
  h.shadowLevel = in.f64();
  h.shadowLatitude = in.f64();
  h.shadowTimeFlag = in.i32();
  h.wallShadowLevel = in.f64();
  if (HasSkyView(v)) {
    h.skyViewLevel = in.f64();
    h.skyViewRadius = in.f64();
  }

  // Block F: view.
  h.unit3D = in.i32();
  h.viewScale = in.f64();
  h.viewOriginX = in.f64();
  h.viewOriginY = in.f64();
  h.rangeScale = in.f64();
  h.rangeOriginX = in.f64();
  h.rangeOriginY = in.f64();

  // Block G: zoom jumps.
  if (HasLongZoomJumps(v)) {
    for (int i = 1; i <= 8; ++i) {
      h.zoomJumpScale[i] = in.f64();
      h.zoomJumpX[i] = in.f64();
      h.zoomJumpY[i] = in.f64();
      h.zoomJumpLayerGroup[i] = in.i32();
    }
    for (ViewRecord* r : {&h.extraViewA, &h.extraViewB}) {
      for (double& a : r->a) a = in.f64();
      r->flag = in.i32();
    }
  } else {
    for (int i = 1; i <= 4; ++i) {
      h.zoomJumpScale[i] = in.f64();
      h.zoomJumpX[i] = in.f64();
      h.zoomJumpY[i] = in.f64();
    }
  }

  // Block H: parallel lines and screen pens.
  for (double& s : h.parallelLineSpacings) s = in.f64();
  h.parallelLineEndGap = in.f64();
  for (PenSetting& p : doc.pens) {
    p.color = in.i32();
    p.width = in.i32();
  }
  // Block I: print pens.
  for (PenSetting& p : doc.pens) {
    p.printColor = in.i32();
    p.printWidth = in.i32();
    p.printPointRadius = in.f64();
  }
  // Block J and K: line types.
  for (LineTypeSetting& t : doc.lineTypes) {
    t.pattern = in.i32();
    t.unitDots = in.i32();
    t.pitch = in.i32();
    t.printPitch = in.i32();
  }
  for (RandomLineSetting& t : doc.randomLineTypes) {
    t.pattern = in.i32();
    t.width = in.i32();
    t.pitch = in.i32();
    t.printWidth = in.i32();
    t.printPitch = in.i32();
  }
  for (LineTypeSetting& t : doc.doubleLineTypes) {
    t.pattern = in.i32();
    t.unitDots = in.i32();
    t.pitch = in.i32();
    t.printPitch = in.i32();
  }

  // Block L: switches and later settings.
  for (int32_t& s : h.drawSwitches) s = in.i32();
  int32_t packed = in.i32();
  h.packedSwitchOnes = packed % 10;  // C++ division truncates, as the format's does
  h.packedSwitchTens = packed / 10;
  if (HasDrawingTime(v)) {
    h.drawingTime = in.i32();
    for (int32_t& x : h.v223Ints) x = in.i32();
    for (double& x : h.v223Reals) x = in.f64();
  }
  if (HasV225Reals(v))
    for (double& x : h.v225Reals) x = in.f64();
  if (HasV230Ints(v))
    for (int32_t& x : h.v230Ints) x = in.i32();

  // Block M: extended colours and line types.
  if (HasSxfPart(v)) {
    for (ExtendedColor& c : doc.extendedColors) {
      c.color = in.i32();
      c.width = in.i32();
    }
    for (ExtendedColor& c : doc.extendedColors) {
      if (!in.ok()) break;
      c.name = ReadText(in, diag);
      c.printColor = in.i32();
      c.printWidth = in.i32();
      c.printPointRadius = in.f64();
    }
    for (ExtendedLineType& t : doc.extendedLineTypes) {
      t.pattern = in.i32();
      t.unitDots = in.i32();
      t.pitch = in.i32();
      t.printPitch = in.i32();
    }
    for (ExtendedLineType& t : doc.extendedLineTypes) {
      if (!in.ok()) break;
      t.name = ReadText(in, diag);
      t.segmentCount = in.i32();
      for (int i = 1; i <= 10; ++i) t.pitches[i] = in.f64();
    }
  }

  // Block N: text kinds.
  for (TextKindSetting& k : doc.textKinds) {
    k.width = in.f64();
    k.height = in.f64();
    k.spacing = in.f64();
    k.color = in.i32();
  }
  // Block O: current text settings.
  h.currentTextSizeX = in.f64();
  h.currentTextSizeY = in.f64();
  h.currentTextSpacing = in.f64();
  h.currentTextColor = in.i32();
  h.currentTextKind = in.i32();
  h.textArrangeSpacing = in.f64();
  h.textArrangeCount = in.f64();
  h.textBaseShiftOn = in.i32();
  for (double& x : h.textBaseShiftX) x = in.f64();
  for (double& x : h.textBaseShiftY) x = in.f64();
  return true;
}

void WriteHeader(ByteWriter& out, const JwwDocument& doc, int32_t v) {
  const JwwHeader& h = doc.header;
  const bool unicode = doc.UnicodeStrings();

  // Block A.
  char sig[8] = {};
  CopyToBuffer(sig, h.signature, 8);
  out.bytes(sig, 8);
  out.i32(v);
  out.WriteCString(h.memo);

  // Block B.
  out.i32(h.paperSize);
  out.i32(h.writeLayerGroup);
  for (int g = 0; g < 16; ++g) {
    const LayerGroupSetting& grp = doc.layerGroups[g];
    out.i32(grp.state);
    out.i32(grp.writeLayer);
    out.f64(grp.scale);
    out.i32(grp.protect);
    for (int l = 0; l < 16; ++l) {
      out.i32(doc.layers[g * 16 + l].state);
      out.i32(doc.layers[g * 16 + l].protect);
    }
  }

  // Block C: reserved parts as zeros; the pen-width unit brought into range for old versions.
  out.zeros(56);
  for (int32_t d : h.dimensionSettings) out.i32(d);
  out.zeros(4);
  out.i32(v <= 420 && h.penWidthUnit < -101 ? -101 : h.penWidthUnit);
  out.f64(h.printOriginX);
  out.f64(h.printOriginY);
  out.f64(h.printScale);
  out.i32(h.printRotation);
  out.i32(h.gridMode);
  out.f64(h.gridMinSpacing);
  out.f64(h.gridSpacingX);
  out.f64(h.gridSpacingY);
  out.f64(h.gridBaseX);
  out.f64(h.gridBaseY);

  // Block D: names cleaned; an empty name stays empty.
  for (int i = 0; i < 256; ++i) WriteText(out, doc.layers[i].name);
  for (int g = 0; g < 16; ++g) WriteText(out, doc.layerGroups[g].name);

  // Block E.
  out.f64(h.shadowLevel);
  out.f64(h.shadowLatitude);
  out.i32(h.shadowTimeFlag);
  out.f64(h.wallShadowLevel);
  if (HasSkyView(v)) {
    out.f64(h.skyViewLevel);
    out.f64(h.skyViewRadius);
  }

  // Block F.
  out.i32(h.unit3D);
  out.f64(h.viewScale);
  out.f64(h.viewOriginX);
  out.f64(h.viewOriginY);
  out.f64(h.rangeScale);
  out.f64(h.rangeOriginX);
  out.f64(h.rangeOriginY);

  // Block G.
  if (HasLongZoomJumps(v)) {
    for (int i = 1; i <= 8; ++i) {
      out.f64(h.zoomJumpScale[i]);
      out.f64(h.zoomJumpX[i]);
      out.f64(h.zoomJumpY[i]);
      out.i32(h.zoomJumpLayerGroup[i]);
    }
    for (const ViewRecord* r : {&h.extraViewA, &h.extraViewB}) {
      for (double a : r->a) out.f64(a);
      out.i32(r->flag);
    }
  } else {
    for (int i = 1; i <= 4; ++i) {
      out.f64(h.zoomJumpScale[i]);
      out.f64(h.zoomJumpX[i]);
      out.f64(h.zoomJumpY[i]);
    }
  }

  // Block H: screen pens brought into range.
  for (double s : h.parallelLineSpacings) out.f64(s);
  out.f64(h.parallelLineEndGap);
  for (const PenSetting& p : doc.pens) {
    out.i32(p.color < 0 || p.color > 0xFFFFFF ? 0 : p.color);
    out.i32(Clamp(p.width, 1, 16));
  }
  // Block I: print pens brought into range; pen 0 always prints white.
  for (size_t i = 0; i < doc.pens.size(); ++i) {
    const PenSetting& p = doc.pens[i];
    int32_t color = p.printColor < 0 || p.printColor > 0xFFFFFF ? 0 : p.printColor;
    out.i32(i == 0 ? 0xFFFFFF : color);
    out.i32(Clamp(p.printWidth, 1, 500));
    out.f64(Clamp(p.printPointRadius, 0.1, 10.0));
  }
  // Blocks J and K.
  for (const LineTypeSetting& t : doc.lineTypes) {
    out.i32(t.pattern);
    out.i32(t.unitDots);
    out.i32(t.pitch);
    out.i32(t.printPitch);
  }
  for (const RandomLineSetting& t : doc.randomLineTypes) {
    out.i32(t.pattern);
    out.i32(t.width);
    out.i32(t.pitch);
    out.i32(t.printWidth);
    out.i32(t.printPitch);
  }
  for (const LineTypeSetting& t : doc.doubleLineTypes) {
    out.i32(t.pattern);
    out.i32(t.unitDots);
    out.i32(t.pitch);
    out.i32(t.printPitch);
  }

  // Block L.
  for (int32_t s : h.drawSwitches) out.i32(s);
  int32_t packed = h.packedSwitchOnes;
  if (HasPackedSwitchTens(v)) packed += 10 * (h.packedSwitchTens > 0 ? h.packedSwitchTens : 1);
  out.i32(packed);
  if (HasDrawingTime(v)) {
    out.i32(h.drawingTime);
    for (int32_t x : h.v223Ints) out.i32(x);
    for (double x : h.v223Reals) out.f64(x);
  }
  if (HasV225Reals(v))
    for (double x : h.v225Reals) out.f64(x);
  if (HasV230Ints(v))
    for (int32_t x : h.v230Ints) out.i32(x);

  // Block M: extended colours and line types with default names and patterns.
  if (HasSxfPart(v)) {
    for (const ExtendedColor& c : doc.extendedColors) {
      out.i32(c.color);
      out.i32(c.width);
    }
    for (int i = 0; i < int(doc.extendedColors.size()); ++i) {
      const ExtendedColor& c = doc.extendedColors[i];
      WriteDefaultedName(out, c.name, "Color_", i, unicode);
      out.i32(i <= 16 ? c.printColor : c.color);
      out.i32(c.printWidth);
      out.f64(c.printPointRadius);
    }
    for (int i = 0; i < int(doc.extendedLineTypes.size()); ++i) {
      const ExtendedLineType& t = doc.extendedLineTypes[i];
      if (i >= 17 && !SegmentCountValid(t.segmentCount)) {
        out.i32(int32_t(0xC3C3C3C3u));
        out.i32(8);
        out.i32(1);
        out.i32(8);
      } else {
        out.i32(t.pattern == 0 ? -1 : t.pattern);
        out.i32(t.unitDots);
        out.i32(t.pitch);
        out.i32(t.printPitch);
      }
    }
    for (int i = 0; i < int(doc.extendedLineTypes.size()); ++i) {
      const ExtendedLineType& t = doc.extendedLineTypes[i];
      if (i >= 17 && !SegmentCountValid(t.segmentCount)) {
        out.WriteCString(JwwString::Ascii("LType_" + std::to_string(i), unicode));
        out.i32(2);
        out.f64(1.0);
        out.f64(1.0);
        for (int k = 0; k < 8; ++k) out.f64(0.0);
      } else {
        WriteDefaultedName(out, t.name, "LType_", i, unicode);
        out.i32(t.segmentCount);
        for (int k = 1; k <= 10; ++k) out.f64(t.pitches[k]);
      }
    }
  }

  // Block N.
  for (const TextKindSetting& k : doc.textKinds) {
    out.f64(k.width);
    out.f64(k.height);
    out.f64(k.spacing);
    out.i32(k.color);
  }
  // Block O.
  out.f64(h.currentTextSizeX);
  out.f64(h.currentTextSizeY);
  out.f64(h.currentTextSpacing);
  out.i32(h.currentTextColor);
  out.i32(h.currentTextKind);
  out.f64(h.textArrangeSpacing);
  out.f64(h.textArrangeCount);
  out.i32(h.textBaseShiftOn);
  for (double x : h.textBaseShiftX) out.f64(x);
  for (double x : h.textBaseShiftY) out.f64(x);
}

}  // namespace kelvane
