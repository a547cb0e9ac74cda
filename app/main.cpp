// The presentation takes no arguments and reads nothing but its own assets.
#include "shell.h"

int main() {
    if (!startUp()) {
        return -1;
    }
    runMainLoop();
    shutDown();
    return 0;
}
