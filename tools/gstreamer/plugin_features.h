// The plugin's features in one call: the element and the type finder. The
// installed plugin (plugin.cpp) and programs that register it statically
// (the tests) both use it.
#pragma once

#include <gst/gst.h>

namespace intro_music_gst {

inline constexpr const char* pluginName = "intromusic";
inline constexpr const char* pluginDescription = "Extended Module (XM) tracker songs played by the intro music engine";

gboolean registerPluginFeatures(GstPlugin* plugin);

}  // namespace intro_music_gst
