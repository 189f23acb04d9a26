#include "module.h"

#include <cctype>

#include "link/frame.h"

namespace sim {

const std::array<LineSetting, 12> kLineSettings = {{
    {"4800,n,8,1", 4800},     {"4800,e,8,1", 4800},     {"9600,n,8,1", 9600},
    {"9600,e,8,1", 9600},     {"19200,n,8,1", 19200},   {"19200,e,8,1", 19200},
    {"38400,n,8,1", 38400},   {"38400,e,8,1", 38400},   {"57600,n,8,1", 57600},
    {"57600,e,8,1", 57600},   {"115200,n,8,1", 115200}, {"115200,e,8,1", 115200},
}};

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool allDigits(const std::string &s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return !s.empty();
}

} // namespace

Module::Module(ModuleState state, Faults faults)
    : m_state(std::move(state)), m_faults(faults)
{
}

void Module::discard(std::vector<unsigned char> &bytes, const char *reason)
{
    if (bytes.empty())
        return;
    m_pending.push_back({std::move(bytes), false, reason});
    bytes.clear();
}

void Module::receive(const unsigned char *data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = data[i];
        if (b == kCommandStart) {
            // Every start byte begins a frame afresh, whatever was being collected.
            discard(m_current, m_inFrame ? "cut off by a new start byte" : "no start byte");
            m_inFrame = true;
            m_current.push_back(b);
            continue;
        }
        m_current.push_back(b);
        if (!m_inFrame)
            continue;
        if (b == kFrameEnd) {
            m_pending.push_back({std::move(m_current), true, {}});
            m_current.clear();
            m_inFrame = false;
        } else if (m_current.size() >= kMaxFrameBytes) {
            discard(m_current, "overlong frame");
            m_inFrame = false;
        }
    }
    // Noise is reported as soon as it has come; a frame waits for its end.
    if (!m_inFrame)
        discard(m_current, "no start byte");
}

// A whole frame with a right checksum, at the module's baud rate, to a module that answers.
bool Module::accepted(Outcome &out, int portBaud)
{
    const auto &f = out.received;
    if (f.size() < 4) {
        out.reason = "too short";
        return false;
    }
    out.command.assign(f.begin() + 1, f.end() - 3);
    char digits[2];
    ByteToHex(CommandChecksum(out.command.data(), int(out.command.size())), digits);
    out.checksumOk = f[f.size() - 3] == static_cast<unsigned char>(digits[0])
                  && f[f.size() - 2] == static_cast<unsigned char>(digits[1]);
    if (!out.checksumOk) {
        out.reason = "bad checksum";
        return false;
    }
    ++m_commands;
    // A pty carries no parity, so only the baud rate can disagree.
    if (portBaud != baud()) {
        out.reason = "baud mismatch";
        return false;
    }
    if (m_faults.silent) {
        out.reason = "silent";
        return false;
    }
    return true;
}

std::optional<Outcome> Module::next(int portBaud)
{
    if (m_pending.empty())
        return std::nullopt;
    Pending p = std::move(m_pending.front());
    m_pending.pop_front();

    Outcome out;
    out.received = std::move(p.bytes);
    out.baud = portBaud;
    if (m_faults.echo)
        out.echo = out.received;
    if (!p.isFrame) {
        out.reason = p.reason;
        return out;
    }
    out.isFrame = true;
    // Another device on the line, or one at another line setting: whatever the frame, no reply.
    if (m_faults.noise) {
        out.noise.assign(kNoise.begin(), kNoise.end());
        out.reason = "noise instead of a reply";
        return out;
    }
    if (!accepted(out, portBaud))
        return out;
    const ModuleState before = m_state;
    handleCommand(out);
    if (!out.answered())
        return out;

    ++m_replies;
    if (m_replies <= m_faults.dropFirst) {
        out.reason = "reply dropped (first)";
    } else if (m_faults.dropEvery > 0 && m_replies % m_faults.dropEvery == 0) {
        out.reason = "reply dropped (every)";
    }
    if (!out.answered()) {
        // Played as a command lost on the way in: the module does not act on it, so the
        // program's retry meets the module as it was.
        m_state = before;
        m_nextLineSetting.reset();
        out.paper.clear();
        return out;
    }

    out.reply = replyFrame(out.replyText);
    if (m_faults.corruptChecksum) {
        auto &hi = out.reply[out.reply.size() - 3];
        hi = hi == '0' ? '1' : '0';
    }
    if (m_faults.strayByte)
        out.reply.insert(out.reply.begin(), kStrayByte);
    return out;
}

void Module::replySent()
{
    if (m_nextLineSetting) {
        m_state.lineSetting = *m_nextLineSetting;
        m_nextLineSetting.reset();
    }
}

