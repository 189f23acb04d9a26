#pragma once
// --audit FILE: the production line's record, one JSON line per unit and run. Stations on one
// share append to one file, so each line goes in whole: one write on a file opened for appending
// only (O_APPEND; on Windows FILE_APPEND_DATA), under an exclusive lock of the file (flock;
// LockFileEx), then flushed to the disk, so that neither another station nor a crash leaves a
// line interleaved or torn. A line a crash cut short earlier is closed with a line feed before
// the next is appended, so it stays the only broken one. audit_log_posix.cpp, audit_log_win32.cpp.

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
#ifdef _WIN32
    using File = void *;   // a HANDLE
#else
    using File = int;   // a descriptor
#endif
    AuditLog(File file, std::string path) : m_file(file), m_path(std::move(path)) {}
    File m_file;
    std::string m_path;
};

} // namespace tools
