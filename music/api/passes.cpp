// Where the song is: its start, the watch on its passes, the first pass
// (worked out when first asked for) and the seeks into it.
#include "module.h"

#include <algorithm>
#include <cmath>

#include "replayer.h"
#include "xm_format.h"

using namespace intro_music::engine;

namespace {

using intro_music::FirstPass;
using intro_music::LoopState;
using intro_music::Module;
using intro_music::RowArrival;
using namespace intro_music::detail;

constexpr int32_t maxRowsPerPattern = xm_format::maxRowCount;

// The song's tick handler while a Module plays it: the replayer's tick,
// watched for the song's return.
void watchedTick(MusicEngine& engine, Song* song) {
    Module& module = *static_cast<Module*>(engine.driver);
    passTickBegins(module.tracker, engine, *song);
    const int32_t tick = song->tick;
    replayTick(engine, song);
    const int64_t cameBack = passTickEnds(module.tracker, *song);
    // After the pass watch, so that the observer sees the tick that comes back counted.
    if (module.observer != nullptr) {
        module.observer(module.observerUser, &module, intro_music::TickInfo{song->orderPosition, song->row, tick});
    }
    if (cameBack >= 0 && module.endFrame < 0 && module.repeats >= 0 &&
        module.tracker.passesCompleted > module.repeats) {
        // The render ends here: the engine stops the piece before this tick's frames.
        module.endInTick = std::max<int64_t>(0, cameBack - module.tracker.framesBeforeTick);
        engine.endBlockAfterTick = true;
    }
    // What the observer changes is heard from this tick's first frame.
    if (module.observer != nullptr) {
        engine.endBlockAfterTick = true;
    }
}

// Every sample of the song, for what set-finetune writes into them as the song plays.
template <typename Visit>
void forEachSample(Song& song, Visit visit) {
    for (int32_t index = 0; index < song.instrumentCount && song.instruments != nullptr; ++index) {
        Instrument& instrument = song.instruments[index];
        for (int32_t slot = 0; slot < instrument.sampleCount && slot < maxSamplesPerInstrument; ++slot) {
            if (instrument.samples[slot] != nullptr && instrument.samples[slot] != &emptySample) {
                visit(*instrument.samples[slot]);
            }
        }
    }
}

}  // namespace

