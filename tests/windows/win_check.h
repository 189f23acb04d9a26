#pragma once
// What the parts of win_link_check share: the report (one line per check, counted) and the
// port helpers that go around the link, through handles of the check's own.

#include <windows.h>

#include <string>

namespace wincheck {

void check(bool ok, const std::string &what, const std::string &detail = {});
void skip(const std::string &what, const std::string &why);
// "N passed, N failed, N skipped"; 0 when none failed, else 1.
int summary();

// Bytes as text, others as <HH>.
std::string printable(const std::string &s);
// The baud rate of a line setting of BaudRateList.
int baudOf(int lineIndex);

// A port opened as another program opens it: exclusive, synchronous.
HANDLE rawOpen(const std::string &device);
bool sameTimeouts(const COMMTIMEOUTS &a, const COMMTIMEOUTS &b);
std::string timeoutsText(const COMMTIMEOUTS &t);

// Two ports, each with its module, searched side by side from two threads (win_side_by_side.cpp).
struct SideBySidePort {
    int port = 0;
    int line = 0;          // the module's line setting
    std::string serial;    // the module's S/N
};
void sideBySide(const SideBySidePort &first, const SideBySidePort &second, bool timeoutsKeptBetweenOpens);

} // namespace wincheck
