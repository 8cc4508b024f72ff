#include "bench/benchmark_drawing.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "jww/builder.h"

namespace kelvane {

void BuildBenchmarkDrawing(JwwDocument& doc, int entities) {
  InitDrawing(doc, 600, false);
  for (int b = 0; b < 20; ++b) {
    EntityLists& def = AddBlockDef(doc, b, JwwString::Sjis("block" + std::to_string(b)));
    for (int k = 0; k < 10; ++k) AddLine(def, k, 0, k, 10);
  }
  for (int i = 0; i < entities; ++i) {
    double x = (i % 1000) * 10.0, y = (i / 1000) * 10.0;
    switch (i % 20) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
      case 6:
      case 7:
        AddLine(doc, x, y, x + 7.5, y + 3.25);
        break;
      case 8:
      case 9:
      case 10:
        AddArc(doc, x, y, 4.0, 0.5, 2.0);
        break;
      case 11:
      case 12:
        AddText(doc, x, y, JwwString::Sjis("text " + std::to_string(i)));
        break;
      case 13:
        AddDimension(doc, x, y, x + 8, y, JwwString::Sjis("8"));
        break;
      case 14:
      case 15:
      case 16:
        AddSolid(doc, x, y, x + 1, y, x + 1, y + 1, x, y + 1);
        break;
      default:
        AddBlockInsert(doc, i % 20, x, y);
    }
  }
  doc.NormaliseBlocks();
}

void SaveBenchmarkDrawing(const std::filesystem::path& path, int entities) {
  JwwDocument doc;
  BuildBenchmarkDrawing(doc, entities);
  if (!doc.SaveToFile(path, 600)) {
    std::cerr << "cannot write " << path << "\n";
    std::exit(1);
  }
}

}  // namespace kelvane