std::string Module::replyChars(char letter, const std::string &data) const
{
    return std::string("E") + m_state.id + letter + data;
}

std::vector<unsigned char> Module::replyFrame(const std::string &chars)
{
    std::vector<unsigned char> frame;
    frame.reserve(chars.size() + 4);
    frame.push_back(kReplyStart);
    unsigned char sum = kReplyStart;
    for (char c : chars) {
        frame.push_back(static_cast<unsigned char>(c));
        sum ^= static_cast<unsigned char>(c);
    }
    char digits[2];
    ByteToHex(sum, digits);
    frame.push_back(static_cast<unsigned char>(digits[0]));
    frame.push_back(static_cast<unsigned char>(digits[1]));
    frame.push_back(kFrameEnd);
    return frame;
}

// "E00C" + S/N + ID: the new ID, for this module's S/N only.
void Module::setId(const std::string &arg, Outcome &out)
{
    if (arg.size() != 10) {
        out.reason = "bad argument";
        return;
    }
    if (arg.compare(0, 8, m_state.serial) != 0) {
        out.reason = "S/N does not match";
        return;
    }
    const std::string id = arg.substr(8);
    if (!allDigits(id) || id == "00") {
        out.reason = "bad ID";
        return;
    }
    if (!m_faults.ignoreSetId)
        m_state.id = id;
    out.replyText = replyChars('C', {});
}

// "E00H" + bytes as hexadecimal digit pairs, printed as they are.
void Module::printBytes(const std::string &arg, Outcome &out)
{
    if (arg.size() % 2 != 0) {
        out.reason = "bad hex";
        return;
    }
    std::string bytes;
    for (std::size_t i = 0; i < arg.size(); i += 2) {
        const int hi = hexValue(arg[i]);
        const int lo = hexValue(arg[i + 1]);
        if (hi < 0 || lo < 0) {
            out.reason = "bad hex";
            return;
        }
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    out.paper = bytes;
    out.replyText = replyChars('H', {});
}

void Module::handleCommand(Outcome &out)
{
    const std::string &c = out.command;
    if (c.size() < 4 || c.compare(0, 3, "E00") != 0) {
        out.reason = "unknown command";
        return;
    }
    const char letter = c[3];
    const std::string arg = c.substr(4);
    switch (letter) {
    case 'B':
        if (!arg.empty())
            break;
        out.replyText = replyChars('B', m_state.serial + (m_faults.wrongInfoLength ? "X" : ""));
        return;
    case 'V':
        if (!arg.empty())
            break;
        if (m_faults.noVersion) {
            out.reason = "version never answered";
            return;
        }
        out.replyText = replyChars('V', m_state.version);
        return;
    case 'F':
        if (!arg.empty())
            break;
        out.replyText = replyChars('F', std::string(1, m_state.status));
        return;
    case 'C':
        setId(arg, out);
        return;
    case 'E': {
        const int index = arg.size() == 1 && arg[0] != 'a' && arg[0] != 'b' ? hexValue(arg[0]) : -1;
        if (index < 0 || index >= int(kLineSettings.size())) {
            out.reason = "bad line-settings index";
            return;
        }
        // The module answers at the old settings and switches once the reply is out.
        m_nextLineSetting = index;
        out.replyText = replyChars('E', {});
        return;
    }
    case 'G':
        out.paper = arg;
        out.replyText = replyChars('G', {});
        return;
    case 'H':
        printBytes(arg, out);
        return;
    default:
        break;
    }
    out.reason = "unknown command";
}

std::optional<std::string> parseId(const std::string &text)
{
    if (text.empty() || text.size() > 2 || !allDigits(text))
        return std::nullopt;
    const int n = std::stoi(text);
    if (n < 1 || n > 99)
        return std::nullopt;
    return std::string(1, char('0' + n / 10)) + char('0' + n % 10);
}

std::optional<int> parseLineSetting(const std::string &text)
{
    for (std::size_t i = 0; i < kLineSettings.size(); ++i)
        if (text == kLineSettings[i].text)
            return int(i);
    if (text.empty() || text.size() > 2 || !allDigits(text))
        return std::nullopt;
    const int n = std::stoi(text);
    if (n < 0 || n >= int(kLineSettings.size()))
        return std::nullopt;
    return n;
}

bool isFieldText(const std::string &text, std::size_t length)
{
    // Control bytes are allowed, so that a module sending them can be played; the frame's own
    // start and end bytes (09, 0A, 0D) and NUL are not.
    static const std::string kFrameBytes{'\0', char(kCommandStart), char(kReplyStart), char(kFrameEnd)};
    return text.size() == length && text.find_first_of(kFrameBytes) == std::string::npos;
}

} // namespace sim
