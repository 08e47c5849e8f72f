#include "process/PosixProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif

extern char **environ;

namespace quorlix::posix {

int makePipe(Pipe &p)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return errno;
    p.readFd = fds[0];
    p.writeFd = fds[1];
    ::fcntl(p.readFd, F_SETFL, ::fcntl(p.readFd, F_GETFL) | O_NONBLOCK);
    return 0;
}

void closeFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

namespace {

// Everything below runs in the forked child before exec: only calls that are
// safe after fork in a threaded program.
[[noreturn]] void execChild(const char *path, char *const argv[], int outFd, int statusFd)
{
    sigset_t all;
    sigemptyset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        signal(sig, SIG_DFL);

    setsid();

    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(outFd, STDOUT_FILENO) < 0
        || dup2(outFd, STDERR_FILENO) < 0) {
        int err = errno;
        (void)!write(statusFd, &err, sizeof err);
        _exit(127);
    }
    // Whatever else this process has open must not reach the child.
#ifdef CLOSE_RANGE_CLOEXEC
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
#endif
    {
        long maxFd = sysconf(_SC_OPEN_MAX);
        for (int fd = 3; fd < maxFd && fd < 65536; ++fd)
            fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execve(path, argv, environ);
    int err = errno;
    (void)!write(statusFd, &err, sizeof err);
    _exit(127);
}

} // namespace

SpawnResult spawnHidden(const QByteArray &path, const QList<QByteArray> &argv, int outFd)
{
    SpawnResult result;

    // Prepared before fork: the child must not allocate.
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const QByteArray &arg : argv)
        args.push_back(const_cast<char *>(arg.constData()));
    args.push_back(nullptr);

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        result.error = errno;
        return result;
    }

    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = errno;
        ::close(status[0]);
        ::close(status[1]);
        return result;
    }
    if (pid == 0) {
        ::close(status[0]);
        execChild(path.constData(), args.data(), outFd, status[1]);
    }

    ::close(status[1]);
    int childErr = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);

    if (got == static_cast<ssize_t>(sizeof childErr)) {
        // The exec failed: the child has exited or is about to; collect it.
        int ignored;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
        result.error = childErr ? childErr : ENOENT;
        return result;
    }
    result.pid = pid;
    return result;
}

bool waitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

ssize_t readSome(int fd, char *buffer, size_t size)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool processGroupExists(pid_t leader)
{
    if (leader <= 0)
        return false;
    return ::kill(-leader, 0) == 0 || errno == EPERM;
}

int signalGroup(pid_t leader, int sig)
{
    if (leader <= 0)
        return EINVAL;
    return ::kill(-leader, sig) == 0 ? 0 : errno;
}

int signalProcess(pid_t pid, int sig)
{
    if (pid <= 0)
        return EINVAL;
    return ::kill(pid, sig) == 0 ? 0 : errno;
}

bool processExists(pid_t pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool reapIfEnded(pid_t pid)
{
    int status;
    pid_t rc;
    do {
        rc = ::waitpid(pid, &status, WNOHANG);
    } while (rc < 0 && errno == EINTR);
    return rc == pid || (rc < 0 && errno == ECHILD);
}

} // namespace quorlix::posix
