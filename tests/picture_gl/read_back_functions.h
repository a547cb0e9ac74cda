// GL functions only the tests call, to look at what was drawn or stored.
// They are loaded next to the program's own list, which stays exactly what
// the program calls.
#pragma once

#include "gl_loader.h"

#define INTRO_READ_BACK_FUNCTIONS(FUNCTION)                              \
    FUNCTION(PFNGLREADPIXELSPROC, glReadPixels)                          \
    FUNCTION(PFNGLFINISHPROC, glFinish)                                  \
    FUNCTION(PFNGLGETERRORPROC, glGetError)                              \
    FUNCTION(PFNGLISTEXTUREPROC, glIsTexture)                            \
    FUNCTION(PFNGLISPROGRAMPROC, glIsProgram)                            \
    FUNCTION(PFNGLGETUNIFORMFVPROC, glGetUniformfv)                      \
    FUNCTION(PFNGLGETTEXIMAGEPROC, glGetTexImage)                        \
    FUNCTION(PFNGLGETTEXPARAMETERIVPROC, glGetTexParameteriv)            \
    FUNCTION(PFNGLGETBUFFERSUBDATAPROC, glGetBufferSubData)

#define INTRO_DECLARE_READ_BACK(type, name) extern type test_##name;
INTRO_READ_BACK_FUNCTIONS(INTRO_DECLARE_READ_BACK)
#undef INTRO_DECLARE_READ_BACK

#define glReadPixels test_glReadPixels
#define glFinish test_glFinish
#define glGetError test_glGetError
#define glIsTexture test_glIsTexture
#define glIsProgram test_glIsProgram
#define glGetUniformfv test_glGetUniformfv
#define glGetTexImage test_glGetTexImage
#define glGetTexParameteriv test_glGetTexParameteriv
#define glGetBufferSubData test_glGetBufferSubData

// 1 when all were found.
int loadReadBackFunctions(GlProcLookup lookup);
