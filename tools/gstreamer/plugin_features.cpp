#include "plugin_features.h"

#include "song_decoder.h"
#include "xm_type_finder.h"

namespace intro_music_gst {

gboolean registerPluginFeatures(GstPlugin* plugin) {
    return registerSongDecoder(plugin) && registerXmTypeFinder(plugin);
}

}  // namespace intro_music_gst
