#include "gl_loader.h"

#define INTRO_GL_FUNCTION(type, name) type intro_##name = nullptr;
#include "gl_function_list.h"
#undef INTRO_GL_FUNCTION

int loadGlFunctions(GlProcLookup lookup) {
    if (lookup == nullptr) {
        return 0;
    }
    int found = 1;
#define INTRO_GL_FUNCTION(type, name)                                  \
    intro_##name = reinterpret_cast<type>(lookup(#name));              \
    if (intro_##name == nullptr) {                                     \
        found = 0;                                                     \
    }
#include "gl_function_list.h"
#undef INTRO_GL_FUNCTION
    return found;
}
