#pragma once
// Plain pseudo-terminal pairs for tests, and reading what arrives on a descriptor in time.

#include <string>
#include <vector>

namespace testsupport {

// A master/slave pair, both open, the slave raw. Closed in the destructor.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return m_master >= 0 && m_slave >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string &slavePath() const { return m_slavePath; }
    // Closes the slave side this pair holds (the master then reads EIO once no one else has it).
    void closeSlave();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// Every byte that arrives on fd within ms milliseconds from now.
std::vector<unsigned char> readFor(int fd, int ms);
// Bytes until (and including) the first `end` byte, or whatever came within ms.
std::vector<unsigned char> readUntil(int fd, unsigned char end, int ms);
// Writes all bytes (waiting for room); false when the descriptor failed.
bool writeAll(int fd, const std::vector<unsigned char> &bytes);

// Opens a tty device raw and non-blocking at a baud rate; -1 on failure.
int openRaw(const std::string &device, int baud);
// Sets the baud rate of an open tty; false when the rate is unknown or the call failed.
bool setBaud(int fd, int baud);

} // namespace testsupport
