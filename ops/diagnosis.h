#pragma once
// Why a module does not answer (telmax-cmd diagnose): a port goes through the twelve line
// settings with the presence test, as a scan's search takes them, but listening to everything
// that comes back and when, and with the kernel's error counts where its driver keeps them. What
// it heard comes out as one finding with its fix. The window's Scan Module keeps its own message.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"

namespace ops {

// module: the module answered. silence: nothing came back at any line setting. garbage: bytes
// that are no frames. echo: our own frame came back. checksum: a reply with a wrong checksum.
// late: a reply after the reply window. busy, missing, denied, excluded: the port did not open.
enum class Finding { Module, Silence, Garbage, Echo, Checksum, Late, Busy, Missing, Denied, Excluded };

// How long a try listens after its frame, so that a late reply is heard: beyond the longest
// latency timer an FTDI lead can have (255 ms) and the reply's own time on the line.
inline constexpr int kListenMs = 500;

struct PortDiagnosis {
    int port = 0;
    std::string device;
    Finding finding = Finding::Silence;
    // module, echo, checksum, late: the line setting it was heard at; garbage: the first.
    int lineIndex = -1;
    int tried = 0;                          // line settings tried
    serial::OpenResult open;                // the last open: why it failed, or its lock file and timer
    bool wentAway = false;                  // the port hung up while it was tried
    int sameAs = 0;                         // the lower port that names the same device, and its finding
    std::string infoReply;                  // module: the reply that found it
    int lateMs = 0;                         // late: when the reply began after the window opened; -1 later than heard
    std::vector<int> garbageAt;             // garbage: the line settings that heard bytes that are no frames
    std::string garbage;                    // garbage: the first of those bytes
    int replyLength = 0;                    // garbage: a reply that verified but is no info reply, its length
    std::optional<serial::LineErrors> errors;   // counted while it was tried, where the driver counts
};

// The finding of a port that did not open. An open failure added to serial::OpenFailure stops
// the build here until it is given its finding.
Finding findingOf(serial::OpenFailure failure);

// Diagnoses ports, each device once (a port that names the device of a lower one takes that
// port's finding, with sameAs), each on a thread of its own. finished runs on the calling thread
// as each ends; with one port, trying too, before each line setting. In the order of ports.
std::vector<PortDiagnosis> diagnosePorts(const std::vector<int> &ports,
                                         const std::function<void(const PortDiagnosis &)> &finished,
                                         const std::function<void(int port, int lineIndex)> &trying = {});

// The finding as one word, for the listing and --json: "module", "silence", ...
QString findingWord(Finding finding);
// What the port heard, in a line; empty when the finding says it all.
QString heardText(const PortDiagnosis &diagnosis);
// What to do about it. vendorProduct: the USB device's "0403:6001" where the front end knows it,
// for the udev rule that keeps ModemManager off a port it holds.
QString adviceText(const PortDiagnosis &diagnosis, const std::string &vendorProduct = {});

} // namespace ops
