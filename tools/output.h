#pragma once
// Where telmax-cmd's words go, each write checked. A production line records a module as done
// on exit status 0, so results that did not reach stdout (a full disk, a closed pipe, a closed
// stdout) or a trace that was not written must fail the run, never pass silently.
//
// Text for people is in the locale's code page; JSON is UTF-8.

#include <cstdio>
#include <string>

#include <QString>

namespace tools {

class Output {
public:
    Output(std::FILE *file, std::string name) : m_file(file), m_name(std::move(name)) {}

    // Writes and flushes; false (and the reason kept) when either fails, now or before.
    bool write(const std::string &bytes);
    bool ok() const { return m_error.empty(); }
    // "stdout: No space left on device"; empty while every write went through.
    const std::string &error() const { return m_error; }
    void fail(const std::string &reason);
    // Flushes what others wrote to the file directly and checks it; false as write() is.
    bool check();
    std::FILE *file() const { return m_file; }

private:
    std::FILE *m_file;
    std::string m_name;
    std::string m_error;
};

// The results: stdout.
Output &results();

// Makes sure descriptors 0, 1 and 2 are open before anything else is, so that a port opened later
// can never become the program's stdout; a stdout that was closed counts as a failed write.
void guardStandardStreams();

// Text for people, in the locale's code page (a character it lacks as "?").
std::string local(const QString &text);
// An argument from the command line, read in the locale's code page.
QString fromLocal(const std::string &bytes);
// One line on stderr (progress, reasons); failures to write it are not the run's failure.
void tell(const QString &line);
// The same for a line that is in the locale's code page already (another run's progress).
void tellBytes(const std::string &line);

} // namespace tools
