// win_link_check: the link layer built for Windows, driven through its own functions
// (OpenComm, SendByte/SendBlock, SendCommand, CloseComm) over the Win32 serial backend,
// against telmax-sim. run_under_wine.sh runs it under Wine with COMn mapped to the
// simulator's pseudo-terminal; it runs the same on Windows against a module or a
// null-modem pair (the expected values come from the command line).
//
// Proves: \\.\COMn opens with the link's time-outs and line settings and without another
// program's handshaking; the frame's five writes reach the module; every command of the
// set is answered with the fields the module was given; a line-settings change is followed
// by reopening at the new setting; stale input is dropped before a frame ends; a missing port
// fails as missing; a port that has gone fails its exchange without spinning; close and
// reopen; two ports searched side by side from two threads, each keeping its own replies and
// time-outs; text turned into GBK and back by the Windows converters. What the system
// underneath cannot show (Wine lets a second exclusive open of a serial device through,
// keeps no time-outs between opens, a pty has no parity) is
// printed as skipped with the reason, never as passed.
//
//   win_link_check --port N --missing M --line I --serial S --id NN --version V
//                  --status C --paper FILE --second N2 --second-line I2 --second-serial S2
//
// COM N2 is a second module (its line setting and S/N), for the side-by-side search.
//
// One line per check, then "N passed, N failed, N skipped"; exit 0 only when none failed.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "win_check.h"

#include "link/comm.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "platform/code_page.h"
#include "platform/hooks.h"

namespace {

using namespace wincheck;

struct Options {
    int port = 0;
    int missing = 0;
    int line = kDefaultBaudRateNo;
    std::string serial, id, version, status, paper;
    int second = 0;
    int secondLine = kDefaultBaudRateNo;
    std::string secondSerial;
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--port") o.port = std::atoi(value.c_str());
        else if (key == "--missing") o.missing = std::atoi(value.c_str());
        else if (key == "--line") o.line = std::atoi(value.c_str());
        else if (key == "--serial") o.serial = value;
        else if (key == "--id") o.id = value;
        else if (key == "--version") o.version = value;
        else if (key == "--status") o.status = value;
        else if (key == "--paper") o.paper = value;
        else if (key == "--second") o.second = std::atoi(value.c_str());
        else if (key == "--second-line") o.secondLine = std::atoi(value.c_str());
        else if (key == "--second-serial") o.secondSerial = value;
        else return false;
    }
    return argc % 2 == 1 && o.port > 0 && o.missing > 0 && o.line >= 0 && o.line < kBaudRateCount
        && o.serial.size() == 8 && o.id.size() == 2 && !o.version.empty() && o.status.size() == 1
        && !o.paper.empty() && o.second > 0 && o.second != o.port && o.secondLine >= 0
        && o.secondLine < kBaudRateCount && o.secondSerial.size() == 8;
}

HANDLE commHandle() { return reinterpret_cast<HANDLE>(CommHandle); }

// The reply to a frame written by hand, read byte by byte through the backend up to its 0D.
std::string readReply()
{
    std::string reply;
    for (int empty = 0; empty < 300;) {
        unsigned char byte = 0;
        if (serial::backend().readByte(CommHandle, &byte) != 1) {
            ++empty;
            continue;
        }
        reply += char(byte);
        if (byte == 0x0D)
            break;
    }
    return reply;
}

// "E00B" as the link writes it: 09, the command, checksum digits "0E", 0D, in five writes.
void writeInfoFrameByHand()
{
    SendByte(0x09);
    SendBlock(reinterpret_cast<const unsigned char *>("E00B"), 4);
    SendByte('0');
    SendByte('E');
    SendByte(0x0D);
}

bool infoIs(const std::string &id, const Options &o)
{
    return SendCommand(cmd::moduleInfo()) && ReplyLength == cmd::kInfoReplyLength
        && cmd::infoSerial(LastReply) == o.serial && cmd::infoId(LastReply) == id;
}

} // namespace

