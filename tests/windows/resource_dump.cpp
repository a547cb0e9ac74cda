// Writes the bytes that loadResource gives for each TYPE/ID pair to
// OUT_DIR/TYPE-ID.bin, so a check can compare them with another build's.
//   resource_dump OUT_DIR TYPE ID [TYPE ID ...]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "embedded_resource.h"

int main(int argumentCount, char** arguments) {
    if (argumentCount < 4 || argumentCount % 2 != 0) {
        std::fprintf(stderr, "usage: resource_dump OUT_DIR TYPE ID [TYPE ID ...]\n");
        return 2;
    }
    const std::string folder = arguments[1];
    for (int index = 2; index + 1 < argumentCount; index += 2) {
        const char* type = arguments[index];
        const int identifier = std::atoi(arguments[index + 1]);
        const EmbeddedResource resource = loadResource(type, identifier);
        if (resource.data == nullptr) {
            std::fprintf(stderr, "resource_dump: no resource %s %d\n", type, identifier);
            return 1;
        }
        const std::string path = folder + "/" + type + "-" + std::to_string(identifier) + ".bin";
        FILE* output = std::fopen(path.c_str(), "wb");
        if (output == nullptr || std::fwrite(resource.data, 1, resource.size, output) != resource.size ||
            std::fclose(output) != 0) {
            std::fprintf(stderr, "resource_dump: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
