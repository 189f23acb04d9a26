// Serial port backend for Windows: exclusive synchronous open of \\.\COMn, time-outs saved
// at open and restored at close, a one-byte read that returns within 1 ms, writes without
// a time-out, line settings through BuildCommDCBA with no handshaking.
#ifdef _WIN32

#include "port_backend.h"

#include <map>
#include <mutex>

#include <windows.h>

namespace serial {

namespace {

class Win32Backend final : public PortBackend {
public:
    OpenResult open(const std::string &device) override
    {
        OpenResult r;
        HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            r.error = int(GetLastError());
            switch (r.error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                r.failure = OpenFailure::Missing;
                break;
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                // Windows reports a port held by another program as access denied.
                r.failure = OpenFailure::Busy;
                break;
            default:
                r.failure = OpenFailure::Other;
                break;
            }
            return r;
        }
        // A file, a pipe or a console opened by its name keeps no serial line state.
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(h, &dcb)) {
            r.error = int(GetLastError());
            r.failure = OpenFailure::NotSerial;
            CloseHandle(h);
            return r;
        }
        COMMTIMEOUTS saved{};
        GetCommTimeouts(h, &saved);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_savedTimeouts[h] = saved;
        }
        COMMTIMEOUTS link{};
        link.ReadIntervalTimeout = 0;
        link.ReadTotalTimeoutMultiplier = 0;
        link.ReadTotalTimeoutConstant = 1;
        link.WriteTotalTimeoutMultiplier = 0;
        link.WriteTotalTimeoutConstant = 0;
        SetCommTimeouts(h, &link);
        r.handle = reinterpret_cast<CommHandleType>(h);
        return r;
    }

    bool applyLineSettings(CommHandleType handle, const std::string &settings) override
    {
        HANDLE h = reinterpret_cast<HANDLE>(handle);
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        GetCommState(h, &dcb);
        if (!BuildCommDCBA(settings.c_str(), &dcb))
            return false;
        // The rest of the record is whatever the port's last user left. Modem lines are
        // ignored and nothing throttles the line: DSR sensitivity would drop every byte on a
        // three-wire cable, and abort-on-error would fail every read after one framing error
        // (a scan at the wrong speed) until ClearCommError, which no read here calls.
        dcb.fBinary = TRUE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        return SetCommState(h, &dcb) != FALSE;
    }

    int readByte(CommHandleType handle, unsigned char *byte) override
    {
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle), byte, 1, &got, nullptr)) {
            // A port that has gone (adapter unplugged, handle closed) fails at once: wait out
            // the read time-out, or the reply window is spent spinning a core.
            Sleep(1);
            return 0;
        }
        return got == 1 ? 1 : 0;
    }

    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override
    {
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(handle), data, DWORD(count), &written, nullptr);
    }

    int outputPending(CommHandleType handle) override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status))
            return 0;
        return int(status.cbOutQue);
    }

    void discardInput(CommHandleType handle) override
    {
        PurgeComm(reinterpret_cast<HANDLE>(handle), PURGE_RXCLEAR);
    }

    void close(CommHandleType handle) override
    {
        HANDLE h = reinterpret_cast<HANDLE>(handle);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            const auto saved = m_savedTimeouts.find(h);
            if (saved != m_savedTimeouts.end()) {
                SetCommTimeouts(h, &saved->second);
                m_savedTimeouts.erase(saved);
            }
        }
        CloseHandle(h);
    }

private:
    // SavedTimeouts: each open port's time-outs before OpenComm. One backend serves every link,
    // and the ports of a side-by-side search are opened and closed from threads at once.
    std::mutex m_mutex;
    std::map<HANDLE, COMMTIMEOUTS> m_savedTimeouts;
};

} // namespace

PortBackend &nativeBackend()
{
    static Win32Backend backend;
    return backend;
}

void restorePortOnSignals()
{
}

// The system releases a handle when its program ends: no signal needs to wait.
EndingSignalsHeld::EndingSignalsHeld() {}
EndingSignalsHeld::~EndingSignalsHeld() {}

} // namespace serial

#endif
