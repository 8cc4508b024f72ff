// The bundled example drawing, made by the program itself.
#include "app/example.h"

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "jww/builder.h"
#include "jww/images.h"
#include "split/frames.h"

namespace kelvane {

namespace {

constexpr double kPi = 3.141592653589793;

Attr FrameAttr() {
  Attr a;
  a.penColor = kFramePenColor;
  a.penStyle = kFramePenStyle;
  a.penWidth = kFramePenWidth;
  return a;
}

void AddFrame(JwwDocument& doc, double cx, double cy, double w, double h) {
  const double l = cx - w / 2, r = cx + w / 2, b = cy - h / 2, t = cy + h / 2;
  AddLine(doc, l, b, r, b, FrameAttr());
  AddLine(doc, r, b, r, t, FrameAttr());
  AddLine(doc, r, t, l, t, FrameAttr());
  AddLine(doc, l, t, l, b, FrameAttr());
}

void AddNameText(JwwDocument& doc, double x, double y, const std::u16string& name) {
  Attr a;
  a.penColor = kAuxiliaryColor;
  int32_t i = AddText(doc, x, y, JwwString::Wide(u"【名】" + name), a, 3.5);
  doc.texts[size_t(i)].textType = 0;
}

// A small 24-bit picture: a blue square with a diagonal.
std::vector<uint8_t> LogoBitmap() {
  const int w = 16, h = 16, row = w * 3;
  const uint32_t imageSize = uint32_t(row * h), fileSize = 54 + imageSize;
  std::vector<uint8_t> b(fileSize, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
  };
  b[0] = 'B', b[1] = 'M';
  put32(2, fileSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1, b[28] = 24;
  put32(34, imageSize);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t p = 54 + size_t(y * row + x * 3);
      bool diagonal = x == y;
      b[p] = diagonal ? 255 : 200, b[p + 1] = diagonal ? 255 : 80, b[p + 2] = diagonal ? 255 : 30;
    }
  return b;
}

}  // namespace

namespace {

// Blocks: a door, and a room that holds two doors (nested); one definition nobody inserts.
void AddBlocks(JwwDocument& doc) {
  EntityLists& door = AddBlockDef(doc, 1, JwwString::Wide(u"扉"));
  AddLine(door, 0, 0, 0, 9);
  AddArc(door, 0, 0, 9, 0, kPi / 2);
  EntityLists& room = AddBlockDef(doc, 2, JwwString::Wide(u"部屋"));
  AddLine(room, 0, 0, 40, 0);
  AddLine(room, 40, 0, 40, 30);
  AddLine(room, 40, 30, 0, 30);
  AddLine(room, 0, 30, 0, 0);
  AddBlockInsert(room, 1, 10, 0);
  AddBlockInsert(room, 1, 30, 30);
  AddCircle(AddBlockDef(doc, 3, JwwString::Wide(u"未使用")), 0, 0, 5);
}

void AddFrames(JwwDocument& doc) {
  // Row 1, centres at y = 400: A4 landscape, A3 landscape, A4 portrait.
  AddFrame(doc, 150, 400, 297, 210);
  AddFrame(doc, 550, 400, 420, 297);
  AddFrame(doc, 900, 400, 210, 297);
  // Row 2, centres at y = 0: A2, an empty A4, A1.
  AddFrame(doc, 300, 0, 594, 420);
  AddFrame(doc, 800, 0, 297, 210);
  AddFrame(doc, 1500, 0, 841, 594);
}

void AddFirstRow(JwwDocument& doc) {
  // Frame 1: a ground plan, and an equipment sheet limited to layer 1.
  AddNameText(doc, 20, 320, u"1F平面図");
  AddNameText(doc, 20, 312, u"設備【Ｌ】1");
  AddLine(doc, 40, 350, 260, 350);
  AddLine(doc, 260, 350, 260, 460);
  AddLine(doc, 260, 460, 40, 460);
  AddLine(doc, 40, 460, 40, 350);
  AddCircle(doc, 150, 405, 30);
  Attr equipment;
  equipment.layer = 1;
  equipment.penColor = 5;
  AddCircle(doc, 100, 420, 6, equipment);
  AddText(doc, 92, 410, JwwString::Wide(u"給湯器"), equipment, 2.5);
  Attr dims;
  dims.layer = 2;
  AddDimension(doc, 40, 340, 260, 340, JwwString::Wide(u"220"), dims);
  // A line that crosses into the next frame stays whole on both sheets.
  AddLine(doc, 250, 300, 400, 300);

  // Frame 2: the same name again (it becomes "1F平面図~1"), rooms with doors.
  AddNameText(doc, 360, 270, u"1F平面図");
  AddBlockInsert(doc, 2, 420, 350);
  AddBlockInsert(doc, 2, 520, 350);
  AddArc(doc, 650, 420, 40, 0.25, 2.5);
  AddText(doc, 380, 520, JwwString::Wide(u"Kelvane 𠮷野家 ☺"), Attr{}, 5.0);

  // Frame 3: an arc solid (a filled sector) and a filled triangle.
  Attr fill;
  fill.penColor = 3;
  int32_t sector = AddArcSolid(doc, 900, 420, 50, 0.3, 2.0, fill);
  doc.solids[size_t(sector)].y4 = 0;  // shape code 0: a sector closed by the centre
  AddSolid(doc, 850, 300, 950, 300, 900, 340, 900, 340, fill);
}

void AddSecondRow(JwwDocument& doc) {
  Attr dims;
  dims.layer = 2;
  // Frame 4: a room, dimensions and an ellipse.
  AddBlockInsert(doc, 2, 150, -50);
  AddDimension(doc, 150, -70, 190, -70, JwwString::Wide(u"40"), dims);
  AddArc(doc, 400, 50, 60, 0, 2 * kPi, Attr{}, 0.5, 0.4);
  doc.arcs.back().fullCircle = 1;
  AddPoint(doc, 300, 0);

  // Frame 5 stays empty. Frame 6: the embedded picture and a note.
  AddText(doc, 1300, 100, JwwString::Wide(u"^@BM%temp%logo.bmp,160,160"), Attr{}, 1.0);
  AddText(doc, 1300, -200, JwwString::Wide(u"配置図 1:200"), Attr{}, 7.0);
  AddLine(doc, 1200, -250, 1800, 250);
}

}  // namespace

bool WriteExampleDrawing(const std::filesystem::path& path) {
  JwwDocument doc;
  InitDrawing(doc, 700, true);
  doc.header.memo = JwwString::Wide(u"Kelvane の見本図面");
  doc.layers[1].name = JwwString::Wide(u"設備");
  doc.layers[2].name = JwwString::Wide(u"寸法");
  AddBlocks(doc);
  AddFrames(doc);
  AddFirstRow(doc);
  AddSecondRow(doc);

  const std::vector<uint8_t> logo = LogoBitmap();
  doc.images.Add(JwwString::Wide(u"logo.bmp"), logo.data(), int32_t(logo.size()));

  doc.NormaliseBlocks();
  return doc.SaveToFile(path, 700);
}

}  // namespace kelvane
