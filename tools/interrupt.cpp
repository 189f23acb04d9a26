#include "tools/interrupt.h"

#include <csignal>

#include "link/port_backend.h"

namespace tools {

namespace {

volatile std::sig_atomic_t g_requested = 0;

extern "C" void onInterrupt(int)
{
    g_requested = 1;
    // The next Ctrl+C goes to the link's handler, which puts the ports back and ends the program
    // (on Windows the system's default, which the runtime puts back itself).
    serial::restorePortOnSignals();
}

} // namespace

void catchInterrupts(void (*handler)(int))
{
    std::signal(SIGINT, handler);
#ifdef SIGBREAK
    std::signal(SIGBREAK, handler);
#endif
}

InterruptCatch::InterruptCatch()
{
    g_requested = 0;
    catchInterrupts(onInterrupt);
}

InterruptCatch::~InterruptCatch()
{
    catchInterrupts(SIG_DFL);
    serial::restorePortOnSignals();
}

bool InterruptCatch::requested() { return g_requested != 0; }

} // namespace tools
