#include "mirror/FileStore.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlix::mirror {

void makeFolders(const std::string &folder, std::size_t owned, bool mayReplaceFile)
{
    std::size_t start = 0;
    while (start <= folder.size()) {
        std::size_t slash = folder.find('/', start);
        if (slash == std::string::npos)
            slash = folder.size();
        const std::string path = folder.substr(0, slash);
        start = slash + 1;
        if (path.empty() || path == "." || path == "..")
            continue;
        if (::mkdir(path.c_str(), 0755) == 0 || errno != EEXIST || path.size() <= owned)
            continue;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
            continue;
        if (S_ISLNK(info.st_mode) || (mayReplaceFile && slash == folder.size())) {
            ::unlink(path.c_str());
            ::mkdir(path.c_str(), 0755);
        }
    }
}

std::string makePrivateFolder(const std::string &prefix, int &error)
{
    // Not a fixed name: one made ahead (a symlink) would take the bodies.
    std::string name = prefix + "/.quorlix-wget-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(name.data()))
        return name;
    error = errno;
    return prefix + "/.quorlix-wget-" + std::to_string(::getpid()) + "-unmade";
}

Placing placeFile(const std::string &temp, const std::string &file, int &error)
{
    struct stat info {};
    // access() is the kernel's own answer: root may write a read-only file,
    // as GNU Wget run as root does.
    if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(file.c_str(), W_OK) != 0
        && errno == EACCES)
        return Placing::ReadOnly;
    if (::rename(temp.c_str(), file.c_str()) == 0)
        return Placing::Placed;
    error = errno;
    return Placing::Failed;
}

bool rewriteFile(const std::string &file, const std::string &bytes)
{
    // A short name: the file's own may be as long as a name can be.
    const std::size_t slash = file.rfind('/');
    const std::string temp = (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + ".quorlix-wget-"
                             + std::to_string(::getpid()) + "-" + std::to_string(std::hash<std::string>()(file))
                             + ".part";
    // Made new, never opened through whatever lies under that name.
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t written = 0; ok && written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        written += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), file.c_str()) == 0)
        return true;
    const int error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
}

} // namespace quorlix::mirror
