// The limits the display list builder keeps to: values it takes for broken, and the most work
// it does for one drawing. Shared by the builder's files alone.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "drawing/page_geometry.h"

namespace kelvane {

inline constexpr int kMaxBlockDepth = 32;
inline constexpr size_t kReserveCapBytes = size_t(256) << 20;
// Page coordinates beyond this (millimetres) come only from broken values: the entity is left out.
inline constexpr double kAbsurd = 1e15;
// A character cell larger than this (a hundred metres) is not text anyone can print.
inline constexpr double kLargestCell = 1e5;
// Block members drawn per entity of the drawing (its own and its blocks'), with a floor for
// small drawings and a ceiling that keeps list memory and drawing time in bounds.
inline constexpr uint64_t kMembersPerEntity = 1000;
inline constexpr uint64_t kLeastMemberBudget = 1000000;
inline constexpr uint64_t kMostMemberBudget = 20000000;
inline constexpr uint64_t kShareStep = 65536;
// A stroke of more dash patterns than this is drawn solid: no normal line comes near it.
inline constexpr double kMostDashPatterns = 100000;
// Only ellipses larger than this on the page (millimetres) are checked against it, and they are
// culled only when clear of it by the margin: ordinary arcs are never culled.
inline constexpr double kCullFrom = 10000;
inline constexpr double kCullMargin = 100;
// Strokes reaching further than this beyond the page (millimetres) are cut at that distance:
// cairo's fixed-point coordinates cannot hold them, and such lengths come from broken values.
inline constexpr double kFarOff = 1e6;

inline bool Usable(double v) { return std::fabs(v) < kAbsurd; }  // false for NaN and infinities too
inline bool Usable(Vec2 p) { return Usable(p.x) && Usable(p.y); }

// Two coordinates compared at once, so that the checks every entity passes stay a few
// instructions without branches (a GCC and Clang vector type, as both builds use).
typedef double Pair __attribute__((vector_size(16)));
typedef long long PairMask __attribute__((vector_size(16)));

inline Pair PairOf(Vec2 v) { return Pair{v.x, v.y}; }
inline bool Both(PairMask m) { return (m[0] & m[1]) != 0; }
// Strictly inside lo..hi, both coordinates; NaN is not.
inline PairMask Inside(Pair v, Pair lo, Pair hi) { return (v > lo) & (v < hi); }
inline PairMask Usable(Pair v) { return Inside(v, Pair{-kAbsurd, -kAbsurd}, Pair{kAbsurd, kAbsurd}); }
inline bool Usable(const Affine& k) {
  return Both(Usable(Pair{k.a, k.b}) & Usable(Pair{k.c, k.d}) & Usable(Pair{k.e, k.f}));
}

}  // namespace kelvane
