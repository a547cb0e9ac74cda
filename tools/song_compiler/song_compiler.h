// Turns the song's text sources into a module: the song file names the module
// settings, the sample recipes, the pattern files and the order list:
//
//   name         <module name, may contain spaces>
//   speed        6
//   bpm          125
//   channels     8
//   restart      0
//   frequencies  amiga | linear
//   instruments  <recipe file>
//   pattern      <pattern file>        (one line per pattern, numbered from 0)
//   orders       <pattern numbers...>  (may be repeated; entries are appended)
//
// File names are relative to the song file's folder. Every instrument gets one
// sample, played for all 96 notes.
#pragma once

#include <string>

#include "text_lines.h"
#include "xm_writer.h"

namespace song_compiler {

bool compileSong(const std::string& songPath, xm_writer::ModuleData& module, TextError& error);

}  // namespace song_compiler
