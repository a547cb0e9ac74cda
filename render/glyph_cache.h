// One coverage texture and the metrics of each character code 0 to 127,
// rasterised once from the embedded font.
#pragma once

#include <cstdint>
#include <map>

#include "embedded_resource.h"
#include "gl_loader.h"

struct Glyph {
    uint32_t texture;  // 0 for an empty glyph
    int32_t width;     // bitmap size in pixels
    int32_t rows;
    int32_t left;      // pen position to the bitmap's left edge
    int32_t top;       // baseline up to the bitmap's top row
    uint32_t advance;  // 26.6 fixed point
};

using GlyphCache = std::map<int8_t, Glyph>;

inline constexpr int cachedCharacterCount = 128;
inline constexpr int advanceFractionBits = 6;

// Whole pixels the pen moves after the glyph; the fraction is dropped.
inline uint32_t pixelAdvance(const Glyph& glyph) { return glyph.advance >> advanceFractionBits; }

// The cached glyph of `character`; an uncached one gets an empty entry.
const Glyph& lookupGlyph(GlyphCache& glyphs, int8_t character);

// Rasterises codes 0 to 127 of a TrueType font at `pixelSize` into `glyphs`,
// one GL_RED texture each, and leaves GL_UNPACK_ALIGNMENT at 1. Failures are
// reported on standard output; a failing character stays out of the cache.
void rasteriseFont(const EmbeddedResource& font, uint32_t pixelSize, GlyphCache& glyphs);

// Deletes every cached texture and empties the cache.
void releaseGlyphs(GlyphCache& glyphs);
