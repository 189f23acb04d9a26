#pragma once
// The ports this process holds, as a signal handler needs them (POSIX only). Each entry is filled
// before its port is changed and emptied after the port is put back, so a signal at any moment
// restores what is due: the termios saved at open, the exclusivity only where it is ours, and
// the marker that says the exclusivity is ours.
#ifndef _WIN32

#include <termios.h>

namespace serial::held {

// Takes an entry for fd with the state to put back; false when the table is full (the port is
// then not opened: it could not be restored on a signal).
bool add(int fd, const termios &saved);
// Records that TIOCEXCL on fd was set here, and leaves a marker naming this process, so that
// an exclusivity left behind by a killed run can be told apart from another program's.
void exclusiveSet(int fd);
// Puts back the saved termios and our exclusivity, removes the marker, empties the entry.
// Nothing when fd is not held. Does not close fd.
void restore(int fd);

// Installs the handler on every signal whose default is to end the program (SIGPIPE is ignored
// instead, so a closed pipe shows as a failed write). The previous handler of a signal, if it
// had one, still runs after the ports are put back.
void installSignalHandlers();

// When fd's exclusivity was left by a run of this program that has ended (a kill -9), that
// run's process id; 0 when it is not provably ours.
int exclusivityLeftBy(int fd);

} // namespace serial::held

#endif