namespace intro_music {
namespace detail {

// Starts playing at an order and row; `arrival` (may be null) is the first
// pass's state there.
void startFrom(Module& module, int32_t order, int32_t row, const RowArrival* arrival) {
    Song* song = module.song.get();
    prepareSongStart(module.engine, song);
    module.engine.output = MixerOutput{song, module.mixBuffer, nullptr, 1, 0};
    module.engine.driver = &module;
    updateChannelGains(module);
    song->tickHandler = watchedTick;
    module.engine.endBlockAfterTick = false;
    module.framesHanded = 0;
    module.secondsCarried = 0;
    module.endFrame = -1;
    module.endInTick = -1;
    resetPassTracker(module.tracker);
    module.secondsBaseFrames = 0;
    if (order > 0 || row > 0) {
        song->orderPosition = song->nextOrder = order;
        song->row = song->nextRow = row;
        if (arrival != nullptr) {
            song->speed = arrival->speed;
            setTempo(song, arrival->bpm);
            song->globalVolume = arrival->globalVolume;
            module.secondsBaseFrames = arrival->frame;
            // A loop's start row and counter decide where its next E6x jumps.
            if (arrival->loopStates >= 0) {
                const LoopState* loops = module.firstPass.loopStates.data() + arrival->loopStates;
                for (int32_t channel = 0; channel < song->channelCount && channel < maxChannels; ++channel) {
                    module.engine.channels[channel].patternLoopRow = loops[channel].row;
                    module.engine.channels[channel].patternLoopCount = loops[channel].count;
                }
            }
        }
        // The pass goes on as the first pass would from there: it ends
        // where that one ends, and the seconds count follows the song's time.
        resumePassAt(module.tracker, module.firstPass.rows, module.secondsBaseFrames);
    }
}

void startFromBeginning(Module& module) { startFrom(module, 0, 0, nullptr); }

// Where the first pass first played the row it comes back to; -1 when it
// was cut at the longest length instead.
int64_t firstPlayed(const PassTracker& recorded) {
    const size_t count = recorded.firstPassFrames.size();
    const auto length = static_cast<size_t>(recorded.keyLength);
    if (count == 0 || length == 0 || recorded.firstPassKeys.size() < count * length) {
        return -1;
    }
    const int32_t* last = recorded.firstPassKeys.data() + (count - 1) * length;
    for (size_t index = 0; index + 1 < count; ++index) {
        if (std::equal(last, last + length, recorded.firstPassKeys.data() + index * length)) {
            return recorded.firstPassFrames[index];
        }
    }
    return -1;
}

// One pass of the module's song on an engine of its own, ticks only (nothing
// is mixed). The song's play state and the finetunes set-finetune may have
// changed are put back afterwards, so the playback goes on untouched.
bool scanFirstPass(const Module& module) {
    FirstPass& pass = module.firstPass;
    pass.known = false;
    pass.frames = 0;
    pass.arrivals.clear();
    pass.loopStates.clear();
    pass.repeatFrom = -1;
    resetPassTracker(pass.rows);
    std::fill(std::begin(pass.orderArrival), std::end(pass.orderArrival), -1);
    auto engine = std::unique_ptr<MusicEngine>(new (std::nothrow) MusicEngine{});
    if (engine == nullptr) {
        return false;
    }
    Song& song = *module.song;
    const Song savedState = song;
    std::vector<int8_t> playingFinetunes;
    forEachSample(song, [&](const Sample& sample) { playingFinetunes.push_back(sample.finetune); });
    prepareSongStart(*engine, &song);
    PassTracker& tracker = pass.rows;
    tracker.recordRows = true;
    std::vector<bool> reached(static_cast<size_t>(orderTableSize) * maxRowsPerPattern);
    for (;;) {
        const bool rowStart = song.tick == 0;
        const int32_t speed = song.speed;
        const int32_t bpm = song.bpm;
        const int32_t globalVolume = song.globalVolume;
        LoopState arrivingLoops[maxChannels];  // as the row is arrived at, before its tick
        for (int32_t channel = 0; rowStart && channel < song.channelCount && channel < maxChannels; ++channel) {
            const MusicChannel& state = engine->channels[channel];
            arrivingLoops[channel] = LoopState{static_cast<int16_t>(state.patternLoopRow),
                                               static_cast<int16_t>(state.patternLoopCount)};
        }
        passTickBegins(tracker, *engine, song);
        replayTick(*engine, &song);
        const int64_t cameBack = passTickEnds(tracker, song);
        if (cameBack >= 0) {
            pass.frames = cameBack;
            pass.repeatFrom = firstPlayed(tracker);
            break;
        }
        const int32_t order = song.orderPosition;
        const int32_t row = song.row;
        if (rowStart && order >= 0 && order < orderTableSize && row >= 0 && row < maxRowsPerPattern &&
            !reached[static_cast<size_t>(order) * maxRowsPerPattern + row]) {
            reached[static_cast<size_t>(order) * maxRowsPerPattern + row] = true;
            if (pass.orderArrival[order] < 0) {
                pass.orderArrival[order] = static_cast<int32_t>(pass.arrivals.size());
            }
            int32_t loops = -1;
            if (tracker.loopChannels != 0) {
                loops = static_cast<int32_t>(pass.loopStates.size());
                pass.loopStates.insert(pass.loopStates.end(), arrivingLoops,
                                       arrivingLoops + std::min<int32_t>(song.channelCount, maxChannels));
            }
            pass.arrivals.push_back(
                RowArrival{order, row, tracker.framesBeforeTick, speed, bpm, globalVolume, loops});
        }
    }
    song = savedState;
    size_t next = 0;
    forEachSample(song, [&](Sample& sample) { sample.finetune = playingFinetunes[next++]; });
    pass.known = true;
    return true;
}

bool knowFirstPass(const Module& module) { return module.firstPass.known || scanFirstPass(module); }

// Forgets the first pass: it is worked out again, at the rate and tempo
// factor then in force, when next asked for.
void forgetFirstPass(Module& module) { module.firstPass.known = false; }

}  // namespace detail

namespace {

const RowArrival* arrivalAt(const FirstPass& pass, int32_t order, int32_t row) {
    const int32_t first = pass.orderArrival[order];
    if (first < 0) {
        return nullptr;
    }
    for (size_t index = static_cast<size_t>(first); index < pass.arrivals.size(); ++index) {
        if (pass.arrivals[index].order == order && pass.arrivals[index].row == row) {
            return &pass.arrivals[index];
        }
    }
    return &pass.arrivals[static_cast<size_t>(first)];
}

bool checkOrder(const Module* module, int32_t order, Error* error) {
    if (module == nullptr) {
        setError(error, ErrorCode::InvalidArgument, "no module given");
        return false;
    }
    if (order < 0 || order >= module->song->songLength) {
        setError(error, ErrorCode::InvalidArgument, "order %d is outside the order list (0..%d)", order,
                 module->song->songLength - 1);
        return false;
    }
    return true;
}

int32_t rowsAtOrder(const Module& module, int32_t order) {
    const Song& song = *module.song;
    const int32_t pattern = song.orderTable[order];
    return pattern < song.patternSlotCount && song.patterns != nullptr ? song.patterns[pattern].rowCount
                                                                       : xm_format::missingPatternRowCount;
}

// Seeks keep the repeat count; the first pass is worked out if not yet known.
bool seekWithin(Module& module, int32_t order, int32_t row, Error* error) {
    if (!knowFirstPass(module)) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
        return false;
    }
    const int32_t repeats = module.repeats;
    startFrom(module, order, row, order > 0 || row > 0 ? arrivalAt(module.firstPass, order, row) : nullptr);
    module.repeats = repeats;
    return true;
}

}  // namespace

