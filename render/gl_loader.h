// OpenGL 3.3 entry points, loaded at run time through the window system's
// lookup. Include this instead of any other GL header.
#pragma once

#include <GL/glcorearb.h>

// Our pointers carry a prefix so they never clash with a driver's own symbols;
// the macros let the code call them by their GL names.
#define INTRO_GL_FUNCTION(type, name) extern type intro_##name;
#include "gl_function_list.h"
#undef INTRO_GL_FUNCTION

// Generated from the same list by the build: "#define glClear intro_glClear".
#include "gl_function_macros.h"

using GlProcLookup = void* (*)(const char* name);

// 1 when every entry point was found, 0 when any is missing.
int loadGlFunctions(GlProcLookup lookup);
