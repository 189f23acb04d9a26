#pragma once
// What one presence test heard, read as a finding: the bytes that came back and when, the frame
// that went out, and whether the link took an info reply from them.

#include <optional>
#include <string>

#include "link/listening_port.h"
#include "ops/diagnosis.h"

namespace ops {

struct TryVerdict {
    Finding finding = Finding::Silence;
    std::string infoReply;   // module
    int lateMs = 0;          // late: when the reply began after the window opened; -1 before the frame
    std::string garbage;     // garbage: bytes that are no frames (or the reply the link did not take)
    int replyLength = 0;     // garbage: a reply with a right checksum that is no info reply
};

// info: the info reply the link took (the presence test passed), or nothing.
TryVerdict readHeard(const serial::Heard &heard, const std::optional<std::string> &info);

// Which of two findings says more about why the module is not found: module, then echo (no reply
// can be taken on a line that echoes), checksum, late, garbage, silence.
bool saysMore(Finding a, Finding b);

} // namespace ops
