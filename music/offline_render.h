// Renders a song without a device or a thread, block by block, through the
// same block fill that playback uses. For tools and tests.
#pragma once

#include <cstdint>

struct Song;
struct OfflineRender;

// Stops any playback, resets the song as a start of playback does and takes
// over the mixer. Null for a null song or when memory runs out.
OfflineRender* beginOfflineRender(Song* song);
// The next blockLength stereo frames (interleaved left, right), valid until
// the next call. Null once playback or another render has taken the mixer.
const int16_t* renderOfflineBlock(OfflineRender* render);
// Releases the render and gives the mixer up; null is ignored.
void endOfflineRender(OfflineRender* render);
