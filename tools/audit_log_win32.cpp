// --audit on Windows: FILE_APPEND_DATA, LockFileEx, FlushFileBuffers.
#include "tools/audit_log.h"

#include <windows.h>

namespace tools {

namespace {

// The system's wording for code, in the ANSI code page as the rest of stderr.
std::string reason(const std::string &path, DWORD code)
{
    char *text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD n = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return path + ": " + message;
}

std::string notRegular(const std::string &path)
{
    return path + ": not a regular file (the record is a file an auditor reads later)";
}

// The path as the program's arguments carry it: in the ANSI code page, as fopen would read it.
bool widePath(const std::string &path, std::wstring &wide)
{
    const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), int(path.size()), nullptr, 0);
    if (n <= 0)
        return false;
    wide.assign(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), int(path.size()), wide.data(), n);
    return true;
}

// Appending only (no FILE_WRITE_DATA): every write goes to the end of the file as it is then.
HANDLE openForAppending(const std::wstring &path, bool read)
{
    const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE | (read ? FILE_READ_DATA : 0);
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Under the lock: whether the file ends in the middle of a line (a writer that crashed).
bool endsInsideALine(HANDLE file)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0)
        return false;
    OVERLAPPED at{};
    const ULONGLONG last = ULONGLONG(size.QuadPart) - 1;
    at.Offset = DWORD(last);
    at.OffsetHigh = DWORD(last >> 32);
    char byte = '\n';
    DWORD n = 0;
    return ReadFile(file, &byte, 1, &n, &at) && n == 1 && byte != '\n';
}

// The whole file, and all it may grow to, locked exclusively while a record goes in.
class FileLock {
public:
    explicit FileLock(HANDLE file) : m_file(file)
    {
        m_locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &m_range);
    }
    ~FileLock()
    {
        if (m_locked)
            UnlockFileEx(m_file, 0, MAXDWORD, MAXDWORD, &m_range);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool locked() const { return m_locked; }

private:
    HANDLE m_file;
    OVERLAPPED m_range{};   // from offset 0
    bool m_locked = false;
};

} // namespace

std::unique_ptr<AuditLog> AuditLog::open(const std::string &path, std::string &error)
{
    std::wstring wide;
    if (!widePath(path, wide)) {
        error = reason(path, GetLastError());
        return nullptr;
    }
    // Read too: the last byte tells whether a crashed writer left a line open.
    HANDLE file = openForAppending(wide, true);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        // A folder is refused as access denied; say what it is.
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = notRegular(path);
            return nullptr;
        }
        file = openForAppending(wide, false);   // a file only appended to: no such repair
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = reason(path, GetLastError());
        return nullptr;
    }
    // A device (NUL, CON, COMn) or a pipe keeps no record.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = notRegular(path);
        return nullptr;
    }
    return std::unique_ptr<AuditLog>(new AuditLog(file, path));
}

AuditLog::~AuditLog() { CloseHandle(m_file); }

bool AuditLog::append(const std::string &line, std::string &error)
{
    const FileLock lock(m_file);
    if (!lock.locked()) {
        error = reason(m_path, GetLastError());
        return false;
    }
    const std::string whole = (endsInsideALine(m_file) ? "\n" : "") + line + "\n";
    DWORD written = 0;
    if (!WriteFile(m_file, whole.data(), DWORD(whole.size()), &written, nullptr)) {
        error = reason(m_path, GetLastError());
        return false;
    }
    if (written != whole.size()) {
        // Appending only, the file cannot be cut back to where it was.
        error = reason(m_path, ERROR_DISK_FULL) + " (a part of the record stays in the file)";
        return false;
    }
    if (!FlushFileBuffers(m_file)) {
        error = reason(m_path, GetLastError());
        return false;
    }
    return true;
}

} // namespace tools
