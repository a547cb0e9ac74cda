#include "xm_type_finder.h"

#include <intro_music.h>

namespace intro_music_gst {
namespace {

void findXm(GstTypeFind* find, gpointer) {
    const guint8* header = gst_type_find_peek(find, 0, intro_music::probeBytes);
    if (header != nullptr && intro_music::probe(header, intro_music::probeBytes) == intro_music::Probe::Song) {
        gst_type_find_suggest_empty_simple(find, GST_TYPE_FIND_MAXIMUM, xmMediaType);
    }
}

}  // namespace

gboolean registerXmTypeFinder(GstPlugin* plugin) {
    GstCaps* caps = gst_caps_new_empty_simple(xmMediaType);
    const gboolean registered =
        gst_type_find_register(plugin, "intromusic_xm", typeFinderRank, findXm, "xm", caps, nullptr, nullptr);
    gst_caps_unref(caps);
    return registered;
}

}  // namespace intro_music_gst
