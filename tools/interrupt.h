#pragma once
// Ctrl+C for a run that has units in progress (--all, watch): the first asks it to end once they
// are done, and a second ends the program at once, putting the ports back as any ending does.

namespace tools {

class InterruptCatch {
public:
    InterruptCatch();
    ~InterruptCatch();
    InterruptCatch(const InterruptCatch &) = delete;
    InterruptCatch &operator=(const InterruptCatch &) = delete;

    // Whether Ctrl+C came since the catch began.
    static bool requested();
};

// handler (or SIG_DFL) for Ctrl+C, and on Windows for Ctrl+Break too: the console's other
// interrupt, and what a unit's run receives as its parent's Ctrl+C (tools/child_run.h).
void catchInterrupts(void (*handler)(int));

} // namespace tools
