#pragma once
// The TELMAX-3Q module as the simulator plays it: received bytes in, reply bytes out,
// plus what goes to the paper and how its own state changes. No I/O here; the pty loop
// (pty_loop.cpp) feeds it and carries its replies out, and adds everything about timing.
//
// Reply characters are laid out like a command: "E", the module's ID, the command letter,
// then the data. So the answer to "E00B" at ID 01 with S/N TQ123456 is "E01BTQ123456",
// 12 characters, 16 bytes on the line. Success replies to C, E, G and H carry no data.
// A command the module refuses (wrong S/N or ID in "E00C", bad index, bad hex, unknown
// letter) gets no reply at all: the program accepts any verified reply as success, so an
// error reply would read as one.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct LineSetting {
    const char *text;
    int baud;
};

// The module's twelve line settings, in the order of the index in "E00E".
extern const std::array<LineSetting, 12> kLineSettings;
inline constexpr int kDefaultLineSetting = 5;

struct ModuleState {
    std::string serial = "TQ123456";   // 8 characters
    std::string id = "01";             // two digits, 01 to 99
    std::string version = "03.10-07";  // 8 characters
    int lineSetting = kDefaultLineSetting;
    char status = 'O';
};

// Faults that change what is sent, not when.
struct Faults {
    bool silent = false;           // never answer
    // Swallowed replies are played as commands lost on the way in: the module does not act.
    int dropFirst = 0;             // swallow the first N replies
    int dropEvery = 0;             // swallow every Nth reply (N, 2N, ...)
    bool corruptChecksum = false;  // wrong checksum digits on every reply
    bool wrongInfoLength = false;  // one character too many in the "E00B" reply
    bool strayByte = false;        // a byte in front of the line feed of every reply
    bool noVersion = false;        // "E00V" is never answered
    bool ignoreSetId = false;      // "E00C" is acknowledged, and the ID stays as it was
    bool echo = false;             // every byte received goes back first, as on a loopback or RS-485 line
    bool noise = false;            // every frame is answered with bytes that are no frame, and nothing else
};

inline constexpr unsigned char kStrayByte = 0x55;   // 'U'
// What the noise fault sends for a frame: bytes as a UART at another line setting delivers them,
// none of them a frame's start or end.
inline constexpr std::array<unsigned char, 8> kNoise = {0xF0, 0x8C, 0x66, 0xE6, 0x00, 0x78, 0xFE, 0x80};
// Longest frame the module collects; the program never sends more than 259 bytes.
inline constexpr std::size_t kMaxFrameBytes = 300;

// What became of one frame, or of bytes that belonged to no frame.
struct Outcome {
    std::vector<unsigned char> received;  // start byte through 0x0D, or the discarded bytes
    bool isFrame = false;                 // false: noise, a cut-off or an overlong frame
    std::string command;                  // the command text of a frame
    bool checksumOk = false;
    int baud = 0;                         // the port's baud when the frame was taken
    std::string reason;                   // why there is no reply; empty when answered
    std::vector<unsigned char> echo;      // echo fault: the bytes received, sent back before anything else
    std::vector<unsigned char> noise;     // noise fault: bytes that are no frame, sent in place of a reply
    std::vector<unsigned char> reply;     // bytes to send; empty when none
    std::string replyText;                // the reply characters
    std::string paper;                    // bytes for the paper
    bool answered() const { return reason.empty(); }
};

class Module {
public:
    explicit Module(ModuleState state = {}, Faults faults = {});

    // Bytes from the line, in order. They are only collected here.
    void receive(const unsigned char *data, std::size_t count);
    // The next frame (or discarded run of bytes), judged with the port at portBaud.
    // After an answered frame, call replySent() once the reply is out.
    std::optional<Outcome> next(int portBaud);
    // A line-settings change answered just now takes effect from here on.
    void replySent();

    const ModuleState &state() const { return m_state; }
    int baud() const { return kLineSettings[std::size_t(m_state.lineSetting)].baud; }
    // Frames with a right checksum taken so far, answered or not.
    int commandsTaken() const { return m_commands; }

    // The reply frame for some reply characters: 0A, characters, checksum digits, 0D.
    static std::vector<unsigned char> replyFrame(const std::string &chars);

private:
    struct Pending {
        std::vector<unsigned char> bytes;
        bool isFrame;
        std::string reason;   // for discarded bytes
    };

    void discard(std::vector<unsigned char> &bytes, const char *reason);
    bool accepted(Outcome &out, int portBaud);
    void handleCommand(Outcome &out);
    void setId(const std::string &arg, Outcome &out);
    void printBytes(const std::string &arg, Outcome &out);
    std::string replyChars(char letter, const std::string &data) const;

    ModuleState m_state;
    Faults m_faults;
    std::vector<unsigned char> m_current;   // bytes of the frame or noise being collected
    bool m_inFrame = false;
    std::deque<Pending> m_pending;
    std::optional<int> m_nextLineSetting;
    int m_commands = 0;
    int m_replies = 0;                      // replies due so far, sent or swallowed
};

// Parsers for the simulator's options; nullopt when the text is not acceptable.
std::optional<std::string> parseId(const std::string &text);          // "1".."99" -> "01".."99"
std::optional<int> parseLineSetting(const std::string &text);         // "0".."11" or "19200,e,8,1"
bool isFieldText(const std::string &text, std::size_t length);        // exact length, no 00, 09, 0A, 0D

} // namespace sim
