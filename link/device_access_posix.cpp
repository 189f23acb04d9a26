// Who may use a device and who holds it, from the file system and /proc.
#ifndef _WIN32

#include "device_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

std::string groupToJoin(const std::string &device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || st.st_gid == 0)
        return {};
    // Joining a group helps only when the group may both read and write the device.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    // The side-by-side search opens ports from several threads at once.
    group entry {};
    group *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(st.st_gid);
}

std::vector<Holder> holdersOf(const std::string &device)
{
    struct stat wanted {};
    if (::stat(device.c_str(), &wanted) != 0)
        return {};
    std::vector<Holder> out;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return {};
    while (const dirent *entry = ::readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == ::getpid())
            continue;
        const std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
        DIR *fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue;
        bool holds = false;
        while (const dirent *f = ::readdir(fds)) {
            struct stat st {};
            if (f->d_name[0] != '.' && ::stat((fdDir + "/" + f->d_name).c_str(), &st) == 0
                && st.st_rdev == wanted.st_rdev && S_ISCHR(st.st_mode)) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (!holds)
            continue;
        char name[64] = {};
        if (std::FILE *comm = std::fopen(("/proc/" + std::string(entry->d_name) + "/comm").c_str(), "r")) {
            if (std::fgets(name, sizeof name, comm))
                name[std::strcspn(name, "\n")] = 0;
            std::fclose(comm);
        }
        out.push_back({name, pid});
    }
    ::closedir(proc);
    return out;
}

} // namespace serial

#endif
