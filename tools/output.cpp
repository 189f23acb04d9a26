#include "tools/output.h"

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "ops/visible_text.h"
#include "platform/code_page.h"

namespace tools {

bool Output::write(const std::string &bytes)
{
    if (!ok())
        return false;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size() || std::fflush(m_file) != 0) {
        fail(std::strerror(errno ? errno : EIO));
        return false;
    }
    return true;
}

bool Output::check()
{
    errno = 0;
    if (std::fflush(m_file) != 0 || std::ferror(m_file))
        fail(std::strerror(errno ? errno : EIO));
    return ok();
}

void Output::fail(const std::string &reason)
{
    if (m_error.empty())
        m_error = m_name + ": " + reason;
}

Output &results()
{
    static Output out(stdout, "stdout");
    return out;
}

void guardStandardStreams()
{
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
        if (fd == 1)
            results().fail("closed: nothing would record the results");
    }
#endif
}

std::string local(const QString &text)
{
    return ops::localBytes(text);
}

QString fromLocal(const std::string &bytes)
{
    return QString::fromStdString(platform::fromCodePage(bytes, std::string()));
}

void tell(const QString &line)
{
    tellBytes(local(line));
}

void tellBytes(const std::string &line)
{
    const std::string bytes = line + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

} // namespace tools
