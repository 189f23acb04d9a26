// A unit's run on Windows: CreateProcessW in a process group of its own, stdout and stderr
// through pipes, each read by a thread of its own.
#include "tools/child_run.h"

#include <condition_variable>
#include <csignal>
#include <deque>
#include <thread>

#include <windows.h>

namespace tools {

namespace {

std::wstring wide(const std::string &text)
{
    // The arguments came in the ANSI code page; the child's runtime turns them back into it.
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring &text)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, "?", nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out.data(), n, "?", nullptr);
    return out;
}

std::string systemMessage(DWORD code)
{
    char *text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD n = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

std::wstring selfPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0)
            return L"telmax-cmd.exe";
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// One argument as the child's runtime splits a command line again (CommandLineToArgvW's rules):
// quoted when it holds a blank or a quote or is empty, a quote escaped, and the backslashes
// before a quote (the closing one too) doubled.
void appendQuoted(std::wstring &line, const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// Makes handles inheritable only while one child is made: a child made at the same time on
// another thread would otherwise inherit this one's pipe ends, and this one's output would not
// end before that child did.
std::mutex g_spawning;

HANDLE inheritableNul()
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

// What the two reader threads hand to the calling thread: a piece of stdout (0) or stderr (1),
// or its end.
struct Piece {
    int stream;
    std::string bytes;
    bool end;
};

class Mailbox {
public:
    void post(Piece piece)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_pieces.push_back(std::move(piece));
        }
        m_posted.notify_one();
    }
    Piece take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_posted.wait(lock, [this] { return !m_pieces.empty(); });
        Piece piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        return piece;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<Piece> m_pieces;
};

void readPipe(HANDLE pipe, int stream, Mailbox &box)
{
    char buffer[4096];
    DWORD n = 0;
    // Ends with ERROR_BROKEN_PIPE once the child, the only writer, has closed its end.
    while (pipe && ReadFile(pipe, buffer, sizeof buffer, &n, nullptr))
        if (n > 0)
            box.post({stream, std::string(buffer, n), false});
    box.post({stream, std::string(), true});
}

// Hands each whole line of what came to on, without its "\r\n"; keeps the rest for the next.
void splitLines(std::string &pending, const std::function<void(const std::string &)> &on)
{
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        const std::size_t length = end > 0 && pending[end - 1] == '\r' ? end - 1 : end;
        on(pending.substr(0, length));
        pending.erase(0, end + 1);
    }
}

} // namespace

ChildRun::~ChildRun()
{
    for (HANDLE pipe : {m_out, m_err})
        if (pipe)
            CloseHandle(pipe);
    if (m_process) {
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
}

bool ChildRun::start(const std::vector<std::string> &args, std::string &error)
{
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, nullptr, 0) || !CreatePipe(&errRead, &errWrite, nullptr, 0)) {
        error = systemMessage(GetLastError());
        for (HANDLE h : {outRead, outWrite})
            if (h)
                CloseHandle(h);
        return false;
    }
    m_out = outRead;
    m_err = errRead;
    const std::wstring program = selfPath();
    std::wstring line;
    appendQuoted(line, program);
    for (const std::string &a : args) {
        line += L' ';
        appendQuoted(line, wide(a));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION child{};
    // Its own process group: a Ctrl+C at the console reaches this program only, and signal()
    // can reach the child alone. Without a console of ours, none is made for it.
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | (GetConsoleWindow() || GetConsoleCP() ? 0 : CREATE_NO_WINDOW);
    BOOL made = FALSE;
    DWORD madeError = 0;
    {
        const std::lock_guard<std::mutex> spawning(g_spawning);
        startup.hStdInput = inheritableNul();
        SetHandleInformation(outWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetHandleInformation(errWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        made = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                              &child);
        madeError = GetLastError();
        for (HANDLE h : {startup.hStdInput, outWrite, errWrite})
            if (h && h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
    }
    if (!made) {
        error = narrow(program) + ": " + systemMessage(madeError);
        return false;
    }
    CloseHandle(child.hThread);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_process = child.hProcess;
    m_pid = child.dwProcessId;
    return true;
}

int ChildRun::wait(const std::function<void(const std::string &)> &onOut,
                   const std::function<void(const std::string &)> &onErr)
{
    Mailbox box;
    std::thread readers[2] = {std::thread(readPipe, m_out, 0, std::ref(box)),
                              std::thread(readPipe, m_err, 1, std::ref(box))};
    std::string pending[2];
    const std::function<void(const std::string &)> *on[2] = {&onOut, &onErr};
    for (int open = 2; open > 0;) {
        Piece piece = box.take();
        std::string &rest = pending[piece.stream];
        if (piece.end) {
            if (!rest.empty())
                (*on[piece.stream])(rest);
            --open;
            continue;
        }
        rest += piece.bytes;
        splitLines(rest, *on[piece.stream]);
    }
    for (std::thread &reader : readers)
        reader.join();
    for (HANDLE *pipe : {&m_out, &m_err})
        if (*pipe) {
            CloseHandle(*pipe);
            *pipe = nullptr;
        }
    if (!m_process)
        return 1;
    WaitForSingleObject(m_process, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(m_process, &code);
    const std::lock_guard<std::mutex> lock(m_mutex);
    CloseHandle(m_process);
    m_process = nullptr;
    // Ended by a console event or a fault (0xC000013A, 0xC0000005, ...): as a signal on POSIX.
    return code <= 255 ? int(code) : 1;
}

void ChildRun::signal(int sig)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_process || sig != SIGINT)
        return;
    // A process group other than the console's own gets no Ctrl+C, only Ctrl+Break. Without a
    // console shared with the child there is no event to send, and the child is ended as the
    // event would end any verb but the continuous test.
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_pid))
        TerminateProcess(m_process, 1);
}

} // namespace tools
