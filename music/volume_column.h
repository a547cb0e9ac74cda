// The volume column of a cell: volume set and slides, vibrato speed and
// depth, panning set and slides, tone portamento.
#pragma once

#include "effects.h"

void applyVolumeColumnFirstTick(ChannelTick& tick);
void applyVolumeColumnLaterTick(ChannelTick& tick);
