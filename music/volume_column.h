// The volume column of a cell: volume set and slides, vibrato speed and
// depth, panning set and slides, tone portamento.
#pragma once

#include "effects.h"

namespace intro_music::engine {

void applyVolumeColumnFirstTick(ChannelTick& tick);
void applyVolumeColumnLaterTick(ChannelTick& tick);

}  // namespace intro_music::engine
