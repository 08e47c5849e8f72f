#pragma once

// The thin POSIX layer under the command runner and the terminator: a pipe,
// a hidden child, reads that never block, signals and reaping.

#include <QByteArray>
#include <QList>

#include <sys/types.h>

namespace quorlix::posix {

struct Pipe {
    int readFd = -1;
    int writeFd = -1;
};

// Both ends close-on-exec, the read end non-blocking. 0 or errno.
int makePipe(Pipe &pipe);

void closeFd(int &fd);

struct SpawnResult {
    pid_t pid = -1;
    int error = 0; // errno of the failed fork or exec; 0 when the child runs
};

// Starts path with argv as a hidden child: standard input from /dev/null,
// standard output and standard error on outFd, a session and process group
// of its own (so no terminal), default signal handling, and no descriptor of
// ours but outFd. Reports a failed exec reliably through a status pipe.
SpawnResult spawnHidden(const QByteArray &path, const QList<QByteArray> &argv, int outFd);

// Waits until fd has something to read (data or end of file), at most
// timeoutMs. True when it has.
bool waitReadable(int fd, int timeoutMs);

// One non-blocking read: >0 bytes, 0 at end of file, -1 when nothing is
// there yet (or on error, see errno).
ssize_t readSome(int fd, char *buffer, size_t size);

// Whether a process group with this leader still has members.
bool processGroupExists(pid_t leader);
// 0 or errno.
int signalGroup(pid_t leader, int signal);
int signalProcess(pid_t pid, int signal);
// Whether the process exists (it may be a zombie).
bool processExists(pid_t pid);

// Collects the child's exit status if it has ended. True when the child is
// gone (reaped now or earlier), false while it still runs.
bool reapIfEnded(pid_t pid);

} // namespace quorlix::posix
