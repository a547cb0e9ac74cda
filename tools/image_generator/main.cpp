// Writes the logo layer images and the backdrop as bare pixel files into the
// folder given on the command line. The output is the same on every run.
#include <cstdio>
#include <string>
#include <vector>

#include "backdrop_image.h"
#include "logo_images.h"

namespace {

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "image_generator: cannot write %s\n", path.c_str());
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "image_generator: failed while writing %s\n", path.c_str());
    }
    return written;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: image_generator <output folder>\n");
        return 2;
    }
    std::string folder = arguments[1];
    bool ok = writeFile(folder + "/logo_mark.raw", packGreyWithAlpha(renderSolidMark())) &&
              writeFile(folder + "/logo_dial.raw", packGreyWithAlpha(renderDial())) &&
              writeFile(folder + "/logo_glow.raw", packGreyWithAlpha(renderGlow())) &&
              writeFile(folder + "/logo_relief.raw", packGreyRgb(renderRelief())) &&
              writeFile(folder + "/logo_hub.raw", packGreyWithAlpha(renderHub())) &&
              writeFile(folder + "/logo_echo.raw", packGreyWithAlpha(renderEcho())) &&
              writeFile(folder + "/backdrop.raw", renderBackdrop());
    return ok ? 0 : 1;
}
