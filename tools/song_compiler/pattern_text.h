// Reads patterns written as tracker-style text: one line per row, one cell per
// channel, cells separated by '|', the row number first:
//
//   00 | A-2 04 30 ... | --- .. .. ... | === .. .. ...
//
// A cell is note, instrument, volume column and effect:
//   note        "C-4", "C#4" (octaves 0..7), "---" none, "===" key-off
//   instrument  two hex digits, ".." none
//   volume      ".." none, "00".."40" set volume (hex), or a command and one hex
//               digit: "-x" slide down, "+x" slide up (every tick), "Dx" fine
//               down, "Ux" fine up, "Sx" vibrato speed, "Vx" vibrato depth,
//               "Px" panning, "Lx" pan slide left, "Rx" pan slide right,
//               "Mx" tone portamento
//   effect      effect digit 0-9 or letter A-Z (10..35) and two hex digits,
//               "..." none
#pragma once

#include <string>
#include <string_view>

#include "text_lines.h"
#include "xm_writer.h"

namespace song_compiler {

// Parses one cell; on failure `error` says what is wrong.
bool parseCell(std::string_view text, xm_writer::Cell& cell, std::string& error);

// Parses a whole pattern file; rows must be numbered 0, 1, 2, ... in order and
// every row must have `channelCount` cells.
bool parsePattern(std::string_view content, const std::string& fileName, int channelCount,
                  xm_writer::PatternData& pattern, TextError& error);

}  // namespace song_compiler
