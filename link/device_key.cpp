#include "device_key.h"

#ifdef _WIN32
#include <algorithm>
#include <cctype>
#else
#include <sys/stat.h>
#endif

namespace serial {

std::string deviceKey(const std::string &device)
{
#ifdef _WIN32
    // \\.\COMn names a port by itself; Windows does not tell names apart by case.
    std::string key = device;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return "name:" + key;
#else
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return "name:" + device;
    if (S_ISCHR(st.st_mode))
        return "char:" + std::to_string(st.st_rdev);
    return "file:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
#endif
}

} // namespace serial
