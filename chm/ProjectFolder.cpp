#include "chm/ProjectFolder.h"

#include "chm/container/DirectoryName.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlix::chm {

namespace fs = std::filesystem;

namespace {

std::string outsideBecause(const char *why)
{
    return std::string("is outside the project's folder (") + why + ")";
}

// /proc/self/cwd, /proc/self/root and /proc/PID/fd/N lead anywhere, whatever
// the letters after them say.
bool throughProc(std::string_view path)
{
    return path == "/proc" || path.substr(0, 6) == "/proc/";
}

// fs::path::lexically_normal(), without the empty last part a trailing "/"
// leaves.
fs::path normalFolder(const fs::path &folder)
{
    fs::path normal = folder.lexically_normal();
    return normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
}

} // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        if (mFd >= 0)
            ::close(mFd);
        mFd = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (mFd >= 0)
        ::close(mFd);
}

int UniqueFd::release()
{
    const int fd = mFd;
    mFd = -1;
    return fd;
}

ProjectFolder::ProjectFolder(const fs::path &folder) : mFolder(normalFolder(folder))
{
    std::error_code error;
    mCanonical = fs::weakly_canonical(mFolder, error);
    if (error)
        mCanonical = mFolder;
}

fs::path ProjectFolder::canonicalOf(const fs::path &source, std::error_code &error,
                                    std::optional<html::FileStamp> &stamp) const
{
    // A site's files lie in a few folders: each folder's links are resolved
    // once, and only a file that is a link itself is resolved in full (a
    // project of 50,000 files spent a tenth of its compile on the rest).
    struct stat status {};
    if (::lstat(source.c_str(), &status) == 0) {
        if (S_ISLNK(status.st_mode))
            return fs::weakly_canonical(source, error);
        if (S_ISREG(status.st_mode))
            stamp = html::fileStampOf(status);
    }
    error.clear();
    const std::string parent = source.parent_path().native();
    std::lock_guard lock(mCanonicalFoldersLock);
    auto folder = mCanonicalFolders.find(parent);
    if (folder == mCanonicalFolders.end()) {
        std::error_code folderError;
        fs::path canonical = fs::weakly_canonical(source.parent_path(), folderError);
        if (folderError)
            return fs::weakly_canonical(source, error);
        folder = mCanonicalFolders.emplace(parent, std::move(canonical)).first;
    }
    return folder->second / source.filename();
}

bool ProjectFolder::inside(const fs::path &canonical) const
{
    const fs::path relative = canonical.lexically_relative(mCanonical);
    return !relative.empty() && *relative.begin() != "..";
}

std::string ProjectFolder::relativeName(const fs::path &absolute) const
{
    const fs::path normal = absolute.lexically_normal();
    for (const fs::path &base : {mFolder, mCanonical}) {
        const fs::path relative = normal.lexically_relative(base);
        if (!relative.empty() && *relative.begin() != "..")
            return relative.generic_string();
    }
    return {};
}

ProjectFolder::Listed ProjectFolder::resolve(const std::string &listed) const
{
    // Microsoft's compiler takes "\" as a separator, and projects written by
    // hand for it use it.
    std::string path = listed;
    std::replace(path.begin(), path.end(), '\\', '/');
    Listed result;
    std::optional<std::string> name;
    if (!path.empty() && path[0] == '/') {
        if (throughProc(fs::path(path).lexically_normal().generic_string()) || throughProc(path)) {
            result.refusal = outsideBecause("a path through /proc");
            return result;
        }
        if (const std::string relative = relativeName(path); !relative.empty()) {
            name = resolvedPath(relative);
        } else {
            // Earlier projects named files from the help file's root
            // ("/site/a.html"); such a name is still read from the folder.
            name = resolvedPath(path);
            std::error_code error;
            if (!name || !fs::exists(fs::symlink_status(mFolder / name->substr(1), error))) {
                result.refusal = outsideBecause("an absolute path");
                return result;
            }
        }
    } else {
        name = resolvedPath(path);
        if (!name) {
            result.refusal = outsideBecause("\"..\" climbs out of it");
            return result;
        }
    }
    while (!name->empty() && name->back() == '/')
        name->pop_back();
    if (name->empty()) {
        result.refusal = "names the project's folder, not a file";
        return result;
    }

    result.source = mFolder / fs::path(name->substr(1));
    std::error_code error;
    const fs::path canonical = canonicalOf(result.source, error, result.stamp);
    if (!error && !inside(canonical)) {
        result.refusal = outsideBecause("a symbolic link leads out of it");
        result.source.clear();
        return result;
    }
    result.name = std::move(*name);
    return result;
}

std::optional<fs::path> ProjectFolder::outputPath(const std::string &compiledFile, const fs::path &projectFile,
                                                  std::string &refusal) const
{
    if (compiledFile.empty())
        return mFolder / fs::path(projectFile).replace_extension(".chm").filename();
    std::string relative;
    if (fs::path(compiledFile).is_absolute()) {
        if (throughProc(fs::path(compiledFile).lexically_normal().generic_string()) || throughProc(compiledFile)) {
            refusal = outsideBecause("a path through /proc");
            return std::nullopt;
        }
        relative = relativeName(compiledFile);
        if (relative.empty()) {
            refusal = outsideBecause("an absolute path");
            return std::nullopt;
        }
    } else {
        const std::optional<std::string> name = resolvedPath(compiledFile);
        if (!name) {
            refusal = outsideBecause("\"..\" climbs out of it");
            return std::nullopt;
        }
        relative = name->substr(1);
    }
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    if (relative.empty() || relative == ".") {
        refusal = "names the project's folder, not a file";
        return std::nullopt;
    }

    // The file itself may be a symbolic link: it is replaced by a rename,
    // never written through. Its folder must not lead out.
    const fs::path output = mFolder / relative;
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(output.parent_path(), error);
    if (!error && !inside(folder)) {
        refusal = outsideBecause("a symbolic link leads out of it");
        return std::nullopt;
    }
    return output;
}

UniqueFd ProjectFolder::openForReading(const fs::path &source) const
{
    UniqueFd file(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file)
        return file;
    // The check is on the file that was opened, not on the name a moment
    // earlier: a link put in place of a folder or the file after resolve()
    // cannot lead out unnoticed. Without /proc the name is checked again,
    // which leaves that short window open.
    char link[PATH_MAX];
    const std::string descriptor = "/proc/self/fd/" + std::to_string(file.get());
    const ssize_t length = ::readlink(descriptor.c_str(), link, sizeof link);
    fs::path opened;
    std::error_code error;
    if (length > 0 && std::size_t(length) < sizeof link)
        opened = std::string(link, std::size_t(length));
    else
        opened = fs::weakly_canonical(source, error);
    if (error || !inside(opened)) {
        errno = EXDEV;
        return {};
    }
    return file;
}

} // namespace quorlix::chm
