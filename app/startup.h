#pragma once
// Start-up shared by telmax-config and the start-up benchmark.

#include <functional>

class TfrmModule;

namespace app {

// The title the application carries in the task bar (the window caption is UiText entry 1).
inline constexpr const char *kApplicationTitle = "VOREX TELMAX-3Q Module Config";

// Initialises the toolkit, installs the real message pump, creates frmModule (its FormCreate
// runs), shows it and runs the message loop until btnExit closes it. afterShow, when given,
// runs right after the first show. An error escaping start-up is shown in a standard error
// box. Always returns 0. The command line is handed to the toolkit and read by nothing else.
int runMain(int &argc, char **argv, const std::function<void(TfrmModule &)> &afterShow = {});

} // namespace app
