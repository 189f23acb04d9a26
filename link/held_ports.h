#pragma once
// The ports this process holds, as a signal handler needs them (POSIX only). An entry is taken
// before its port is changed and is busy while the port is being changed or put back; the
// handler waits for a busy entry of another thread, so a signal at any moment restores what is
// due: the termios saved at open, the exclusivity only where it is ours, the marker that says
// the exclusivity is ours, our lock file of the old convention and the serial flags we changed.
// Every operation here runs with the ending signals held back on its own thread
// (serial::EndingSignalsHeld), so the handler never interrupts one half made.
#ifndef _WIN32

#include <functional>
#include <string>
#include <termios.h>

namespace serial::held {

// True once a signal has begun to end the program: from then on no port is taken or changed.
bool ending();

// Takes an entry for fd with the state to put back; it stays busy until published.
// -1 when the table is full or the program is ending: the port must then not be changed.
int add(int fd, const termios &saved);
// Of an entry taken by add: TIOCEXCL on its port was set here. Leaves a marker naming this
// process, so that an exclusivity left behind by a killed run can be told apart from another
// program's.
void exclusiveSet(int entry);
// Of an entry taken by add: writes this process's lock file of the old convention at path (when
// it can be made new), removed again with the entry.
void writeLock(int entry, const std::string &path);
// Of an entry taken by add: asks the driver for low latency, the port's flags put back with the
// entry; true when the driver took it.
bool lowerLatency(int entry);
// The port of an entry taken by add is set up: from now on a signal puts it back.
void publish(int entry);

// Runs change on a held port with its entry busy, and its result; false without running it
// when fd is not held (any more: a signal has put the port back).
bool change(int fd, const std::function<bool()> &change);
// Puts back the saved termios and our exclusivity, removes the marker, empties the entry.
// Nothing when fd is not held. Does not close fd.
void restore(int fd);

// Installs the handler on every signal whose default is to end the program (SIGPIPE is ignored
// instead, so a closed pipe shows as a failed write). The previous handler of a signal, if it
// had one, still runs after the ports are put back.
void installSignalHandlers();

// When fd's exclusivity was left by a run of this program that has ended (a kill -9), that
// run's process id; 0 when it is not provably ours. A file under the marker's name that is not
// a regular file of root's or of this user's is not read (/run/lock is anyone's to write in):
// its path goes to ignored.
int exclusivityLeftBy(int fd, std::string &ignored);

} // namespace serial::held

#endif
