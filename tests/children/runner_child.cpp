// A small console program that the runner tests start. What it does is
// chosen by its first argument:
//   silent               writes nothing and exits
//   bytes N              writes N bytes ('a' to 'z' over and over) in one write
//   chatty LINES         writes LINES numbered lines, a few at a time
//   exit CODE            writes "failing\n" and exits with CODE
//   split                writes "caf", then alone the first byte of "é",
//                        waits longer than one pass of the runner, then the
//                        second byte and "!\n"
//   linger               closes its output, waits a little, then exits
//   ticker               writes "tick\n" every 20 ms until it is ended
//   fds                  lists its open descriptors: "<fd> <target>" lines
//   session              writes "<pid> <process group> <session> <tty errno>"
//   group FILE           starts a grandchild; both write "<who> ready\n", then
//                        wait; a SIGTERM or SIGHUP is appended to FILE as
//                        "<who> <signal number>\n" and ends the one it reaches
//   args ...             writes each further argument on a line of its own

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::_Exit(3);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void say(const std::string &text) { writeAll(STDOUT_FILENO, text.data(), text.size()); }

void pause(int ms) { ::usleep(static_cast<useconds_t>(ms) * 1000); }

int bytes(long count)
{
    std::string text(static_cast<size_t>(count), ' ');
    for (long i = 0; i < count; ++i)
        text[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
    say(text);
    return 0;
}

int chatty(long lines)
{
    std::string batch;
    for (long i = 1; i <= lines; ++i) {
        batch += "line " + std::to_string(i) + " of " + std::to_string(lines) + "\n";
        if (i % 7 == 0) {
            say(batch);
            batch.clear();
            if (i % 70 == 0)
                pause(1);
        }
    }
    say(batch);
    return 0;
}

int listDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return 2;
    std::string text;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        if (fd == ::dirfd(dir))
            continue;
        char target[512] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) < 0)
            std::strcpy(target, "?");
        text += std::to_string(fd) + " " + target + "\n";
    }
    ::closedir(dir);
    say(text);
    return 0;
}

int session()
{
    const int tty = ::open("/dev/tty", O_RDONLY);
    const int ttyErrno = tty < 0 ? errno : 0;
    say(std::to_string(::getpid()) + " " + std::to_string(::getpgrp()) + " " + std::to_string(::getsid(0)) + " "
        + std::to_string(ttyErrno) + "\n");
    return 0;
}

int gRecordFd = -1;
const char *gWho = "parent";

void recordSignal(int sig)
{
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s %d\n", gWho, sig);
    if (n > 0)
        (void)!::write(gRecordFd, line, static_cast<size_t>(n));
    ::_exit(0);
}

int group(const char *file)
{
    gRecordFd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gRecordFd < 0)
        return 2;
    std::signal(SIGTERM, recordSignal);
    std::signal(SIGHUP, recordSignal);
    const pid_t pid = ::fork();
    if (pid == 0)
        gWho = "grandchild";
    say(std::string(gWho) + " ready\n");
    for (int i = 0; i < 3000; ++i) // ends by itself after a minute at the latest
        pause(20);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const char *arg = argc > 2 ? argv[2] : "0";
    if (mode == "silent")
        return 0;
    if (mode == "bytes")
        return bytes(std::atol(arg));
    if (mode == "chatty")
        return chatty(std::atol(arg));
    if (mode == "exit") {
        say("failing\n");
        return std::atoi(arg);
    }
    if (mode == "split") {
        say("caf");
        pause(100);
        say("\xc3");
        pause(700);
        say("\xa9!\n");
        return 0;
    }
    if (mode == "linger") {
        say("closing\n");
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        pause(300);
        return 0;
    }
    if (mode == "ticker") {
        for (int i = 0; i < 3000; ++i) {
            say("tick\n");
            pause(20);
        }
        return 0;
    }
    if (mode == "fds")
        return listDescriptors();
    if (mode == "session")
        return session();
    if (mode == "group")
        return group(arg);
    if (mode == "args") {
        for (int i = 2; i < argc; ++i)
            say(std::string(argv[i]) + "\n");
        return 0;
    }
    std::fprintf(stderr, "unknown mode: %s\n", mode.c_str());
    return 2;
}
