#pragma once
// bench-exchange's reference: the least any program must do for one "E00B" exchange, with the
// system's own serial calls and nothing between (termios and poll() on POSIX, the Win32 comm
// calls on Windows): the same five writes with the same pauses, then the reply read within
// the 120 ms window.

#include <cstdint>
#include <memory>
#include <string>

namespace bench {

class ReferencePort {
public:
    ReferencePort();
    ~ReferencePort();
    ReferencePort(const ReferencePort &) = delete;
    ReferencePort &operator=(const ReferencePort &) = delete;

    // The device opened at the line settings ("19200,e,8,1"), its state saved; false when it
    // cannot be.
    bool open(const std::string &device, const std::string &settings);
    // True when a whole module-info reply (0A ... 0D) came back within the window.
    bool exchange();
    // The saved state put back and the device closed.
    void close();

private:
    std::intptr_t m_handle = -1;
    struct Saved;
    std::unique_ptr<Saved> m_saved;
};

// The frame of "E00B" as the link writes it: 09, the command, checksum "0E", 0D.
inline constexpr unsigned char kInfoFrame[] = {0x09, 'E', '0', '0', 'B', '0', 'E', 0x0D};
// The five writes: bytes from, count, then the pause in ms.
struct FrameWrite {
    int from, count, pauseMs;
};
inline constexpr FrameWrite kFrameWrites[] = {{0, 1, 1}, {1, 4, 5}, {5, 1, 1}, {6, 1, 1}, {7, 1, 1}};
inline constexpr double kReplyWindowMs = 120.0;

} // namespace bench