int main(int argc, char **argv)
{
    const platform::TimerResolution timer;
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs("usage: win_link_check --port N --missing M --line I --serial S --id NN --version V"
                   " --status C --paper FILE --second N2 --second-line I2 --second-serial S2\n", stderr);
        return 2;
    }
    const std::string line = BaudRateList[std::size_t(o.line)];
    const std::string device = serial::deviceForPort(o.port);
    const std::string com = "COM" + std::to_string(o.port);

    // Catches a missing port that opens, or fails as something other than missing.
    {
        const serial::OpenResult r = serial::defaultLink.open(o.missing, line);
        if (r.opened())
            CloseComm();
        check(!r.opened() && r.failure == serial::OpenFailure::Missing && CommHandle == INVALID_COMM_HANDLE,
              "COM" + std::to_string(o.missing) + " (no device) does not open and is told apart as missing",
              r.device + ", error " + std::to_string(r.error));
    }

    // Another program leaves the port with its own time-outs, speed, handshaking and error
    // handling; and whether this system keeps time-outs between opens at all.
    const COMMTIMEOUTS foreign{50, 10, 500, 10, 200};
    bool timeoutsKeptBetweenOpens = false;
    {
        HANDLE h = rawOpen(device);
        if (h == INVALID_HANDLE_VALUE) {
            check(false, "another program opens " + com, "error " + std::to_string(GetLastError()));
            summary();
            return 1;
        }
        COMMTIMEOUTS t = foreign;
        SetCommTimeouts(h, &t);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(h, &dcb);
        dcb.BaudRate = DWORD(baudOf(o.line) == 9600 ? 4800 : 9600);
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        dcb.fDsrSensitivity = TRUE;
        dcb.fAbortOnError = TRUE;
        SetCommState(h, &dcb);
        CloseHandle(h);
        h = rawOpen(device);
        COMMTIMEOUTS again{};
        timeoutsKeptBetweenOpens = h != INVALID_HANDLE_VALUE && GetCommTimeouts(h, &again) && sameTimeouts(again, foreign);
        if (h != INVALID_HANDLE_VALUE) {
            t = foreign;
            SetCommTimeouts(h, &t);
            CloseHandle(h);
        }
    }

    // Catches an open that keeps what the last user left: a read that waits for more than
    // 1 ms, the wrong speed, a write held by CTS or XOFF, input dropped while DSR is low.
    {
        check(OpenComm(o.port, line) && CommHandle != INVALID_COMM_HANDLE, "OpenComm(" + std::to_string(o.port) + ", \"" + line + "\") opens " + device);
        COMMTIMEOUTS t{};
        const COMMTIMEOUTS link{0, 0, 1, 0, 0};
        const bool read = GetCommTimeouts(commHandle(), &t);
        check(read && sameTimeouts(t, link), "the open port reads with a 1 ms time-out and writes without one",
              timeoutsText(t));
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        const bool got = GetCommState(commHandle(), &dcb);
        check(got && dcb.BaudRate == DWORD(baudOf(o.line)) && dcb.ByteSize == 8 && dcb.StopBits == ONESTOPBIT,
              "the line runs at " + line + " (speed, data and stop bits)",
              std::to_string(dcb.BaudRate) + " baud, " + std::to_string(dcb.ByteSize) + " bits, stop " + std::to_string(dcb.StopBits));
        check(got && !dcb.fOutxCtsFlow && !dcb.fOutxDsrFlow && !dcb.fOutX && !dcb.fInX
                  && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && dcb.fDtrControl != DTR_CONTROL_HANDSHAKE
                  && !dcb.fDsrSensitivity && !dcb.fAbortOnError,
              "no handshaking, DSR ignored, no abort on a line error (another program had set them all)",
              "cts " + std::to_string(dcb.fOutxCtsFlow) + " dsr " + std::to_string(dcb.fOutxDsrFlow) + " xon "
                  + std::to_string(dcb.fOutX) + "/" + std::to_string(dcb.fInX) + " rts " + std::to_string(dcb.fRtsControl)
                  + " dtr " + std::to_string(dcb.fDtrControl) + " dsr-sens " + std::to_string(dcb.fDsrSensitivity)
                  + " abort " + std::to_string(dcb.fAbortOnError));
        const BYTE parity = line.find(",e,") != std::string::npos ? EVENPARITY : NOPARITY;
        if (dcb.Parity == parity)
            check(true, "the parity of " + line);
        else if (parity == EVENPARITY && dcb.Parity == NOPARITY)
            skip("the parity of " + line, "the port reports none: a pseudo-terminal keeps no parity bit, so it cannot be read back here");
        else
            check(false, "the parity of " + line, "parity " + std::to_string(dcb.Parity));
        unsigned char byte = 0;
        check(serial::backend().readByte(CommHandle, &byte) == 0, "a one-byte read with nothing arriving returns without a byte");
    }

    // Catches a write that does not reach the line whole and in order, and a one-byte read
    // that loses or reorders the reply.
    {
        const std::uint32_t start = platform::NowMs();
        writeInfoFrameByHand();
        const std::uint32_t spent = platform::NowMs() - start;
        const std::string reply = readReply();
        check(reply.size() == 16 && reply.front() == '\x0A' && reply.substr(1, 12) == "E" + o.id + "B" + o.serial
                  && reply.back() == '\x0D',
              "the five writes of 09 45 30 30 42 30 45 0D reach the module, and its reply is read byte by byte",
              printable(reply) + "; writes and pauses took " + std::to_string(spent) + " ms, their pauses 9 ms");
    }

    // Catches a late reply waiting in the port taken as the answer to the next command.
    {
        writeInfoFrameByHand();
        DWORD waiting = 0;
        for (const std::uint32_t start = platform::NowMs(); waiting < 16 && platform::NowMs() - start < 2000;) {
            DWORD errors = 0;
            COMSTAT status{};
            ClearCommError(commHandle(), &errors, &status);
            waiting = status.cbInQue;
            if (waiting < 16)
                platform::SleepMs(1);
        }
        const bool ok = SendCommand(cmd::firmwareVersion());
        check(waiting > 0 && ok && cmd::versionText(LastReply) == o.version,
              "with an unread E00B reply waiting, E00V gets its own reply",
              std::to_string(waiting) + " bytes were waiting; reply " + printable(LastReply));
    }

    // Catches a command the module does not get as sent, or a field read from the wrong place.
    {
        bool ok = infoIs(o.id, o);
        check(ok, "E00B: S/N " + o.serial + " and ID " + o.id, printable(LastReply));
        ok = SendCommand(cmd::firmwareVersion()) && cmd::versionText(LastReply) == o.version;
        check(ok, "E00V: version " + o.version, printable(LastReply));
        ok = SendCommand(cmd::printerStatus()) && cmd::statusChar(LastReply) == o.status;
        check(ok, "E00F: status " + o.status, printable(LastReply));

        const std::string text = "Hello from Windows";
        const bool printed = SendCommand(cmd::printText("  " + text + " \t")) && SendCommand(cmd::lineEnd());
        std::ifstream paperFile(o.paper, std::ios::binary);
        const std::string paper((std::istreambuf_iterator<char>(paperFile)), std::istreambuf_iterator<char>());
        check(printed && paper.size() >= text.size() + 2 && paper.compare(paper.size() - text.size() - 2, std::string::npos, text + "\r\n") == 0,
              "E00G and E00H0D0A: \"" + text + "\" and CR LF on the paper", printable(paper.substr(paper.size() > 40 ? paper.size() - 40 : 0)));

        const std::string newId = o.id == "42" ? "43" : "42";
        const bool changed = SendCommand(cmd::setModuleId(o.serial, newId)) && infoIs(newId, o);
        const bool back = SendCommand(cmd::setModuleId(o.serial, o.id)) && infoIs(o.id, o);
        check(changed && back, "E00C: the ID becomes " + newId + " and then " + o.id + " again");
    }

    // Catches a line setting that does not reach the port on reopening: after E00E the
    // module is heard only at its new speed.
    {
        const int other = baudOf(o.line) == 9600 ? 0 : 2;
        const std::string otherLine = BaudRateList[std::size_t(other)];
        const bool answered = SendCommand(cmd::setLineSettings(other));
        const bool oldLineSilent = !SendCommand(cmd::moduleInfo());
        CloseComm();
        const bool reopened = OpenComm(o.port, otherLine);
        const bool heard = infoIs(o.id, o);
        const bool answeredBack = SendCommand(cmd::setLineSettings(o.line));
        CloseComm();
        const bool reopenedBack = OpenComm(o.port, line);
        const bool heardBack = infoIs(o.id, o);
        CloseComm();
        check(answered && oldLineSilent && reopened && heard,
              "E00E" + cmd::setLineSettings(other).substr(4) + ": answered, then silent at " + line + ", heard again reopened at " + otherLine);
        check(answeredBack && reopenedBack && heardBack, "E00E" + cmd::setLineSettings(o.line).substr(4) + ": back at " + line);
    }

    // Catches a port another program holds opened again, or refused as something else.
    {
        HANDLE other = rawOpen(device);
        const serial::OpenResult r = serial::defaultLink.open(o.port, line);
        const bool opened = r.opened();
        if (opened) {
            CloseComm();
            skip("a port another program holds is refused as busy",
                 "the system let a second exclusive open of " + com + " through (Wine does not enforce share mode 0 on"
                 " serial devices; Windows' serial driver refuses it with ERROR_ACCESS_DENIED)");
        } else {
            check(other != INVALID_HANDLE_VALUE && r.failure == serial::OpenFailure::Busy, "a port another program holds is refused as busy",
                  "error " + std::to_string(r.error));
        }
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
    }

    // Catches a close that leaves the port unusable, or with the link's time-outs on it.
    {
        const bool reopened = OpenComm(o.port, line);
        const bool heard = infoIs(o.id, o);
        CloseComm();
        check(reopened && heard, "closed and opened again, " + com + " answers E00B");
        if (timeoutsKeptBetweenOpens) {
            HANDLE h = rawOpen(device);
            COMMTIMEOUTS t{};
            const bool read = h != INVALID_HANDLE_VALUE && GetCommTimeouts(h, &t);
            check(read && sameTimeouts(t, foreign),
                  "after CloseComm the port has the time-outs it had before OpenComm", timeoutsText(t));
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        } else {
            skip("after CloseComm the port has the time-outs it had before OpenComm",
                 "the system keeps no time-outs between opens (every open starts from its defaults), so none can be seen put back");
        }
    }

    sideBySide({o.port, o.line, o.serial}, {o.second, o.secondLine, o.secondSerial}, timeoutsKeptBetweenOpens);

    // Catches a failed read that returns at once: with the device gone from under the open
    // port, the exchange would spin a core through its whole window.
    {
        const bool opened = OpenComm(o.port, line);
        CloseHandle(commHandle());
        int emptyReads = 0;
        platform::Hooks counting;
        counting.pump = [&emptyReads] { ++emptyReads; };
        bool ok = true;
        {
            platform::HooksGuard guard(counting);
            ok = SendCommand(cmd::moduleInfo());
        }
        CloseComm();
        check(opened && !ok && emptyReads > 0 && emptyReads <= 1000,
              "a port that has gone fails its exchange without spinning through the window",
              std::to_string(emptyReads) + " empty reads in the " + std::to_string(kReplyWindowMs) + " ms window");
    }

    // Catches a Windows converter that counts a "?" of the text, or the bytes of one character,
    // as replaced, or reads a code page's bytes back wrongly.
    {
        int replaced = -1;
        const std::string gbk = platform::toCodePage("\u4E2D\u0E01?\uD55C", "GBK", &replaced);
        check(gbk == "\xD6\xD0\x3F\x3F\x3F" && replaced == 2, "GBK: the two characters it lacks become \"?\" and count as two",
              printable(gbk) + ", " + std::to_string(replaced));
        const std::string back = platform::fromCodePage("\x41\xD6\xD0\xCE\xC4", "GBK");
        check(back == "A\u4E2D\u6587", "GBK read back as UTF-8", printable(back));
        const std::string cut = platform::fromCodePage("\x41\xD6", "GBK");
        check(cut == "A\uFFFD" || cut == "A?", "GBK cut short in a character reads as U+FFFD or \"?\"", printable(cut));
    }

    return summary();
}
