// The reference exchange on Windows: CreateFile, SetCommState and SetCommTimeouts, WriteFile
// and Sleep, then what the input queue holds read at once, 1 ms apart, until the reply's 0D.
#ifdef _WIN32

#include "reference_port.h"

#include <windows.h>

#include "bench_support.h"

namespace bench {

struct ReferencePort::Saved {
    DCB state;
    COMMTIMEOUTS timeouts;
};

ReferencePort::ReferencePort() = default;
ReferencePort::~ReferencePort() { close(); }

bool ReferencePort::open(const std::string &device, const std::string &settings)
{
    close();
    HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    Saved saved{};
    saved.state.DCBlength = sizeof(DCB);
    GetCommState(h, &saved.state);
    GetCommTimeouts(h, &saved.timeouts);
    DCB dcb = saved.state;
    BuildCommDCBA(settings.c_str(), &dcb);
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = dcb.fAbortOnError = FALSE;
    SetCommState(h, &dcb);
    // Reads return at once with what is there; the loop below waits 1 ms when nothing is.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(h, &t);
    m_saved = std::make_unique<Saved>(saved);
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool ReferencePort::exchange()
{
    HANDLE h = reinterpret_cast<HANDLE>(m_handle);
    for (const FrameWrite &w : kFrameWrites) {
        DWORD written = 0;
        if (!WriteFile(h, kInfoFrame + w.from, DWORD(w.count), &written, nullptr) || written != DWORD(w.count))
            return false;
        Sleep(DWORD(w.pauseMs));
    }
    unsigned char buf[64];
    DWORD got = 0;
    const double start = nowMs();
    while (nowMs() - start < kReplyWindowMs && got < sizeof buf) {
        DWORD errors = 0, n = 0;
        COMSTAT status{};
        ClearCommError(h, &errors, &status);
        if (status.cbInQue == 0) {
            Sleep(1);
            continue;
        }
        const DWORD want = status.cbInQue < DWORD(sizeof buf) - got ? status.cbInQue : DWORD(sizeof buf) - got;
        if (ReadFile(h, buf + got, want, &n, nullptr) && n > 0) {
            got += n;
            if (buf[got - 1] == 0x0D)
                return buf[0] == 0x0A;
        }
    }
    return false;
}

void ReferencePort::close()
{
    if (m_handle == -1)
        return;
    HANDLE h = reinterpret_cast<HANDLE>(m_handle);
    SetCommState(h, &m_saved->state);
    SetCommTimeouts(h, &m_saved->timeouts);
    CloseHandle(h);
    m_saved.reset();
    m_handle = -1;
}

} // namespace bench

#endif
