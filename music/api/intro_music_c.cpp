// The C interface: each call hands over to the C++ one; the handle is the
// Module itself, and the structs are copied field by field.
#include "intro_music_c.h"

#include <cstring>

#include "c_error_copy.h"
#include "intro_music.h"
#include "module.h"

namespace {

intro_music::Module* unwrap(intro_music_module* module) { return reinterpret_cast<intro_music::Module*>(module); }

const intro_music::Module* unwrap(const intro_music_module* module) {
    return reinterpret_cast<const intro_music::Module*>(module);
}

intro_music_module* wrap(intro_music::Module* module) { return reinterpret_cast<intro_music_module*>(module); }

const intro_music_module* wrap(const intro_music::Module* module) {
    return reinterpret_cast<const intro_music_module*>(module);
}

// The C observer rides on the C++ one, with the module's slot as its user.
void forwardTick(void* user, const intro_music::Module* module, const intro_music::TickInfo& tick) {
    const auto* slot = static_cast<const intro_music::CTickObserver*>(user);
    const intro_music_tick_info info{tick.order, tick.row, tick.tick};
    slot->observer(slot->user, wrap(module), &info);
}

using intro_music::c_interface::withError;

}  // namespace

extern "C" {

const char* intro_music_version_string(void) { return intro_music::versionString(); }

intro_music_module* intro_music_load_from_memory(const void* data, size_t size, intro_music_error* error) {
    return wrap(withError(error, [&](intro_music::Error* inner) { return intro_music::loadFromMemory(data, size, inner); }));
}

intro_music_module* intro_music_load_from_file(const char* path, intro_music_error* error) {
    return wrap(withError(error, [&](intro_music::Error* inner) { return intro_music::loadFromFile(path, inner); }));
}

intro_music_module* intro_music_load_with_callbacks(const intro_music_file_callbacks* callbacks, const char* name,
                                                    intro_music_error* error) {
    intro_music::FileCallbacks inner{};
    if (callbacks != nullptr) {
        inner = intro_music::FileCallbacks{callbacks->open, callbacks->close, callbacks->read, callbacks->seek,
                                           callbacks->tell};
    }
    return wrap(withError(error, [&](intro_music::Error* failure) {
        return intro_music::loadWithCallbacks(inner, name, failure);
    }));
}

void intro_music_free(intro_music_module* module) { intro_music::freeModule(unwrap(module)); }

int32_t intro_music_probe(const void* data, size_t size) { return static_cast<int32_t>(intro_music::probe(data, size)); }

size_t intro_music_probe_bytes_needed(const void* data, size_t size) { return intro_music::probeBytesNeeded(data, size); }

intro_music_metadata intro_music_get_metadata(const intro_music_module* module) {
    const intro_music::Metadata info = intro_music::metadata(unwrap(module));
    intro_music_metadata result{};
    std::memcpy(result.title, info.title, sizeof result.title);
    std::memcpy(result.tracker_name, info.trackerName, sizeof result.tracker_name);
    result.channels = info.channels;
    result.orders = info.orders;
    result.patterns = info.patterns;
    result.instruments = info.instruments;
    result.samples = info.samples;
    result.linear_frequencies = info.linearFrequencies ? 1 : 0;
    result.initial_speed = info.initialSpeed;
    result.initial_bpm = info.initialBpm;
    result.restart_position = info.restartPosition;
    result.duration_seconds = info.durationSeconds;
    return result;
}

int32_t intro_music_load_warning_count(const intro_music_module* module) {
    return intro_music::loadWarningCount(unwrap(module));
}

const char* intro_music_load_warning(const intro_music_module* module, int32_t index) {
    return intro_music::loadWarning(unwrap(module), index);
}

const char* intro_music_instrument_name(const intro_music_module* module, int32_t instrument) {
    return intro_music::instrumentName(unwrap(module), instrument);
}

int32_t intro_music_sample_count(const intro_music_module* module, int32_t instrument) {
    return intro_music::sampleCount(unwrap(module), instrument);
}

const char* intro_music_sample_name(const intro_music_module* module, int32_t instrument, int32_t sample) {
    return intro_music::sampleName(unwrap(module), instrument, sample);
}

int32_t intro_music_order_count(const intro_music_module* module) { return intro_music::orderCount(unwrap(module)); }

int32_t intro_music_order_pattern(const intro_music_module* module, int32_t order) {
    return intro_music::orderPattern(unwrap(module), order);
}

int32_t intro_music_pattern_rows(const intro_music_module* module, int32_t pattern) {
    return intro_music::patternRows(unwrap(module), pattern);
}

int32_t intro_music_get_pattern_cell(const intro_music_module* module, int32_t pattern, int32_t row, int32_t channel,
                                 intro_music_pattern_cell* cell) {
    intro_music::PatternCell found{};
    if (cell == nullptr || !intro_music::patternCell(unwrap(module), pattern, row, channel, &found)) return 0;
    *cell = intro_music_pattern_cell{found.note, found.instrument, found.volume, found.effect, found.parameter};
    return 1;
}

int32_t intro_music_render(intro_music_module* module, int16_t* frames, int32_t frame_count) {
    return intro_music::render(unwrap(module), frames, frame_count);
}

int32_t intro_music_render_float(intro_music_module* module, float* frames, int32_t frame_count) {
    return intro_music::renderFloat(unwrap(module), frames, frame_count);
}

int32_t intro_music_render_mono(intro_music_module* module, int16_t* frames, int32_t frame_count) {
    return intro_music::renderMono(unwrap(module), frames, frame_count);
}

int32_t intro_music_render_mono_float(intro_music_module* module, float* frames, int32_t frame_count) {
    return intro_music::renderMonoFloat(unwrap(module), frames, frame_count);
}

int32_t intro_music_set_output_rate(intro_music_module* module, int32_t rate, intro_music_error* error) {
    return withError(error, [&](intro_music::Error* inner) { return intro_music::setOutputRate(unwrap(module), rate, inner); })
               ? 1
               : 0;
}

int32_t intro_music_output_rate(const intro_music_module* module) { return intro_music::outputRate(unwrap(module)); }

int32_t intro_music_set_master_gain(intro_music_module* module, double gain) {
    return intro_music::setMasterGain(unwrap(module), gain) ? 1 : 0;
}

int32_t intro_music_set_stereo_separation(intro_music_module* module, int32_t percent) {
    return intro_music::setStereoSeparation(unwrap(module), percent) ? 1 : 0;
}

int32_t intro_music_set_repeat_count(intro_music_module* module, int32_t repeats) {
    return intro_music::setRepeatCount(unwrap(module), repeats) ? 1 : 0;
}

int32_t intro_music_ended(const intro_music_module* module) { return intro_music::ended(unwrap(module)) ? 1 : 0; }

intro_music_position intro_music_get_position(const intro_music_module* module) {
    const intro_music::Position at = intro_music::position(unwrap(module));
    return intro_music_position{at.order, at.pattern, at.row, at.seconds, at.passesCompleted, at.speed, at.tempo};
}

int32_t intro_music_seek_to_order(intro_music_module* module, int32_t order, intro_music_error* error) {
    return withError(error, [&](intro_music::Error* inner) { return intro_music::seekToOrder(unwrap(module), order, inner); })
               ? 1
               : 0;
}

int32_t intro_music_seek_to_row(intro_music_module* module, int32_t order, int32_t row, intro_music_error* error) {
    return withError(error,
                     [&](intro_music::Error* inner) { return intro_music::seekToRow(unwrap(module), order, row, inner); })
               ? 1
               : 0;
}

int32_t intro_music_seek_to_time(intro_music_module* module, double seconds, intro_music_error* error) {
    return withError(error,
                     [&](intro_music::Error* inner) { return intro_music::seekToTime(unwrap(module), seconds, inner); })
               ? 1
               : 0;
}

void intro_music_restart(intro_music_module* module) { intro_music::restart(unwrap(module)); }

int32_t intro_music_set_rules(intro_music_module* module, int32_t rules, intro_music_error* error) {
    return withError(error, [&](intro_music::Error* inner) {
               return intro_music::setRules(unwrap(module), static_cast<intro_music::Rules>(rules), inner);
           })
               ? 1
               : 0;
}

int32_t intro_music_rules(const intro_music_module* module) {
    return static_cast<int32_t>(intro_music::rules(unwrap(module)));
}

int32_t intro_music_set_interpolation(intro_music_module* module, int32_t mode, intro_music_error* error) {
    return withError(error, [&](intro_music::Error* inner) {
               return intro_music::setInterpolation(unwrap(module), static_cast<intro_music::Interpolation>(mode),
                                                    inner);
           })
               ? 1
               : 0;
}

int32_t intro_music_interpolation(const intro_music_module* module) {
    return static_cast<int32_t>(intro_music::interpolation(unwrap(module)));
}

int32_t intro_music_set_channel_muted(intro_music_module* module, int32_t channel, int32_t muted) {
    return intro_music::setChannelMuted(unwrap(module), channel, muted != 0) ? 1 : 0;
}

int32_t intro_music_set_channel_volume(intro_music_module* module, int32_t channel, double volume) {
    return intro_music::setChannelVolume(unwrap(module), channel, volume) ? 1 : 0;
}

int32_t intro_music_set_tempo_factor(intro_music_module* module, double factor) {
    return intro_music::setTempoFactor(unwrap(module), factor) ? 1 : 0;
}

int32_t intro_music_set_pitch_factor(intro_music_module* module, double factor) {
    return intro_music::setPitchFactor(unwrap(module), factor) ? 1 : 0;
}

void intro_music_set_tick_observer(intro_music_module* module, intro_music_tick_observer observer, void* user) {
    intro_music::Module* inner = unwrap(module);
    if (inner == nullptr) {
        return;
    }
    inner->cObserver = intro_music::CTickObserver{observer, user};
    intro_music::setTickObserver(inner, observer != nullptr ? forwardTick : nullptr, &inner->cObserver);
}

int32_t intro_music_channel_states(const intro_music_module* module, intro_music_channel_state* states,
                                   int32_t capacity) {
    intro_music::ChannelState inner[intro_music::engine::maxChannels]{};
    const int32_t count = intro_music::channelStates(unwrap(module), inner, intro_music::engine::maxChannels);
    for (int32_t index = 0; index < count && index < capacity && states != nullptr; ++index) {
        const intro_music::ChannelState& state = inner[index];
        states[index] = intro_music_channel_state{state.active ? 1 : 0, state.note,    state.instrument,
                                                  state.period,         state.periodOffset, state.volume,
                                                  state.panning,        state.voiceVolume, state.frequency};
    }
    return count;
}

int32_t intro_music_channel_level(const intro_music_module* module, int32_t channel, float* left, float* right) {
    return intro_music::channelLevel(unwrap(module), channel, left, right) ? 1 : 0;
}

}  // extern "C"
