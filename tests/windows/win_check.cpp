// The report and the port helpers of win_link_check.
#include "win_check.h"

#include <cstdio>
#include <cstdlib>

#include "link/commands.h"

namespace wincheck {

namespace {

int g_passed = 0;
int g_failed = 0;
int g_skipped = 0;

} // namespace

void check(bool ok, const std::string &what, const std::string &detail)
{
    ++(ok ? g_passed : g_failed);
    std::printf("%s %s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : (" [" + detail + "]").c_str());
    std::fflush(stdout);
}

void skip(const std::string &what, const std::string &why)
{
    ++g_skipped;
    std::printf("skip %s: %s\n", what.c_str(), why.c_str());
    std::fflush(stdout);
}

std::string printable(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        char buf[8];
        if (c >= 32 && c < 127) {
            out += char(c);
        } else {
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        }
    }
    return out;
}

int summary()
{
    std::printf("%d passed, %d failed, %d skipped\n", g_passed, g_failed, g_skipped);
    return g_failed == 0 ? 0 : 1;
}

HANDLE rawOpen(const std::string &device)
{
    return CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool sameTimeouts(const COMMTIMEOUTS &a, const COMMTIMEOUTS &b)
{
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout && a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier
        && a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant
        && a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier
        && a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

std::string timeoutsText(const COMMTIMEOUTS &t)
{
    return std::to_string(t.ReadIntervalTimeout) + "," + std::to_string(t.ReadTotalTimeoutMultiplier) + ","
        + std::to_string(t.ReadTotalTimeoutConstant) + "," + std::to_string(t.WriteTotalTimeoutMultiplier) + ","
        + std::to_string(t.WriteTotalTimeoutConstant);
}

int baudOf(int lineIndex) { return std::atoi(BaudRateList[std::size_t(lineIndex)]); }

} // namespace wincheck
