// The header variables, the symbol tables and the objects section of a DXF file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "dxf/dxf_context.h"

namespace kelvane {

namespace {

// A table: its head, then the entries `entries` writes, each given the table's handle.
void Table(DxfSink& s, const char* name, int count, const std::function<void(uint64_t)>& entries,
           bool dimStyles = false) {
  s.Str(0, "TABLE");
  s.Str(2, name);
  const uint64_t table = s.Handle();
  s.Hex(330, 0);
  s.Str(100, "AcDbSymbolTable");
  s.Int(70, count);
  if (dimStyles) s.Str(100, "AcDbDimStyleTable");
  entries(table);
  s.Str(0, "ENDTAB");
}

void Entry(DxfSink& s, const char* kind, uint64_t table, const char* subclass, std::string_view name, int flags = 0,
           int code = 5) {
  s.Str(0, kind);
  s.Handle(code);
  s.Hex(330, table);
  s.Str(100, "AcDbSymbolTableRecord");
  s.Str(100, subclass);
  s.Str(2, name);
  s.Int(70, flags);
}

void LineTypes(DxfContext& c) {
  DxfSink& s = c.sink;
  Table(s, "LTYPE", int(3 + c.lineTypes.size()), [&](uint64_t table) {
    for (const char* name : {"ByBlock", "ByLayer", "Continuous"}) {
      Entry(s, "LTYPE", table, "AcDbLinetypeTableRecord", name);
      s.Str(3, name[2] == 'n' ? "Solid line" : "");
      s.Int(72, 65);
      s.Int(73, 0);
      s.Real(40, 0.0);
    }
    for (const auto& [type, name] : c.lineTypes) {
      const std::vector<double> runs = DxfDashes(c.doc, type);
      double total = 0;
      for (double r : runs) total += std::fabs(r);
      Entry(s, "LTYPE", table, "AcDbLinetypeTableRecord", name);
      // The description readers show: the pattern drawn, as AutoCAD's own describe theirs.
      std::string picture;
      for (double r : runs) picture += r > 0 ? (r < 1 ? ". " : "__ ") : "";
      s.Str(3, "Jw_cad " + std::to_string(type) + " " + picture);
      s.Int(72, 65);
      s.Int(73, int(runs.size()));
      s.Real(40, total);
      for (double r : runs) {
        s.Real(49, r);
        s.Int(74, 0);
      }
    }
  });
}

void Layers(DxfContext& c) {
  DxfSink& s = c.sink;
  int count = 1;
  for (bool used : c.layerUsed) count += used;
  Table(s, "LAYER", count, [&](uint64_t table) {
    Entry(s, "LAYER", table, "AcDbLayerTableRecord", "0");
    s.Int(62, 7);
    s.Str(6, "Continuous");
    for (size_t key = 0; key < c.layerUsed.size(); ++key) {
      if (!c.layerUsed[key]) continue;
      // A layer Jw_cad hides, or whose group it hides, is there but switched off and frozen,
      // so that no reader shows the members of a block inserted on it either. One the print
      // leaves out, and the twin of auxiliary entities, is shown but not plotted.
      const size_t own = key % DxfContext::kAuxiliaryLayers;
      const bool shown = c.LayerShown(own);
      const bool plotted = key < size_t(DxfContext::kAuxiliaryLayers) && c.LayerPrinted(own);
      Entry(s, "LAYER", table, "AcDbLayerTableRecord", c.layerNames[key], shown ? 0 : 1);
      s.Int(62, shown ? 7 : -7);
      s.Str(6, "Continuous");
      if (!plotted) s.Int(290, 0);
    }
  });
}

void Styles(DxfContext& c) {
  DxfSink& s = c.sink;
  Table(s, "STYLE", int(1 + c.styles.size()), [&](uint64_t table) {
    auto style = [&](const std::string& name, const std::string& file, const std::string& family, bool vertical) {
      Entry(s, "STYLE", table, "AcDbTextStyleTableRecord", name, vertical ? 4 : 0);
      s.Real(40, 0.0);
      s.Real(41, 1.0);
      s.Real(50, 0.0);
      s.Int(71, 0);
      s.Real(42, 2.5);
      s.Str(3, file);
      s.Str(4, "");
      if (!family.empty()) {
        s.Str(1001, "ACAD");
        s.Str(1000, family);
        s.Int(1071, 0);
      }
    };
    style("Standard", "txt", "", false);
    for (const DxfTextStyle& st : c.styles) style(st.name, st.file, st.family, st.vertical);
  });
}

void OneEntryTables(DxfContext& c) {
  DxfSink& s = c.sink;
  Table(s, "VPORT", 1, [&](uint64_t table) {
    Entry(s, "VPORT", table, "AcDbViewportTableRecord", "*Active");
    s.Real(10, 0.0), s.Real(20, 0.0), s.Real(11, 1.0), s.Real(21, 1.0);
    s.Real(12, 0.0), s.Real(22, 0.0), s.Real(13, 0.0), s.Real(23, 0.0);
    s.Real(14, 10.0), s.Real(24, 10.0), s.Real(15, 10.0), s.Real(25, 10.0);
    s.Point(16, 0, 0), s.Point(17, 0, 0);
    s.Real(40, c.paperHeight * c.paperScale), s.Real(41, c.paperWidth / c.paperHeight), s.Real(42, 50.0), s.Real(43, 0.0), s.Real(44, 0.0);
    s.Real(50, 0.0), s.Real(51, 0.0);
    s.Int(71, 0), s.Int(72, 100), s.Int(73, 1), s.Int(74, 3), s.Int(75, 0), s.Int(76, 0), s.Int(77, 0), s.Int(78, 0);
  });
  Table(s, "VIEW", 0, [](uint64_t) {});
  Table(s, "UCS", 0, [](uint64_t) {});
  Table(s, "APPID", 1, [&](uint64_t table) { Entry(s, "APPID", table, "AcDbRegAppTableRecord", "ACAD"); });
  Table(
      s, "DIMSTYLE", 1,
      [&](uint64_t table) { Entry(s, "DIMSTYLE", table, "AcDbDimStyleTableRecord", "Standard", 0, 105); }, true);
}

// The CLASSES section: the image objects are classes of their own, which a reader must be told of.
void Classes(DxfContext& c) {
  DxfSink& s = c.sink;
  s.Str(0, "SECTION");
  s.Str(2, "CLASSES");
  if (!c.imageDefs.empty()) {
    const struct {
      const char *name, *cpp;
      int flags, entity;
    } kClasses[] = {{"IMAGE", "AcDbRasterImage", 127, 1},
                    {"IMAGEDEF", "AcDbRasterImageDef", 0, 0},
                    {"IMAGEDEF_REACTOR", "AcDbRasterImageDefReactor", 1, 0},
                    {"RASTERVARIABLES", "AcDbRasterVariables", 0, 0}};
    for (const auto& k : kClasses) {
      s.Str(0, "CLASS");
      s.Str(1, k.name);
      s.Str(2, k.cpp);
      s.Str(3, "ISM");
      s.Int(90, k.flags);
      s.Int(280, 0);
      s.Int(281, k.entity);
    }
  }
  s.Str(0, "ENDSEC");
}

}  // namespace

void WriteDxfHeader(DxfContext& c, uint64_t handseed) {
  DxfSink& s = c.sink;
  s.Str(0, "SECTION");
  s.Str(2, "HEADER");
  s.Str(9, "$ACADVER");
  s.Str(1, s.Utf8() ? "AC1021" : "AC1015");
  s.Str(9, "$DWGCODEPAGE");
  s.Str(3, "ANSI_932");
  s.Str(9, "$INSBASE");
  s.Point(10, 0, 0);
  s.Str(9, "$INSUNITS");
  s.Int(70, 4);  // millimetres
  s.Str(9, "$MEASUREMENT");
  s.Int(70, 1);
  s.Str(9, "$LUNITS");
  s.Int(70, 2);
  // The sheet's paper about the origin, at true size: what the sheet covers, and where a
  // reader's view and print go. Paper space holds the paper itself.
  const double halfX = c.paperWidth / 2 * c.paperScale, halfY = c.paperHeight / 2 * c.paperScale;
  for (const char* name : {"$EXTMIN", "$LIMMIN"}) {
    s.Str(9, name);
    if (name[1] == 'E') s.Point(10, -halfX, -halfY);
    else s.Flat(10, -halfX, -halfY);
  }
  s.Str(9, "$EXTMAX");
  s.Point(10, halfX, halfY);
  s.Str(9, "$LIMMAX");
  s.Flat(10, halfX, halfY);
  s.Str(9, "$PLIMMIN");
  s.Flat(10, 0, 0);
  s.Str(9, "$PLIMMAX");
  s.Flat(10, c.paperWidth, c.paperHeight);
  s.Str(9, "$LTSCALE");
  s.Real(40, 1.0);
  s.Str(9, "$PSLTSCALE");
  s.Int(70, 0);
  s.Str(9, "$LWDISPLAY");
  s.Int(290, 1);
  s.Str(9, "$HANDSEED");
  s.Hex(5, handseed);
  s.Str(0, "ENDSEC");
  Classes(c);
}

void WriteDxfTables(DxfContext& c, const DxfFixedHandles& fixed) {
  DxfSink& s = c.sink;
  s.Str(0, "SECTION");
  s.Str(2, "TABLES");
  OneEntryTables(c);
  LineTypes(c);
  Layers(c);
  Styles(c);
  // The block table's handle was given out first: its records name it as their owner.
  s.Str(0, "TABLE");
  s.Str(2, "BLOCK_RECORD");
  s.Hex(5, fixed.blockTable);
  s.Hex(330, 0);
  s.Str(100, "AcDbSymbolTable");
  s.Int(70, int(2 + std::count(c.blockUsed.begin(), c.blockUsed.end(), true)));
  auto record = [&](uint64_t handle, const std::string& name, uint64_t layout) {
    s.Str(0, "BLOCK_RECORD");
    s.Hex(5, handle);
    s.Hex(330, fixed.blockTable);
    s.Str(100, "AcDbSymbolTableRecord");
    s.Str(100, "AcDbBlockTableRecord");
    s.Str(2, name);
    s.Hex(340, layout);
  };
  record(c.modelSpace, "*Model_Space", fixed.modelLayout);
  record(c.paperSpace, "*Paper_Space", fixed.paperLayout);
  for (size_t d = 0; d < c.blockNames.size(); ++d)
    if (c.blockUsed[d]) record(c.blockRecords[d], c.blockNames[d], 0);
  s.Str(0, "ENDTAB");
  s.Str(0, "ENDSEC");
}

namespace {

void Dictionary(DxfSink& s, uint64_t handle, uint64_t owner, const std::vector<std::pair<std::string, uint64_t>>& items) {
  s.Str(0, "DICTIONARY");
  s.Hex(5, handle);
  s.Hex(330, owner);
  s.Str(100, "AcDbDictionary");
  s.Int(281, 1);
  for (const auto& [name, h] : items) {
    s.Str(3, name);
    s.Hex(350, h);
  }
}

void Layout(DxfSink& s, uint64_t handle, uint64_t owner, const char* name, int order, uint64_t record, double w,
            double h) {
  s.Str(0, "LAYOUT");
  s.Hex(5, handle);
  s.Hex(330, owner);
  s.Str(100, "AcDbPlotSettings");
  s.Str(1, "");
  s.Str(2, "none_device");
  char paper[64];
  std::snprintf(paper, sizeof paper, "USER_(%.2f_x_%.2f_MM)", w, h);
  s.Str(4, paper);
  s.Str(6, "");
  for (int code = 40; code <= 47; ++code) s.Real(code, code == 44 ? w : code == 45 ? h : 0.0);
  s.Real(48, 0.0), s.Real(49, 0.0), s.Real(140, 0.0), s.Real(141, 0.0), s.Real(142, 1.0), s.Real(143, 1.0);
  s.Int(70, 688), s.Int(72, 1), s.Int(73, 0), s.Int(74, 5), s.Str(7, ""), s.Int(75, 16), s.Real(147, 1.0);
  s.Real(148, 0.0), s.Real(149, 0.0);
  s.Str(100, "AcDbLayout");
  s.Str(1, name);
  s.Int(70, 1);
  s.Int(71, order);
  s.Real(10, 0.0), s.Real(20, 0.0), s.Real(11, w), s.Real(21, h);
  s.Point(12, 0, 0), s.Point(14, 0, 0), s.Point(15, 0, 0);
  s.Real(146, 0.0);
  s.Point(13, 0, 0), s.Point(16, 1, 0);
  s.Real(17, 0.0), s.Real(27, 1.0), s.Real(37, 0.0);
  s.Int(76, 0);
  s.Hex(330, record);
}

// The image definitions, each with the reactor that ties it to its IMAGE, in their dictionary.
void ImageObjects(DxfContext& c, uint64_t dictionary, uint64_t variables, uint64_t root) {
  DxfSink& s = c.sink;
  std::vector<std::pair<std::string, uint64_t>> names;
  for (size_t k = 0; k < c.imageDefs.size(); ++k) names.emplace_back("IMAGE" + std::to_string(k + 1), c.imageDefs[k].handle);
  Dictionary(s, dictionary, root, names);
  for (const DxfContext::ImageDef& d : c.imageDefs) {
    s.Str(0, "IMAGEDEF");
    s.Hex(5, d.handle);
    s.Str(102, "{ACAD_REACTORS");
    s.Hex(330, d.reactor);
    s.Str(102, "}");
    s.Hex(330, dictionary);
    s.Str(100, "AcDbRasterImageDef");
    s.Int(90, 0);
    s.Str(1, d.path);
    s.Real(10, double(d.pixelsX)), s.Real(20, double(d.pixelsY));
    s.Real(11, 1.0), s.Real(21, 1.0);
    s.Int(280, 1);
    s.Int(281, 0);
    s.Str(0, "IMAGEDEF_REACTOR");
    s.Hex(5, d.reactor);
    s.Hex(330, d.image);
    s.Str(100, "AcDbRasterImageDefReactor");
    s.Int(90, 2);
    s.Hex(330, d.image);
  }
  s.Str(0, "RASTERVARIABLES");
  s.Hex(5, variables);
  s.Hex(330, root);
  s.Str(100, "AcDbRasterVariables");
  s.Int(90, 0), s.Int(70, 0), s.Int(71, 1), s.Int(72, 0);
}

}  // namespace

void WriteDxfObjects(DxfContext& c, const DxfFixedHandles& fixed) {
  DxfSink& s = c.sink;
  s.Str(0, "SECTION");
  s.Str(2, "OBJECTS");
  std::vector<std::pair<std::string, uint64_t>> root = {{"ACAD_GROUP", fixed.groups}, {"ACAD_LAYOUT", fixed.layouts}};
  const uint64_t images = c.imageDefs.empty() ? 0 : s.NewHandle();
  const uint64_t imageVariables = c.imageDefs.empty() ? 0 : s.NewHandle();
  if (images) root.emplace_back("ACAD_IMAGE_DICT", images), root.emplace_back("ACAD_IMAGE_VARS", imageVariables);
  Dictionary(s, fixed.root, 0, root);
  Dictionary(s, fixed.groups, fixed.root, {});
  Dictionary(s, fixed.layouts, fixed.root, {{"Layout1", fixed.paperLayout}, {"Model", fixed.modelLayout}});
  Layout(s, fixed.modelLayout, fixed.layouts, "Model", 0, c.modelSpace, c.paperWidth, c.paperHeight);
  Layout(s, fixed.paperLayout, fixed.layouts, "Layout1", 1, c.paperSpace, c.paperWidth, c.paperHeight);
  if (images) ImageObjects(c, images, imageVariables, fixed.root);
  s.Str(0, "ENDSEC");
  s.Str(0, "EOF");
}

}  // namespace kelvane