bool setRepeatCount(Module* module, int32_t repeats) {
    if (module == nullptr || repeats < -1) {
        return false;
    }
    module->repeats = repeats;
    // An end already found stays valid only while it is still wanted.
    if (module->repeats < 0 || module->tracker.passesCompleted <= module->repeats) {
        module->endFrame = -1;
    }
    return true;
}

bool ended(const Module* module) {
    return module != nullptr && module->endFrame >= 0 && module->framesHanded >= module->endFrame;
}

Position position(const Module* module) {
    if (module == nullptr) {
        return Position{};
    }
    const Song& song = *module->song;
    Position at{};
    at.order = song.orderPosition;
    at.pattern = song.orderPosition >= 0 && song.orderPosition < orderTableSize ? song.orderTable[song.orderPosition] : 0;
    at.row = song.row;
    at.seconds = static_cast<double>(module->secondsBaseFrames + module->secondsCarried + module->framesHanded) /
                 rateOf(*module);
    at.passesCompleted = module->tracker.passesCompleted;
    at.speed = song.speed;
    at.tempo = song.bpm;
    return at;
}

bool seekToOrder(Module* module, int32_t order, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        return checkOrder(module, order, error) && seekWithin(*module, order, 0, error);
    });
}

bool seekToRow(Module* module, int32_t order, int32_t row, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (!checkOrder(module, order, error)) {
            return false;
        }
        const int32_t rows = rowsAtOrder(*module, order);
        if (row < 0 || row >= rows) {
            setError(error, ErrorCode::InvalidArgument, "row %d is outside the pattern at order %d (0..%d)", row,
                     order, rows - 1);
            return false;
        }
        return seekWithin(*module, order, row, error);
    });
}

bool seekToTime(Module* module, double seconds, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (!knowFirstPass(*module)) {
            setError(error, ErrorCode::OutOfMemory, "out of memory");
            return false;
        }
        const FirstPass& pass = module->firstPass;
        const double duration = static_cast<double>(pass.frames) / rateOf(*module);
        if (!std::isfinite(seconds) || seconds < 0.0 || (seconds >= duration && seconds > 0.0)) {
            setError(error, ErrorCode::InvalidArgument, "%.3f s is outside the song's one pass (0..%.3f s)",
                     seconds, duration);
            return false;
        }
        const auto target = static_cast<int64_t>(std::llround(seconds * rateOf(*module)));
        // The last row the first pass starts at or before the target.
        const auto after = std::upper_bound(pass.arrivals.begin(), pass.arrivals.end(), target,
                                            [](int64_t frame, const RowArrival& row) { return frame < row.frame; });
        if (after == pass.arrivals.begin()) {
            startFromBeginning(*module);
        } else {
            const RowArrival& row = *(after - 1);
            startFrom(*module, row.order, row.row, row.order > 0 || row.row > 0 ? &row : nullptr);
        }
        skipFrames(*module, target - (module->secondsBaseFrames + module->framesHanded));
        return true;
    });
}


void restart(Module* module) {
    if (module != nullptr) {
        withoutExceptions<bool>(nullptr, false, [&] {
            startFromBeginning(*module);
            return true;
        });
    }
}

}  // namespace intro_music
