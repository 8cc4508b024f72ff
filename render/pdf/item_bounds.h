// Where the items of a display list draw, so that a page leaves out what falls wholly off it: a
// large drawing's page shows a small part of it.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "render/display_list.h"

namespace kelvane::pdf {

struct Box {
  double minX = std::numeric_limits<double>::infinity(), minY = minX;
  double maxX = -std::numeric_limits<double>::infinity(), maxY = maxX;
  void Add(double x, double y);
  void Add(const Box& b, double dx, double dy);
  void Grow(double by) { minX -= by, minY -= by, maxX += by, maxY += by; }
  // Whether the box moved by (dx, dy) meets `other`; a box with a coordinate not finite meets
  // everything, and the item decides for itself whether it can be drawn.
  bool Meets(const Box& other, double dx, double dy) const;
};

// Bounds in list millimetres, generous by a line's width and a glyph's overhang; each sublist
// is measured once however often it is placed.
class ItemBounds {
 public:
  // `pixelMm`: the millimetres of a device pixel, for styles given in pixels.
  ItemBounds(const DisplayList& list, double pixelMm, int maxDepth)
      : list_(list), pixelMm_(pixelMm), maxDepth_(maxDepth), sublists_(list.sublists.size()),
        state_(list.sublists.size(), 0) {}
  Box Of(const DisplayList& items, const ItemRef& r, int depth);
  Box Sublist(uint32_t index, int depth);

 private:
  Box Stroke(const DisplayList& items, const kelvane::Stroke& s) const;
  Box Fill(const DisplayList& items, const kelvane::Fill& f) const;
  Box Text(const DisplayList& items, const TextRun& t) const;
  static Box PictureBox(const Picture& p);

  const DisplayList& list_;
  double pixelMm_;
  int maxDepth_;
  std::vector<Box> sublists_;
  std::vector<uint8_t> state_;  // 0 not measured, 1 being measured, 2 measured
};

}  // namespace kelvane::pdf
