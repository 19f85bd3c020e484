// calcarium-cli: the engines of Calcarium for scripting.
#include <cstdio>
#include <cstring>

#include "numeric/num_context.h"

namespace {

const char kUsage[] =
    "Calcarium command-line program\n"
    "\n"
    "usage: calcarium-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "No commands are available in this build yet.\n";

}  // namespace

int main(int argc, char** argv) {
    init_numeric_context();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, stdout);
        return argc < 2 ? 0 : 0;
    }
    std::fprintf(stderr, "calcarium-cli: unknown command \"%s\"\n", argv[1]);
    return 2;
}
