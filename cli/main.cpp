// tarvo-cli: resolves share links of the video service from the command line.
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: tarvo-cli --help\n"
    "\n"
    "Resolves share links of the short-video service into the work's title, the\n"
    "sharing user's name and two direct download addresses.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
