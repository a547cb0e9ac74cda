#include "decoder_properties.h"

#include <array>

namespace intro_music_gst {
namespace {

constexpr GParamFlags playingFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);
constexpr GParamFlags readyFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);

// The library's ranges (intro_music.h).
constexpr int lowestSeparation = 0;
constexpr int defaultSeparation = 100;
constexpr int highestSeparation = 200;
constexpr double lowestGain = 0.0;
constexpr double defaultGain = 1.0;
constexpr double highestGain = 16.0;

const std::array<DecoderProperty, 5> properties{{
    {"rules",
     [](const char* name) {
         return g_param_spec_enum(name, "Rules",
                                  "The playback rules: the tracker's (quirks included) or the intro presentation's",
                                  rulesEnumType(), static_cast<gint>(intro_music::Rules::Tracker), readyFlags);
     },
     false,
     [](intro_music::Module* module, const GValue* value) {
         intro_music::setRules(module, static_cast<intro_music::Rules>(g_value_get_enum(value)), nullptr);
     }},
    {repeatCountProperty,
     [](const char* name) {
         return g_param_spec_int(name, "Repeat count",
                                 "Passes played after the first: 0 plays the song once, -1 loops for ever", -1,
                                 G_MAXINT32, 0, playingFlags);
     },
     true,
     [](intro_music::Module* module, const GValue* value) {
         intro_music::setRepeatCount(module, g_value_get_int(value));
     }},
    {"stereo-separation",
     [](const char* name) {
         return g_param_spec_int(name, "Stereo separation",
                                 "Percent: 0 plays every channel in the middle, 100 the song's own image, 200 "
                                 "widens it",
                                 lowestSeparation, highestSeparation, defaultSeparation, playingFlags);
     },
     true,
     [](intro_music::Module* module, const GValue* value) {
         intro_music::setStereoSeparation(module, g_value_get_int(value));
     }},
    {"master-gain",
     [](const char* name) {
         return g_param_spec_double(name, "Master gain", "A factor on the whole mix", lowestGain, highestGain,
                                    defaultGain, playingFlags);
     },
     true,
     [](intro_music::Module* module, const GValue* value) {
         intro_music::setMasterGain(module, g_value_get_double(value));
     }},
    {"interpolation",
     [](const char* name) {
         return g_param_spec_enum(name, "Interpolation",
                                  "How voices are resampled: linear (as the format's tracker), sinc (band-limited, "
                                  "the cleanest), cubic or nearest (the raw sample-and-hold sound)",
                                  interpolationEnumType(), static_cast<gint>(intro_music::Interpolation::Linear),
                                  playingFlags);
     },
     true,
     [](intro_music::Module* module, const GValue* value) {
         intro_music::setInterpolation(module, static_cast<intro_music::Interpolation>(g_value_get_enum(value)),
                                       nullptr);
     }},
}};

}  // namespace

std::span<const DecoderProperty> decoderProperties() { return properties; }

GType rulesEnumType() {
    static const GEnumValue values[] = {
        {static_cast<gint>(intro_music::Rules::Tracker), "The tracker's rules", "tracker"},
        {static_cast<gint>(intro_music::Rules::Presentation), "The intro presentation's rules", "intro"},
        {0, nullptr, nullptr},
    };
    static const GType type = g_enum_register_static("IntroMusicRules", values);
    return type;
}

GType interpolationEnumType() {
    static const GEnumValue values[] = {
        {static_cast<gint>(intro_music::Interpolation::Nearest), "Sample and hold", "nearest"},
        {static_cast<gint>(intro_music::Interpolation::Linear), "Linear, as the format's tracker", "linear"},
        {static_cast<gint>(intro_music::Interpolation::Cubic), "A 4-point cubic spline", "cubic"},
        {static_cast<gint>(intro_music::Interpolation::Sinc), "A band-limited windowed sinc", "sinc"},
        {0, nullptr, nullptr},
    };
    static const GType type = g_enum_register_static("IntroMusicInterpolation", values);
    return type;
}

}  // namespace intro_music_gst
