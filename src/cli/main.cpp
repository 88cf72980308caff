#include <cstdio>
#include <cstring>

#include "base/FFBaseComponent.h"

namespace {

const char* const Usage = "Usage: vantorix-cli [--help] [--version]\n"
                          "\n"
                          "Converts video and audio files with the Vantorix engine.\n"
                          "\n"
                          "Options:\n"
                          "  --help      show this text\n"
                          "  --version   show the program version\n";

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(Usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vantorix-cli %s\n", vx::EngineVersion);
        return 0;
    }
    std::fprintf(stderr, "vantorix-cli: unknown command \"%s\"\n%s", argv[1], Usage);
    return 2;
}
