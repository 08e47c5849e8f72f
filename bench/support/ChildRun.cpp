#include "ChildRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char **environ;

namespace quorlix::bench {

ChildRun runChild(const std::vector<std::string> &command, const std::filesystem::path &folder,
                  const std::filesystem::path &log, const std::vector<std::string> &extraEnvironment)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> argv;
    for (const std::string &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    // The extra words replace variables of the same name.
    std::vector<char *> environment;
    for (char **entry = environ; *entry; ++entry) {
        const char *equals = std::strchr(*entry, '=');
        const std::size_t nameLength = equals ? std::size_t(equals - *entry) + 1 : std::strlen(*entry);
        bool replaced = false;
        for (const std::string &extra : extraEnvironment)
            replaced = replaced || extra.compare(0, nameLength, *entry, nameLength) == 0;
        if (!replaced)
            environment.push_back(*entry);
    }
    for (const std::string &extra : extraEnvironment)
        environment.push_back(const_cast<char *>(extra.c_str()));
    environment.push_back(nullptr);

    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    run.started = true;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKilobytes = usage.ru_maxrss;
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                     + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace quorlix::bench
