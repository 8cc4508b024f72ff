// Writes the seed inputs of every fuzz target, all made by the project's own code.
// Usage: make_seeds <folder>; makes <folder>/{load,settings,handover,sheetnames}.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/example.h"
#include "app/options.h"
#include "app/settings.h"
#include "jww/builder.h"
#include "jww/images.h"
#include "jww/document.h"

using namespace kelvane;
namespace fs = std::filesystem;

namespace {

bool g_ok = true;

void Put(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
    g_ok = false;
  }
}

void Require(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "seed failed: %s\n", what.c_str());
    g_ok = false;
  }
}

Attr FrameAttr() {
  Attr a;
  a.penColor = 9;
  a.penStyle = 19;
  a.penWidth = 200;
  return a;
}

// A small drawing holding one entity of every kind, one frame and one name text, so that a
// mutation reaches every record reader within a few hundred bytes.
void SmallDrawing(const fs::path& file, int32_t version, bool unicode) {
  JwwDocument doc;
  InitDrawing(doc, version, unicode);
  const Attr f = FrameAttr();
  AddLine(doc, 0, 0, 297, 0, f);
  AddLine(doc, 297, 0, 297, 210, f);
  AddLine(doc, 297, 210, 0, 210, f);
  AddLine(doc, 0, 210, 0, 0, f);
  Attr nameAttr;
  nameAttr.penColor = 9;
  const JwwString name = unicode ? JwwString::Wide(u"\u3010\u540D\u3011A\u3010\uFF2C\u301112")
                                 : JwwString::Sjis("\x81\x79\x96\xBC\x81\x7A" "A\x81\x79\x82\x6B\x81\x7A" "12");
  const int32_t t = AddText(doc, 10, 10, name, nameAttr, 3.5);
  doc.texts[size_t(t)].textType = 0;
  AddLine(doc, 20, 20, 100, 80);
  AddArc(doc, 150, 100, 30, 0.5, 2.0);
  AddPoint(doc, 40, 150);
  AddText(doc, 50, 50, JwwString::Ascii("note", unicode));
  AddDimension(doc, 20, 190, 120, 190, JwwString::Ascii("100", unicode));
  AddSolid(doc, 200, 20, 250, 20, 250, 60, 200, 60);
  AddArcSolid(doc, 230, 150, 20, 0, 3.0);
  EntityLists& def = AddBlockDef(doc, 1, JwwString::Ascii("door", unicode));
  AddLine(def, 0, 0, 0, 9);
  AddBlockInsert(doc, 1, 120, 120);
  doc.NormaliseBlocks();
  Require(doc.SaveToFile(file, version), file.string());
}

void LoadSeeds(const fs::path& dir) {
  const fs::path example = dir / "example_v700.jww";
  Require(WriteExampleDrawing(example), "example drawing");
  JwwDocument doc;
  Require(doc.LoadFromFile(example), "example drawing reload");
  for (int32_t v : {230, 351, 420, 600})
    Require(doc.SaveToFile(dir / ("example_v" + std::to_string(v) + ".jww"), v), "example at " + std::to_string(v));
  for (int32_t v : {230, 351, 420, 600, 700}) SmallDrawing(dir / ("small_sjis_v" + std::to_string(v) + ".jww"), v, false);
  SmallDrawing(dir / "small_unicode_v700.jww", 700, true);
  {
    // Nothing but one block insertion and its definition.
    JwwDocument blocks;
    InitDrawing(blocks, 230, false);
    AddLine(AddBlockDef(blocks, 1, JwwString::Sjis("b")), 0, 0, 1, 1);
    AddBlockInsert(blocks, 1, 5, 5);
    blocks.NormaliseBlocks();
    Require(blocks.SaveToFile(dir / "blocks_v230.jww", 230), "blocks drawing");
    // No entity at all, every string empty in the Unicode form.
    JwwDocument empty;
    InitDrawing(empty, 700, true);
    Require(empty.SaveToFile(dir / "empty_unicode_v700.jww", 700), "empty drawing");
  }
  // Broken on purpose: the signature alone, and a header cut short.
  Put(dir / "signature_only.jww", "JwwData.");
  Put(dir / "header_cut.jww", std::string("JwwData.\xbc\x02\x00\x00", 12));
}

