// Every OpenGL 3.3 function the program calls, once. gl_loader.h turns this
// list into declarations, gl_loader.cpp into definitions and the loading loop.
// INTRO_GL_FUNCTION(pointer type, name)
INTRO_GL_FUNCTION(PFNGLENABLEPROC, glEnable)
INTRO_GL_FUNCTION(PFNGLBLENDFUNCPROC, glBlendFunc)
INTRO_GL_FUNCTION(PFNGLVIEWPORTPROC, glViewport)
INTRO_GL_FUNCTION(PFNGLCLEARCOLORPROC, glClearColor)
INTRO_GL_FUNCTION(PFNGLCLEARPROC, glClear)
INTRO_GL_FUNCTION(PFNGLGETINTEGERVPROC, glGetIntegerv)
INTRO_GL_FUNCTION(PFNGLGETSTRINGPROC, glGetString)
