// Who may use a device and who holds it, from the file system and /proc.
#ifndef _WIN32

#include "device_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
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

namespace {

std::string userName()
{
    passwd entry {};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return {};
}

bool processHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(std::size_t(n > 0 ? n : 0));
    if (n > 0 && ::getgroups(n, groups.data()) == n)
        for (gid_t g : groups)
            if (g == gid)
                return true;
    return false;
}

// The group's line of the group file, "name:password:gid:member,member"; false when none.
bool groupLine(const std::string &group, const std::string &groupFile, gid_t &gid, std::string &members)
{
    std::ifstream in(groupFile);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t a = line.find(':'), b = line.find(':', a + 1), c = line.find(':', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos || line.substr(0, a) != group)
            continue;
        gid = gid_t(std::strtoul(line.substr(b + 1, c - b - 1).c_str(), nullptr, 10));
        members.assign(1, ',');
        members.append(line, c + 1, std::string::npos);
        members.push_back(',');
        return true;
    }
    return false;
}

} // namespace

bool groupPending(const std::string &group, const std::string &groupFile)
{
    gid_t gid = 0;
    std::string members;
    const std::string user = userName();
    if (group.empty() || user.empty() || !groupLine(group, groupFile, gid, members))
        return false;
    std::string listed(1, ',');
    listed.append(user);
    listed.push_back(',');
    return members.find(listed) != std::string::npos && !processHasGroup(gid);
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
