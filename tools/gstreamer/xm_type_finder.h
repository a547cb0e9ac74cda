// The type finder for Extended Module songs: the library's probe on the
// first bytes, audio/x-xm when they are a song's header.
#pragma once

#include <gst/gst.h>

namespace intro_music_gst {

inline constexpr const char* xmMediaType = "audio/x-xm";

// Above the general module type finder (secondary), so that XM files become
// audio/x-xm, which only our decoder takes; GST_PLUGIN_FEATURE_RANK lowers it.
inline constexpr guint typeFinderRank = GST_RANK_PRIMARY;

gboolean registerXmTypeFinder(GstPlugin* plugin);

}  // namespace intro_music_gst
