// The loadable plugin, libgstintromusic.so.
#include "plugin_features.h"

namespace {

gboolean initialisePlugin(GstPlugin* plugin) { return intro_music_gst::registerPluginFeatures(plugin); }

}  // namespace

// The name token must match intro_music_gst::pluginName.
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, intromusic, intro_music_gst::pluginDescription,
                  initialisePlugin, INTRO_GST_PLUGIN_VERSION, "MIT/X11", PACKAGE, "intro")
