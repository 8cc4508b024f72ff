// Paper sizes by code, and the page of a sheet.
#include "drawing/paper.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "split/extract.h"

namespace kelvane {

bool PaperSizeMm(int32_t code, double& w, double& h) {
  static const double kSizes[15][2] = {{1189, 841}, {841, 594},   {594, 420},   {420, 297},   {297, 210},
                                       {0, 0},      {0, 0},       {0, 0},       {1682, 1189}, {2378, 1682},
                                       {3364, 2378}, {4756, 3364}, {10000, 7073}, {50000, 35366}, {100000, 70732}};
  if (code < 0 || code > 14 || kSizes[code][0] == 0) return false;
  w = kSizes[code][0];
  h = kSizes[code][1];
  return true;
}

void SheetPageSize(const PaperFrame& f, int32_t paperSize, double& w, double& h) {
  const double fw = std::fabs(f.maxX - f.minX), fh = std::fabs(f.maxY - f.minY);
  // The header's paper is always landscape, so a portrait frame's code is one size up. The
  // picture prints 1:1 on the frame's own paper: the page the frame turned landscape gets,
  // turned back.
  const bool portrait = fh > fw;
  if (portrait) {
    PaperFrame turned;
    turned.maxX = fh;
    turned.maxY = fw;
    paperSize = PaperSizeFor(turned);
  }
  double pw = 0, ph = 0;
  if (!PaperSizeMm(paperSize == 8 ? 0 : paperSize, pw, ph)) pw = ph = 0;
  if (portrait) std::swap(pw, ph);
  w = std::max(pw, fw);
  h = std::max(ph, fh);
}

}  // namespace kelvane
