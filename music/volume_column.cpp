#include "volume_column.h"

#include <algorithm>
#include <cstdint>

namespace intro_music::engine {

namespace {

// The volume byte splits into a command (high nibble) and its value (low nibble).
constexpr int32_t commandShift = 4;
constexpr int32_t valueMask = 0x0F;
constexpr int32_t commandCount = 16;
// Bytes 0x10..0x50 set the volume to byte - 0x10.
constexpr int32_t setVolumeBase = 0x10;
constexpr int32_t setVolumeLast = 0x50;
constexpr int32_t panningStep = 16;          // 0xC0..0xCF: panning = 16 x value
constexpr int32_t tonePortamentoScale = 16;  // 0xF1..0xFF: speed = 16 x value

using VolumeColumnHandler = void (*)(ChannelTick&);

int32_t commandValue(const ChannelTick& tick) { return tick.cell->volume & valueMask; }

void doNothing(ChannelTick&) {}

void setVolume(ChannelTick& tick) {
    const int32_t byte = tick.cell->volume;
    if (byte < setVolumeBase || byte > setVolumeLast) return;
    tick.channel->volume = byte - setVolumeBase;
    tick.channel->updateFlags |= UpdateVolume | VolumeSet;
}

void slideVolumeDown(ChannelTick& tick) {
    tick.channel->volume = std::max(tick.channel->volume - commandValue(tick), 0);
    tick.channel->updateFlags |= UpdateVolume;
}

void slideVolumeUp(ChannelTick& tick) {
    tick.channel->volume = std::min(tick.channel->volume + commandValue(tick), maxChannelVolume);
    tick.channel->updateFlags |= UpdateVolume;
}

void setVibratoSpeed(ChannelTick& tick) { tick.channel->vibratoSpeed = static_cast<uint8_t>(commandValue(tick)); }

void setVibratoDepth(ChannelTick& tick) { tick.channel->vibratoDepth = static_cast<uint8_t>(commandValue(tick)); }

void vibrateWithDepth(ChannelTick& tick) {
    setVibratoDepth(tick);
    vibratoStep(*tick.channel, *tick.song);
    advanceVibrato(*tick.channel);
}

void setPanning(ChannelTick& tick) {
    tick.channel->panning = panningStep * commandValue(tick);
    tick.channel->updateFlags |= UpdatePanning | VolumeSet;
}

// Panning slides of the volume column have no bound; the final panning is limited.
void slidePanningLeft(ChannelTick& tick) {
    tick.channel->panning = limitSlidPanning(static_cast<int64_t>(tick.channel->panning) - commandValue(tick));
    tick.channel->updateFlags |= UpdatePanning;
}

void slidePanningRight(ChannelTick& tick) {
    tick.channel->panning = limitSlidPanning(static_cast<int64_t>(tick.channel->panning) + commandValue(tick));
    tick.channel->updateFlags |= UpdatePanning;
}

void setUpTonePortamento(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    const int32_t value = commandValue(tick);
    if (value != 0) channel.tonePortaSpeed = static_cast<uint8_t>(tonePortamentoScale * value);
    aimAtRowNote(tick);
    channel.updateFlags &= static_cast<uint8_t>(~StartSample);
    snapToGlissandoNote(channel, *tick.song);
}

void slideTonePortamento(ChannelTick& tick) {
    tonePortamentoStep(*tick.channel, *tick.song);
    snapToGlissandoNote(*tick.channel, *tick.song);
}

// Indexed by the high nibble of the volume byte.
constexpr VolumeColumnHandler firstTickHandlers[commandCount] = {
    doNothing,       setVolume,       setVolume,       setVolume,
    setVolume,       setVolume,       slideVolumeDown, slideVolumeUp,
    slideVolumeDown, slideVolumeUp,   setVibratoSpeed, setVibratoDepth,
    setPanning,      slidePanningLeft, slidePanningRight, setUpTonePortamento,
};

constexpr VolumeColumnHandler laterTickHandlers[commandCount] = {
    doNothing, doNothing,        doNothing,        doNothing,
    doNothing, doNothing,        slideVolumeDown,  slideVolumeUp,
    doNothing, doNothing,        doNothing,        vibrateWithDepth,
    doNothing, slidePanningLeft, slidePanningRight, slideTonePortamento,
};

}  // namespace

void applyVolumeColumnFirstTick(ChannelTick& tick) { firstTickHandlers[tick.cell->volume >> commandShift](tick); }

void applyVolumeColumnLaterTick(ChannelTick& tick) { laterTickHandlers[tick.cell->volume >> commandShift](tick); }

}  // namespace intro_music::engine
