#pragma once
// The steps the five single-shot operations share: busy cursor, disabled window, the
// ModuleFound gate, one opening of the port with up to two tries each begun with the
// presence test, and the result signal (lamp, message, tone).

#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "ops/module_view.h"

namespace ops {

inline constexpr int kGoodToneHz = 1000;
inline constexpr int kBadToneHz = 300;
inline constexpr int kToneMs = 300;
inline constexpr int kPacingMs = 100;
inline constexpr int kFrameTries = 2;
// Presence tests at each line setting of a search, one port at a time or side by side.
inline constexpr int kSearchTries = 2;
// The ports a search covers.
inline constexpr int kFirstSearchPort = 1;
inline constexpr int kLastSearchPort = 16;
// Tries of the version read once a module is found.
inline constexpr int kVersionTries = 2;

struct FramedOperation {
    // Runs once the gate has passed, before the port is opened: shows the progress text and
    // makes the control changes that go with it. Returning false refuses the operation: the
    // port is not opened and the Error entry is reported.
    std::function<bool()> progress;
    // The operation's own commands, run after a successful presence test with the info reply
    // that test received; true on success.
    std::function<bool(const std::string &infoReply)> body;
    Text okEntry = Text::Error;
    Text errorEntry = Text::Error;
};

// The presence test: "E00B" answered with a verified reply of exactly 16 bytes; that reply, or
// nothing.
std::optional<std::string> presenceTest(serial::Link &link = serial::defaultLink);

// A port in a message whose caption already says COM ("Open COM : 5 Error"): its number, or the
// device path of a port named only by that.
QString portAfterCom(int port);

// Tells the view what a technician should know about a port that opened at line (a latency timer
// that leaves the module's reply too little of the window).
void notePort(ModuleView &view, const serial::OpenResult &opened, const std::string &line);

// Lamp, message, tone, in that order.
void signalResult(ModuleView &view, bool good, const QString &message);

// Runs op inside the frame. The window ends enabled and the cursor at its default on every path.
void runFramed(ModuleView &view, const FramedOperation &op);

} // namespace ops
