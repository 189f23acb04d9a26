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

} // namespace tools
