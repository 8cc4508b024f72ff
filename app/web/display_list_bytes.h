// A display list as bytes for the page's canvas and SVG backends (app/web/page/kelvane.js reads
// them). Little-endian; "f" float32, "d" float64, "u" uint32, "b" uint8; strings are u length
// then UTF-8 bytes:
//   "KVDL" u version(1) d width d height b r b g b b b 0
//   u styleCount, each: b r b g b b b devicePixels f width f dashOffset u dashCount f dash...
//   u fontCount, each: string        u imageCount, each: string (the reference as stored)
//   u listCount (the list, then its sublists), each: u itemCount, each: b kind, then
//     0 stroke:    u style b closed u pointCount f x f y...
//     1 fill:      b r b g b b u ringCount, each: u pointCount f x f y...
//     2 text:      b r b g b b b flags(1 bold, 2 italic) u font u glyphCount,
//                  each: f ox f oy f ax f ay f ux f uy u codePoint
//     3 picture:   u image d ox d oy d ax d ay d ux d uy d clipX d clipY d clipWidth d clipHeight
//     4 placement: u list (1 + the sublist's index) d dx d dy
// Point and glyph arrays start on a multiple of four bytes (zero bytes pad after their count).
// Glyph codes are Unicode code points whatever form the run had.
#pragma once

#include <string>

#include "render/display_list.h"

namespace kelvane {

std::string DisplayListBytes(const DisplayList& list);

}  // namespace kelvane
