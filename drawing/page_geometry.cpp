// Composing affine maps of the page.
#include "drawing/page_geometry.h"

namespace kelvane {

Affine Affine::Then(const Affine& o) const {
  return {o.a * a + o.c * b, o.b * a + o.d * b, o.a * c + o.c * d, o.b * c + o.d * d,
          o.a * e + o.c * f + o.e, o.b * e + o.d * f + o.f};
}

}  // namespace kelvane
