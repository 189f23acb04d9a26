#pragma once
// --audit FILE: the production line's record, one JSON line per unit and run. Stations on one
// share append to one file, so each line goes in whole: one write(2) on a descriptor opened with
// O_APPEND, under an exclusive flock of the file, then fsync, so that neither another station
// nor a crash leaves a line interleaved or torn. A line a crash cut short earlier is closed with
// a line feed before the next is appended, so it stays the only broken one.

#include <memory>
#include <string>

namespace tools {

class AuditLog {
public:
    // The file opened for appending (made when missing); nothing, with the reason in error, when
    // it cannot be, or is no regular file (a record is read back by an auditor, later).
    static std::unique_ptr<AuditLog> open(const std::string &path, std::string &error);
    ~AuditLog();
    AuditLog(const AuditLog &) = delete;
    AuditLog &operator=(const AuditLog &) = delete;

    // Appends line (a JSON object without its line feed) whole; false, with the reason in error,
    // when it did not go in whole, in which case nothing of it stays in the file.
    bool append(const std::string &line, std::string &error);

    const std::string &path() const { return m_path; }

private:
    AuditLog(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    int m_fd;
    std::string m_path;
};

} // namespace tools
