// Low latency for FTDI leads while they are held.
#ifdef __linux__

#include "latency_posix.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serial::latency {

namespace {

// /sys/dev/char/MAJOR:MINOR/device of fd's device, the tty's port on its bus.
bool deviceDir(int fd, char *out, std::size_t size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const int n = std::snprintf(out, size, "/sys/dev/char/%u:%u/device", major(st.st_rdev), minor(st.st_rdev));
    return n > 0 && std::size_t(n) < size;
}

bool isFtdi(const char *dir)
{
    char link[160];
    std::snprintf(link, sizeof link, "%s/driver", dir);
    char target[256];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = 0;
    const char *name = std::strrchr(target, '/');
    return std::strcmp(name ? name + 1 : target, "ftdi_sio") == 0;
}

} // namespace

int ftdiTimerMs(int fd)
{
    char dir[96];
    if (!deviceDir(fd, dir, sizeof dir) || !isFtdi(dir))
        return -1;
    char path[128];
    std::snprintf(path, sizeof path, "%s/latency_timer", dir);
    int ms = 0;
    if (std::FILE *f = std::fopen(path, "r")) {
        if (std::fscanf(f, "%d", &ms) != 1)
            ms = 0;
        std::fclose(f);
    }
    return ms > 0 ? ms : 0;   // QEMU's emulated chip reports 0
}

bool lower(int fd, Saved &saved)
{
    saved = Saved{};
    serial_struct flags{};
    if (::ioctl(fd, TIOCGSERIAL, &flags) != 0)
        return false;
    if (flags.flags & ASYNC_LOW_LATENCY)
        return true;
    serial_struct low = flags;
    low.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &low) != 0)
        return false;
    saved.flags = flags;
    saved.saved = true;
    return true;
}

void putBack(int fd, Saved &saved)
{
    if (!saved.saved)
        return;
    ::ioctl(fd, TIOCSSERIAL, &saved.flags);
    saved.saved = false;
}

} // namespace serial::latency

#endif
