#include "ops/diagnosis_heard.h"

#include <algorithm>

#include "link/commands.h"
#include "link/frame.h"

namespace ops {

namespace {

// Enough of the bytes that are no frames to recognise them by.
constexpr std::size_t kGarbageShown = 16;

int rank(Finding f)
{
    switch (f) {
    case Finding::Module:
        return 0;
    case Finding::Echo:
        return 1;
    case Finding::Checksum:
        return 2;
    case Finding::Late:
        return 3;
    case Finding::Garbage:
        return 4;
    default:
        return 5;
    }
}

// The last command frame written: its start byte through its end byte.
std::string lastFrame(const std::string &written)
{
    const std::size_t end = written.rfind(char(kFrameEnd));
    const std::size_t start = end == std::string::npos ? end : written.rfind(char(kCommandStart), end);
    return start == std::string::npos ? std::string() : written.substr(start, end - start + 1);
}

// The checksum digits of a reply frame, as the link tests them.
bool checksumRight(const std::string &frame)
{
    if (frame.size() < 4)
        return false;
    unsigned char sum = 0;
    for (std::size_t i = 0; i + 3 < frame.size(); ++i)
        sum ^= static_cast<unsigned char>(frame[i]);
    char digits[2];
    ByteToHex(sum, digits);
    return frame[frame.size() - 3] == digits[0] && frame[frame.size() - 2] == digits[1];
}

struct ReplyFrame {
    std::string bytes;
    bool right = false;
    std::int32_t ms = 0;
};

// The bytes heard taken apart: reply frames (line feed through carriage return) and the rest.
struct Parts {
    std::vector<ReplyFrame> replies;
    std::string stray;
};

Parts partsOf(const serial::Heard &heard)
{
    std::string bytes;
    for (const serial::HeardByte &b : heard.bytes)
        bytes += char(b.byte);
    Parts parts;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t end = bytes[i] == char(kReplyStart) ? bytes.find(char(kFrameEnd), i) : std::string::npos;
        if (end == std::string::npos) {
            parts.stray += bytes[i++];
            continue;
        }
        ReplyFrame reply;
        reply.bytes = bytes.substr(i, end - i + 1);
        reply.right = checksumRight(reply.bytes);
        reply.ms = heard.bytes[i].ms;
        parts.replies.push_back(reply);
        i = end + 1;
    }
    return parts;
}

bool afterWindow(std::int32_t ms) { return ms < 0 || ms > std::int32_t(kReplyWindowMs); }

} // namespace

bool saysMore(Finding a, Finding b) { return rank(a) < rank(b); }

TryVerdict readHeard(const serial::Heard &heard, const std::optional<std::string> &info)
{
    TryVerdict v;
    if (info) {
        v.finding = Finding::Module;
        v.infoReply = *info;
        return v;
    }
    if (heard.bytes.empty())
        return v;
    std::string bytes;
    for (const serial::HeardByte &b : heard.bytes)
        bytes += char(b.byte);
    const std::string frame = lastFrame(heard.written);
    if (!frame.empty() && bytes.find(frame) != std::string::npos) {
        v.finding = Finding::Echo;
        return v;
    }
    const Parts parts = partsOf(heard);
    if (std::any_of(parts.replies.begin(), parts.replies.end(), [](const ReplyFrame &r) { return !r.right; })) {
        v.finding = Finding::Checksum;
        return v;
    }
    const ReplyFrame *untaken = nullptr;
    for (const ReplyFrame &reply : parts.replies) {
        // An info reply alone in the window is what the link takes; one it did not take came at
        // the window's edge.
        const bool edge = parts.stray.empty() && reply.bytes.size() == std::size_t(cmd::kInfoReplyLength);
        if (afterWindow(reply.ms) || edge) {
            v.finding = Finding::Late;
            v.lateMs = reply.ms < 0 ? -1 : reply.ms;
            return v;
        }
        untaken = untaken ? untaken : &reply;
    }
    v.finding = Finding::Garbage;
    if (!parts.stray.empty()) {
        v.garbage = parts.stray.substr(0, kGarbageShown);
    } else if (untaken) {
        v.garbage = untaken->bytes.substr(0, kGarbageShown);
        v.replyLength = int(untaken->bytes.size());
    }
    return v;
}

} // namespace ops
