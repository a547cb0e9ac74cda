// The GL entry points for WebGL 2: the browser's own, except two that adapt
// what the desktop code hands over to what OpenGL ES 3.0 accepts.
#pragma once

// Same shape as the desktop lookup (glfwGetProcAddress).
void* webGlLookup(const char* name);
