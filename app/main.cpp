#include <cstdio>
#include <cstring>

#include "app/startup.h"

int main(int argc, char **argv)
{
    // Answered before Qt starts, so that it needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
            return std::fputs("telmax-config " TELMAX_VERSION "\n", stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
    return app::runMain(argc, argv);
}
