// Renders a song without a device or a thread, block by block, through the
// same block fill that playback uses, on an engine of the render's own. For
// tools and tests.
#pragma once

#include <cstdint>

namespace intro_music::engine {

struct Song;
struct MusicEngine;
struct OfflineRender;

// Resets the song as a start of playback does, on a fresh engine. The song
// must not play anywhere else meanwhile: its play state moves with the
// render. Null for a null song or when memory runs out.
OfflineRender* beginOfflineRender(Song* song);
// The next blockLength stereo frames (interleaved left, right), valid until
// the next call. Null for a null render.
const int16_t* renderOfflineBlock(OfflineRender* render);
// The engine the render plays the song on, for tools that watch it.
MusicEngine* offlineRenderEngine(OfflineRender* render);
// Releases the render; null is ignored.
void endOfflineRender(OfflineRender* render);

}  // namespace intro_music::engine
