// Renders XM songs through two mature third-party players, configured to be
// comparable with our engine: 44,100 Hz 16-bit stereo, linear interpolation,
// no extra filters, the song looping at its end. Test and benchmark use only.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ReferencePlayerKind { Libxmp, Libopenmpt };
// The players' resampling: libopenmpt's filter lengths 1, 2, 4 and 8 taps;
// libxmp's nearest, linear and spline (it has no longer filter).
enum class ReferenceInterpolation { Nearest, Linear, Cubic, Sinc };

inline constexpr int32_t referenceSampleRate = 44100;

struct ReferencePlayer;

// Parses "libxmp" or "libopenmpt"; false for anything else.
bool parseReferencePlayerKind(const char* name, ReferencePlayerKind* kind);
const char* referencePlayerName(ReferencePlayerKind kind);

// Parses "nearest", "linear", "cubic" or "sinc"; false for anything else.
bool parseReferenceInterpolation(const char* name, ReferenceInterpolation* interpolation);

// Loads a song from memory (the bytes may be released afterwards); null when
// the player refuses the file or has no such interpolation.
ReferencePlayer* openReferencePlayer(ReferencePlayerKind kind, const void* data, size_t size,
                                     ReferenceInterpolation interpolation = ReferenceInterpolation::Linear);
// Renders frameCount interleaved stereo frames; returns the frames written
// (fewer only when the player stops).
size_t renderReferenceFrames(ReferencePlayer* player, int16_t* interleaved, size_t frameCount);
// The length of one pass of the song as the player counts it, in seconds.
double referenceDurationSeconds(ReferencePlayer* player);
void closeReferencePlayer(ReferencePlayer* player);
