// Painting a display list onto one page of a PDF: paths, arcs, fills, texts and images.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/display_list.h"
#include "render/glyph_layout.h"
#include "render/pdf/item_bounds.h"
#include "render/pdf/pdf_document.h"
#include "render/pdf/pdf_fonts.h"
#include "render/pdf/pdf_images.h"
#include "render/pdf/pdf_layers.h"
#include "render/pdf/pdf_options.h"
#include "render/pdf/pdf_units.h"

namespace kelvane::pdf {

// What the content stream has set, so that it is set again only when it changes; kept on a
// stack beside the stream's own q/Q.
struct GraphicsState {
  Rgb stroke{0, 0, 0}, fill{0, 0, 0};
  double width = 1;  // in content units
  int64_t dash = -1;  // the stroke style whose dashes are set; -1 for a solid line
  int cap = 0;
  int textMode = 0;  // text filled (0), filled and stroked (2, thickened) or invisible (3)
};

// A character of a run as the page shows it, looked up once.
struct Character {
  FaceGlyph glyph;
  std::u16string text;
  bool missing = true;  // no face has it: a box is drawn
};

// Replays one display list onto the content stream of a page.
class PagePainter {
 public:
  PagePainter(const DisplayList& list, double pageScale, DeflateStream& out, DocumentFonts& fonts,
              DocumentImages& images, const PdfOutput& output, double userUnit = 1, DocumentLayers* layers = nullptr)
      : list_(list), devicePerMm_(pageScale * kPointsPerInch / kMmPerInch), userUnit_(userUnit), layers_(layers),
        out_(out), fonts_(fonts),
        images_(images), output_(output), bounds_(list, kPointsPerInch / kScreenDpi / devicePerMm_, kMaxPlacementDepth) {
    page_.Add(0, 0);
    page_.Add(list.width, list.height);
  }

  void Paint();

 private:
  void DrawItems(const DisplayList& items, int depth);
  void DrawPlacement(const Placement& p, int depth);

  // Appends a point; false for one not finite or far beyond any page.
  bool Point(std::string& s, double x, double y);

  // Appends a polyline as a path; false (and nothing appended) when a point cannot be drawn.
  bool Path(std::string& s, const PagePoint* p, uint32_t count, bool closed);

  // What the content stream has set is set again only when it changes.
  static void AppendColor(std::string& s, Rgb c, const char* op);
  void SetStroke(Rgb c);
  void SetFill(Rgb c);
  void SetWidth(double width);
  void SetCap(int cap);

  // Content units for a length given in output pixels.
  double PixelsToUnits(double px) const { return px * kPointsPerInch / kScreenDpi / devicePerMm_ * kUnitsPerMm; }

  // Sets the style's dashes; false when they draw nothing sensible (negative, none long, not
  // finite), for which the stroke is left out as the cairo pages leave it out.
  bool SetDashes(const StrokeStyle& style, uint32_t index);

  // The arc a stroke is, when the list gives one.
  const StrokeArc* ArcOf(uint32_t stroke) const;

  // Appends an arc of an ellipse as Bézier curves, each near enough to the true arc that with
  // the rounding of its points it stays within the arc tolerance; false (nothing appended) when
  // it cannot be drawn so.
  bool Curves(std::string& s, const StrokeArc& arc, bool closed);

  void DrawStroke(const Stroke& s, uint32_t index);
  void DrawFill(const Fill& f);
  void DrawPicture(const Picture& p);
  void LeaveOut(ImageProblem problem);

  // Texts (pdf_page_text.cpp).
  const Character& CharacterOf(const TextRun& t, uint32_t code, int face);
  void DrawText(const TextRun& t);
  void SetTextOutline(int face, double emUnits, bool invisible);
  void ShowGlyph(const Character& c, const GlyphPlacement& p, bool invisible = false);
  void DrawMissingGlyph(const MissingGlyphBox& box, Rgb color);
  const Glyph* FitToFontWidths(const TextRun& t, int face);

  const DisplayList& list_;
  const DisplayList* pools_ = nullptr;
  double devicePerMm_;  // points of the page per list millimetre
  double userUnit_;     // points per unit of the page's own space
  DocumentLayers* layers_;  // none: the layers are not marked
  DeflateStream& out_;
  DocumentFonts& fonts_;
  DocumentImages& images_;
  const PdfOutput& output_;
  GraphicsState state_;
  std::vector<GraphicsState> states_;
  ItemBounds bounds_;
  Box page_;                            // in list millimetres
  double offsetX_ = 0, offsetY_ = 0;    // of the list being drawn, by the placements around it
  std::unordered_map<uint64_t, Character> characters_;
  std::unordered_map<uint32_t, int> faces_;  // by font, bold and italic
  std::string text_;      // the text object being put together
  std::string actual_;    // its characters, for a reader that extracts the text whole
  int textFont_ = -1;     // the font resource the text object has selected
  bool inText_ = false;   // between BT and ET
  Rgb textColor_;          // of the text being put together
  std::vector<double> advances_;
  std::vector<Glyph> fitted_;
};

}  // namespace kelvane::pdf
