// Cutting a TrueType font program down to some of its glyphs, for embedding: the glyphs keep
// their ids, every other glyph is left empty. For systems whose own subsetter does not cut.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane {

// The font (a single TrueType face with 'glyf' outlines) holding only the given glyphs, glyph 0
// and the parts of composite glyphs among them, with the tables a PDF viewer reads (outlines,
// metrics, hinting, cmap, names); nothing when it is not such a font or is damaged.
std::optional<std::string> KeepGlyphs(const std::string& font, const std::vector<uint16_t>& glyphs);

}  // namespace kelvane
