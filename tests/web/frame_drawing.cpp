// Makes a drawing with sheets out of one without: paper frames in a 2 x 2 grid over the extent of
// its lines, arcs and texts, and a name text in the first (with a character
// only code page 932 has), saved in the drawing's own version.
// Real drawings hold no frames; the browser test splits these framed copies in the page and with
// the command line and compares the sheets.  Usage: kelvane_frame_drawing IN.jww OUT.jww
#include <algorithm>
#include <cstdio>
#include <limits>

#include "jww/builder.h"
#include "jww/document.h"

using namespace kelvane;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kelvane_frame_drawing IN.jww OUT.jww\n");
    return 2;
  }
  JwwDocument doc;
  if (!doc.LoadFromFile(argv[1])) {
    std::fprintf(stderr, "%s: cannot read\n", argv[1]);
    return 1;
  }
  double minX = std::numeric_limits<double>::infinity(), minY = minX, maxX = -minX, maxY = -minX;
  auto take = [&](double x, double y) {
    if (!(std::abs(x) < 1e7 && std::abs(y) < 1e7)) return;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  };
  for (const LineRecord& l : doc.lines) take(l.startX, l.startY), take(l.endX, l.endY);
  for (const ArcRecord& a : doc.arcs) take(a.centerX, a.centerY);
  for (const TextRecord& t : doc.texts) take(t.startX, t.startY);
  if (!(minX < maxX && minY < maxY)) minX = minY = 0, maxX = maxY = 100;
  doc.order.resize(size_t(std::max(doc.entityCount, 0)));
  const double w = (maxX - minX) * 1.02 / 2, h = (maxY - minY) * 1.02 / 2, gap = std::max(w, h) * 0.01;
  Attr frame;
  frame.penColor = 9, frame.penStyle = 19, frame.penWidth = 200;
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 2; ++col) {
      const double x = minX - (maxX - minX) * 0.01 + col * (w + gap), y = minY - (maxY - minY) * 0.01 + row * (h + gap);
      AddLine(doc, x, y, x + w, y, frame);
      AddLine(doc, x + w, y, x + w, y + h, frame);
      AddLine(doc, x + w, y + h, x, y + h, frame);
      AddLine(doc, x, y + h, x, y, frame);
    }
  // 【名】①平面図 in the upper-left frame: "①" is one of code page 932's NEC characters.
  const JwwString name = doc.UnicodeStrings()
                             ? JwwString::Wide(u"\u3010\u540D\u3011\u2460\u5E73\u9762\u56F3")
                             : JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A\x87\x40\x95\xBD\x96\xCA\x90\x7D");
  Attr auxiliary;
  auxiliary.penColor = 9;  // name texts are in the auxiliary colour
  const int32_t text = AddText(doc, minX + w * 0.1, minY + h + gap + h * 0.8, name, auxiliary, std::max(w, h) / 50);
  doc.texts[size_t(text)].textType = 0;  // a name text's type is a multiple of 100
  if (!doc.SaveToFile(argv[2], doc.header.version)) {
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}
