// Line settings as termios: speed, parity, data and stop bits, raw mode without flow control.
#ifndef _WIN32

#include "termios_line.h"

#include "line_settings.h"

namespace serial {

namespace {

struct SpeedEntry {
    int baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

} // namespace

speed_t speedFor(int baud)
{
    for (const auto &e : kSpeeds)
        if (e.baud == baud)
            return e.speed;
    return B0;
}

int baudFor(speed_t speed)
{
    for (const auto &e : kSpeeds)
        if (e.speed == speed)
            return e.baud;
    return 0;
}

void makeRaw(termios &t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
    t.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool applyLineSettings(const std::string &settings, termios &t)
{
    const auto ls = parseLineSettings(settings);
    if (!ls)
        return false;
    const speed_t speed = speedFor(ls->baud);
    if (speed == B0)
        return false;
    if (ls->parity == 'm' || ls->parity == 's')
        return false;   // mark and space parity have no portable termios form

    termios n = t;
    cfsetispeed(&n, speed);
    cfsetospeed(&n, speed);
    n.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
    switch (ls->dataBits) {
    case 5: n.c_cflag |= CS5; break;
    case 6: n.c_cflag |= CS6; break;
    case 7: n.c_cflag |= CS7; break;
    default: n.c_cflag |= CS8; break;
    }
    if (ls->parity == 'e')
        n.c_cflag |= PARENB;
    else if (ls->parity == 'o')
        n.c_cflag |= PARENB | PARODD;
    if (ls->stopBits == 2)
        n.c_cflag |= CSTOPB;
    n.c_iflag &= ~tcflag_t(INPCK);
    if (ls->parity != 'n')
        n.c_iflag |= INPCK;
    t = n;
    return true;
}

} // namespace serial

#endif
