#include "terminal.h"

#include <cstring>

#if defined(_WIN32)
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#else
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {
constexpr char escape = '\x1b';
constexpr char space = ' ';
}  // namespace

#if defined(_WIN32)

bool isTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void setBinaryOutput(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

KeyReader::KeyReader() { active_ = isTerminal(stdin); }

KeyReader::~KeyReader() = default;

KeyPress KeyReader::poll() {
    if (!active_ || _kbhit() == 0) return {};
    const int code = _getch();
    // Arrow keys arrive as a prefix (0 or 224) and a scan code.
    if (code == 0 || code == 224) {
        const int scan = _getch();
        if (scan == 75) return {Key::Left, 0};
        if (scan == 77) return {Key::Right, 0};
        if (scan == 72) return {Key::Up, 0};
        if (scan == 80) return {Key::Down, 0};
        return {Key::Other, 0};
    }
    if (code == space) return {Key::Space, 0};
    return {Key::Character, static_cast<char>(code)};
}

#else

static_assert(sizeof(termios) <= 256, "the saved terminal settings must fit");

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void setBinaryOutput(std::FILE*) {}

KeyReader::KeyReader() {
    termios settings{};
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &settings) != 0) return;
    std::memcpy(saved_, &settings, sizeof settings);
    settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &settings) == 0;
}

KeyReader::~KeyReader() {
    if (!active_) return;
    termios settings{};
    std::memcpy(&settings, saved_, sizeof settings);
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

namespace {
bool readByte(char& byte, int waitMs) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, waitMs) > 0 && read(STDIN_FILENO, &byte, 1) == 1;
}
}  // namespace

KeyPress KeyReader::poll() {
    char byte = 0;
    if (!active_ || !readByte(byte, 0)) return {};
    if (byte == space) return {Key::Space, 0};
    if (byte != escape) return {Key::Character, byte};
    // Arrow keys: ESC [ A, B, C, D (up, down, right, left); the rest of a
    // sequence follows at once.
    char second = 0;
    char third = 0;
    if (!readByte(second, 50) || (second != '[' && second != 'O') || !readByte(third, 50)) return {Key::Other, 0};
    if (third == 'C') return {Key::Right, 0};
    if (third == 'D') return {Key::Left, 0};
    if (third == 'A') return {Key::Up, 0};
    if (third == 'B') return {Key::Down, 0};
    return {Key::Other, 0};
}

#endif
