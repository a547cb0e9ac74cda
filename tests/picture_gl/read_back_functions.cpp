#include "read_back_functions.h"

#undef glReadPixels
#undef glFinish
#undef glGetError
#undef glIsTexture
#undef glIsProgram
#undef glGetUniformfv
#undef glGetTexImage
#undef glGetTexParameteriv
#undef glGetBufferSubData

#define INTRO_DEFINE_READ_BACK(type, name) type test_##name = nullptr;
INTRO_READ_BACK_FUNCTIONS(INTRO_DEFINE_READ_BACK)
#undef INTRO_DEFINE_READ_BACK

int loadReadBackFunctions(GlProcLookup lookup) {
    int found = 1;
#define INTRO_LOAD_READ_BACK(type, name)                      \
    test_##name = reinterpret_cast<type>(lookup(#name));      \
    found = test_##name != nullptr ? found : 0;
    INTRO_READ_BACK_FUNCTIONS(INTRO_LOAD_READ_BACK)
#undef INTRO_LOAD_READ_BACK
    return found;
}
