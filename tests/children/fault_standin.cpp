// Stands in for an outside program (the downloader, the help compiler, or
// any child) in the fault and bad-input tests. It is started through a link
// in a scratch folder's bin/, and its link name NAME (upper-cased) picks the
// environment variables it obeys, so the downloader's and the compiler's
// stand-ins can behave differently in one conversion:
//   STANDIN_<NAME>_ARGV   file that receives its arguments (argv[1...]),
//                         each followed by a NUL byte
//   STANDIN_<NAME>_PIDS   file that gets its process ID appended, one a line
//   STANDIN_<NAME>_SAVE   N: like the downloader, creates the folder after
//                         "-P" (and its parents) and saves N pages in it,
//                         logging each as: URL:ADDRESS [6/6] -> "PATH" [1]
//   STANDIN_<NAME>_FLOOD  then writes that many bytes of 64-byte log lines
//                         as fast as it can
//   STANDIN_<NAME>_TALK_MS  then writes a line every 20 ms for that long
//                         (-1: until it is ended)
//   STANDIN_<NAME>_LINGER_MS  then closes its output and stays that long
//   STANDIN_<NAME>_MAKE   when named hhc, like the compiler: unless this is
//                         0, writes a small file at the path of the project's
//                         "Compiled file=" line once it has talked

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string gName;

const char *setting(const char *key)
{
    const std::string variable = "STANDIN_" + gName + "_" + key;
    return std::getenv(variable.c_str());
}

long number(const char *key, long fallback)
{
    const char *value = setting(key);
    return value ? std::atol(value) : fallback;
}

void say(const std::string &text)
{
    const char *data = text.data();
    size_t size = text.size();
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(3);
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void writeFile(const char *path, const std::string &bytes, int flags)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return;
    (void)!::write(fd, bytes.data(), bytes.size());
    ::close(fd);
}

void makeFolders(const std::string &path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

void save(int argc, char *argv[], long pages)
{
    std::string folder = ".";
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-P") == 0)
            folder = argv[i + 1];
    const std::string address = argc > 1 ? argv[argc - 1] : "";
    makeFolders(folder + "/site");
    for (long i = 1; i <= pages; ++i) {
        const std::string path = folder + "/site/page" + std::to_string(i) + ".html";
        const std::string page = "<html><body>page " + std::to_string(i) + "</body></html>\n";
        writeFile(path.c_str(), page, O_TRUNC);
        say("2026-12-07 10:00:00 URL:" + address + " [" + std::to_string(page.size()) + "/"
            + std::to_string(page.size()) + "] -> \"" + path + "\" [1]\n");
    }
}

// Like the compiler: a small file where the project (argv[1]) says.
void compile(const char *project)
{
    std::FILE *file = std::fopen(project, "rb");
    if (!file)
        return;
    char line[4096];
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "Compiled file=", 14) != 0)
            continue;
        std::string path = line + 14;
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        writeFile(path.c_str(), "ITSF stand-in\n", O_TRUNC);
        break;
    }
    std::fclose(file);
}

} // namespace

int main(int argc, char *argv[])
{
    const char *base = std::strrchr(argv[0], '/');
    for (const char *c = base ? base + 1 : argv[0]; *c; ++c)
        gName += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));

    if (const char *file = setting("ARGV")) {
        std::string bytes;
        for (int i = 1; i < argc; ++i) {
            bytes += argv[i];
            bytes += '\0';
        }
        writeFile(file, bytes, O_TRUNC);
    }
    if (const char *file = setting("PIDS"))
        writeFile(file, std::to_string(::getpid()) + "\n", O_APPEND);
    if (const long pages = number("SAVE", 0))
        save(argc, argv, pages);
    if (const long flood = number("FLOOD", 0)) {
        std::string block;
        for (int i = 0; i < 1024; ++i) {
            char line[65];
            std::snprintf(line, sizeof line, "%-63s\n", ("flooding the log, line " + std::to_string(i)).c_str());
            block += line;
        }
        for (long written = 0; written < flood; written += static_cast<long>(block.size()))
            say(flood - written < static_cast<long>(block.size()) ? block.substr(0, flood - written) : block);
    }
    const long talkMs = number("TALK_MS", 0);
    for (long spent = 0; talkMs < 0 || spent < talkMs; spent += 20) {
        say("working " + std::to_string(spent) + "\n");
        ::usleep(20000);
    }
    if (gName == "HHC" && argc == 2 && number("MAKE", 1) != 0)
        compile(argv[1]);
    if (const long lingerMs = number("LINGER_MS", 0)) {
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        ::usleep(static_cast<useconds_t>(lingerMs) * 1000);
    }
    return 0;
}
