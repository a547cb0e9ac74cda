// The decoder element's properties: one table entry each, mirroring a
// library setting. An entry names the property, builds its GParamSpec, says
// whether it may change while playing and applies a value to a Module.
#pragma once

#include <gst/gst.h>
#include <intro_music.h>

#include <span>

namespace intro_music_gst {

struct DecoderProperty {
    const char* name;
    GParamSpec* (*makeSpec)(const char* name);
    // Rules restart the song, so they are taken when the song loads only.
    bool changesWhilePlaying;
    void (*apply)(intro_music::Module* module, const GValue* value);
};

// In property id order: id = index + 1.
std::span<const DecoderProperty> decoderProperties();

// The GEnum type of the rules property ("tracker", "intro").
GType rulesEnumType();
// The GEnum type of the interpolation property ("nearest", "linear", "cubic", "sinc").
GType interpolationEnumType();

// The repeat-count value: -1 plays for ever, so no duration is known.
inline constexpr const char* repeatCountProperty = "repeat-count";

}  // namespace intro_music_gst
