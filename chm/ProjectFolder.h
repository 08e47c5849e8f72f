// The project's folder: the only place the compiler reads from or writes
// to. A project names its files relative to it ("site/a.html",
// ".\site\b.html"), but a project written from a hostile site's text may name
// "/etc/passwd", "../x", "/proc/self/cwd/../x" or a symbolic link that leads
// elsewhere; none of those is opened, and each gets a reason for the user.
#pragma once

#include "html/PageRecord.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace quorlix::chm {

// An open file descriptor, closed with the object.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : mFd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : mFd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd();

    int get() const { return mFd; }
    int release();
    explicit operator bool() const { return mFd >= 0; }

private:
    int mFd = -1;
};

class ProjectFolder {
public:
    // folder: absolute, as the project file's folder.
    explicit ProjectFolder(const std::filesystem::path &folder);

    struct Listed {
        std::string name;             // as stored: "/site/a.html"; "" when refused
        std::filesystem::path source; // where it is read from
        std::string refusal;          // why it is left out: "an absolute path"
        // A plain file (no link) as it was when resolved, for a caller that
        // would otherwise ask again at once.
        std::optional<html::FileStamp> stamp;
    };
    // A path the project names: a file of [FILES], the default topic, the
    // contents or index file, a style sheet a sheet imports.
    Listed resolve(const std::string &listed) const;

    // Where the compiled file goes: compiledFile (relative to the folder, or
    // absolute inside it), or the project's name with ".chm" when empty.
    // Nothing, with why, when that lies outside the folder.
    std::optional<std::filesystem::path>
    outputPath(const std::string &compiledFile, const std::filesystem::path &projectFile, std::string &refusal) const;

    // Opens a source that resolve() accepted, for reading (a FIFO does not
    // block). Invalid with errno set when it cannot be opened; errno is
    // EXDEV when the file opened turned out to lie outside the folder.
    UniqueFd openForReading(const std::filesystem::path &source) const;

private:
    bool inside(const std::filesystem::path &canonical) const;
    // std::filesystem::weakly_canonical(source), with each folder's answer kept.
    // stamp: the source's own, when it is a plain file.
    std::filesystem::path canonicalOf(const std::filesystem::path &source, std::error_code &error,
                                      std::optional<html::FileStamp> &stamp) const;
    // path relative to the folder when it lies in it, lexically ("" if not).
    std::string relativeName(const std::filesystem::path &absolute) const;

    std::filesystem::path mFolder;
    std::filesystem::path mCanonical; // mFolder with every symbolic link resolved
    mutable std::mutex mCanonicalFoldersLock;
    mutable std::unordered_map<std::string, std::filesystem::path> mCanonicalFolders; // folder -> canonical
};

} // namespace quorlix::chm
