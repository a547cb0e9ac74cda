// The tags the decoder sends for a song: title, the tracker's name as the
// encoder, the instrument names as the comment (where musicians write their
// messages) and the channel count as an extended comment, all in UTF-8.
#pragma once

#include <gst/gst.h>
#include <intro_music.h>

namespace intro_music_gst {

// A new tag list the caller owns.
GstTagList* songTags(const intro_music::Module* module, const intro_music::Metadata& metadata);

}  // namespace intro_music_gst