void SettingsSeeds(const fs::path& dir) {
  SplitOptions o;
  const WindowPosition p;
  Require(SaveSettings(dir / "defaults.dat", o, p), "default settings");
  o.outputFolder = OutputFolder::kGivenFolder;
  o.givenFolder = "C:\\out\\\x90\x7D\x96\xCA\\";  // 図面
  o.separator = "\x81\x5B";                      // ー
  o.namingPattern = NamingPattern::kNumberSourceName;
  o.leadingZeros = true;
  o.startNumber = 12;
  o.numberingDirection = NumberingDirection::kColumns;
  o.printAfterSplit = o.drawFrameOnFF = o.compactEmptyNumbers = o.confirmSavedBeforeRun = true;
  o.margin = 2.5;
  Require(SaveSettings(dir / "all_set.dat", o, p), "settings with every option");
  Put(dir / "short_lf.dat", "10\n20\n0\n1\n0\n0\n\n-\n9\n-3\n");
  Put(dir / "words_hex.dat", "$10\r\n0x20\r\nTRUE\r\nON\r\n\x81\x9B\r\n\x90\x5E\r\nD:\\\r\n<>\r\n+7\r\n 1\r\n99999\r\nT\r\nTR\r\n"
                             "TRU\r\n1e3\r\n\x82\x50\r\n5\r\n");
  Put(dir / "reals_cr.dat", "0\r0\r1\r0\r0\r0\r\r_\r0\r0\r0\r0\r0\r0\r-0.000001\r0\r0\r");
}

void HandOverSeeds(const fs::path& dir) {
  Put(dir / "plain.txt", "file=C:\\JWW\\drawing.jww\r\n");
  Put(dir / "sections.txt", "[JWC_TEMP]\r\nmode=1\r\nfile= C:\\\x90\x7D\x96\xCA\\a.JWW \r\nfile=second.jww\r\n");
  Put(dir / "no_newline.txt", "x\nfile=\t/tmp/\x83\x5C.jww");
  Put(dir / "empty_value.txt", "file=\r\nfile=  \r\n");
}

std::string Utf16(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += char(c & 0xFF), out += char(c >> 8);
  return out;
}

// Texts for the name target: control byte (bit 0 Unicode, bit 1 name mark, bits 2-3 place,
// bits 4-5 layer group), then the text; texts end at '\n'.
void SheetNameSeeds(const fs::path& dir) {
  const std::string plan = "\x90\x7D";  // 図
  Put(dir / "sjis.txt", std::string("\x02") + "1F" + plan + "\n\x02" + "\x90\xDD\x94\xF5\x81\x79\x82\x6B\x81\x7A" "1" +
                            "\n\x02" + "1f" + plan + "\n\x00" + "plain\n");
  Put(dir / "unicode.txt", std::string("\x03") + Utf16(u"1F平面図") + "\n\x03" + Utf16(u"設備【Ｌ】1") + "\n\x03" +
                               Utf16(u"1f平面図") + "\n\x13" + Utf16(u"ａｂ【Ｌ】A0") + "\n");
  Put(dir / "repeats.txt", "\x02" "a\n\x02" "A\n\x02" "a\n\x02" "b\n\x22" "b\n\x02" " a \n");
  Put(dir / "places.txt", "\x06" "corner\n\x4A" "edge\n\x0E" "outside\n\x02" "in\n");
  Put(dir / "unusable.txt", "\x02" "a.b\n\x02" "c~1\n\x02" "d\x83\x5C" "e\n\x03" + Utf16(u"x\\y") + "\n");
  std::string many;
  for (int i = 0; i < 20; ++i) many += "\x02n" + std::to_string(i % 7) + "\n";
  Put(dir / "many.txt", many);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* t : {"load", "settings", "handover", "sheetnames"}) fs::create_directories(root / t);
  LoadSeeds(root / "load");
  SettingsSeeds(root / "settings");
  HandOverSeeds(root / "handover");
  SheetNameSeeds(root / "sheetnames");
  return g_ok ? 0 : 1;
}
