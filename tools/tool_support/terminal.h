// What the tools need of the terminal, behind one small interface: whether a
// stream is a terminal, binary standard output, and single key presses
// without waiting for Enter. POSIX and Windows branches live in terminal.cpp.
#pragma once

#include <cstdio>

bool isTerminal(std::FILE* stream);
// Standard output carries bytes unchanged (no newline translation).
void setBinaryOutput(std::FILE* stream);

enum class Key { None, Space, Left, Right, Up, Down, Other, Character };

struct KeyPress {
    Key key = Key::None;
    char character = 0;  // for Key::Character
};

// Reads keys from the terminal on standard input without echo or line
// buffering while it exists; does nothing when standard input is no terminal.
class KeyReader {
public:
    KeyReader();
    ~KeyReader();
    KeyReader(const KeyReader&) = delete;
    KeyReader& operator=(const KeyReader&) = delete;

    bool active() const { return active_; }
    // The next key pressed, or Key::None when none is waiting.
    KeyPress poll();

private:
    bool active_ = false;
    unsigned char saved_[256] = {};  // the terminal settings to put back
};
