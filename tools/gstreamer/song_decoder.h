// intromusicdec: a GStreamer element that takes a whole Extended Module song
// from upstream (audio/x-xm, or audio/x-mod of type xm), loads it with the
// intro music library once upstream ends, and pushes interleaved stereo
// S16LE or F32LE at the rate downstream takes (44,100 Hz when it may choose).
//
//     gst-launch-1.0 filesrc location=song.xm ! intromusicdec ! audioconvert ! autoaudiosink
//
// It answers duration (the one pass) and position queries, seeks in time
// (flushing or not, accurate to a frame, within the first pass), sends
// title, tracker (as encoder), instrument names (as comment) and channel
// count tags, and posts the library's message as an error when a song does
// not load. The song's bytes are gathered in memory until upstream ends;
// files larger than the library loads (2 GiB) are refused before that.
//
// THREADING: the Module is used by the source pad's task, by seeks from the
// application thread and by property changes; one mutex serialises them.
#pragma once

#include <gst/gst.h>

namespace intro_music_gst {

inline constexpr const char* decoderName = "intromusicdec";
// Above openmptdec (primary + 2) and modplug (primary): for XM only, as the
// sink caps are XM only.
inline constexpr guint decoderRank = GST_RANK_PRIMARY + 10;

GType songDecoderType();
gboolean registerSongDecoder(GstPlugin* plugin);

}  // namespace intro_music_gst
