#include "glyph_cache.h"

#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

void report(const char* message) {
    std::printf("%s\n", message);
    std::fflush(stdout);
}

GLuint uploadCoverage(const FT_Bitmap& bitmap) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, static_cast<GLsizei>(bitmap.width), static_cast<GLsizei>(bitmap.rows), 0,
                 GL_RED, GL_UNSIGNED_BYTE, bitmap.buffer);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return texture;
}

}  // namespace

const Glyph& lookupGlyph(GlyphCache& glyphs, int8_t character) {
    return glyphs.try_emplace(character, Glyph{}).first->second;
}

void rasteriseFont(const EmbeddedResource& font, uint32_t pixelSize, GlyphCache& glyphs) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        report("ERROR::FREETYPE: Could not init FreeType Library");
        return;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, font.data, static_cast<FT_Long>(font.size), 0, &face) != 0) {
        report("ERROR::FREETYPE: Failed to load font");
        FT_Done_FreeType(library);
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, pixelSize);
    // Coverage rows are exactly `width` bytes long.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int code = 0; code < cachedCharacterCount; ++code) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) {
            report("ERROR::FREETYTPE: Failed to load Glyph");
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const Glyph glyph{
            uploadCoverage(slot->bitmap),
            static_cast<int32_t>(slot->bitmap.width),
            static_cast<int32_t>(slot->bitmap.rows),
            static_cast<int32_t>(slot->bitmap_left),
            static_cast<int32_t>(slot->bitmap_top),
            static_cast<uint32_t>(slot->advance.x),
        };
        glyphs.insert_or_assign(static_cast<int8_t>(code), glyph);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

void releaseGlyphs(GlyphCache& glyphs) {
    for (auto& [character, glyph] : glyphs) {
        if (glyph.texture != 0) {
            glDeleteTextures(1, &glyph.texture);
        }
    }
    glyphs.clear();
}
