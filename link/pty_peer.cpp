#include "pty_peer.h"

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace serial {

#ifdef _WIN32

std::optional<Holder> ptyPeer(const std::string &) { return std::nullopt; }
bool isPtySlave(const std::string &) { return false; }

#else

namespace {

// Linux numbers the slaves of /dev/ptmx under eight majors from 136 (UNIX98_PTY_SLAVE_MAJOR).
constexpr unsigned kFirstSlaveMajor = 136;
constexpr unsigned kSlaveMajors = 8;

// The pty index of a slave device; -1 for anything else.
long slaveIndex(const std::string &device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return -1;
    const unsigned major = ::major(st.st_rdev);
    if (major < kFirstSlaveMajor || major >= kFirstSlaveMajor + kSlaveMajors)
        return -1;
    return long(major - kFirstSlaveMajor) * 256 + long(::minor(st.st_rdev));
}

// Whether the descriptor fd of process pid is a pty master with this index.
bool isMasterOf(const std::string &pid, const char *fd, long index)
{
    char target[64] = {};
    const std::string link = "/proc/" + pid + "/fd/" + fd;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    const char *base = std::strrchr(target, '/');
    if (n <= 0 || std::strcmp(base ? base + 1 : target, "ptmx") != 0)
        return false;
    std::FILE *info = std::fopen(("/proc/" + pid + "/fdinfo/" + fd).c_str(), "r");
    if (!info)
        return false;
    bool found = false;
    char line[128];
    while (!found && std::fgets(line, sizeof line, info))
        found = std::strncmp(line, "tty-index:", 10) == 0 && std::strtol(line + 10, nullptr, 10) == index;
    std::fclose(info);
    return found;
}

std::string processName(const std::string &pid)
{
    char name[64] = {};
    if (std::FILE *comm = std::fopen(("/proc/" + pid + "/comm").c_str(), "r")) {
        if (std::fgets(name, sizeof name, comm))
            name[std::strcspn(name, "\n")] = 0;
        std::fclose(comm);
    }
    return name;
}

} // namespace

bool isPtySlave(const std::string &device) { return slaveIndex(device) >= 0; }

std::optional<Holder> ptyPeer(const std::string &device)
{
    const long index = slaveIndex(device);
    if (index < 0)
        return std::nullopt;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<Holder> peer;
    while (!peer) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const std::string name = entry->d_name;
        DIR *fds = ::opendir(("/proc/" + name + "/fd").c_str());
        if (!fds)
            continue;
        while (const dirent *f = ::readdir(fds))
            if (f->d_name[0] != '.' && isMasterOf(name, f->d_name, index)) {
                peer = Holder{processName(name), pid};
                break;
            }
        ::closedir(fds);
    }
    ::closedir(proc);
    return peer;
}

#endif

} // namespace serial
