#pragma once

// The download folder on disk: its folders, the private folder of the
// bodies under way, and putting a finished file in place. Nothing is ever
// written through a symlink: a file is put in place by renaming over the
// name (a symlink there is replaced, its target untouched), and a symlink
// where a folder of the mirror must go is replaced by a folder.

#include <string>

namespace quorlix::mirror {

// Makes folder and its parents. The ones past the first `owned` bytes are
// the mirror's own (the download folder's are the user's, and followed as
// they are): a symlink there becomes a real folder, and with
// mayReplaceFile a file where the last one must go is removed, as GNU Wget
// does inside a mirror (a page "docs" saved before "docs/x").
void makeFolders(const std::string &folder, std::size_t owned, bool mayReplaceFile = false);

// A new folder of the process's own inside prefix, readable by it alone.
// When it cannot be made, error holds errno and the name returned is one
// that does not exist (files in it cannot be made either).
std::string makePrivateFolder(const std::string &prefix, int &error);

enum class Placing { Placed, ReadOnly, Failed };
// Renames a finished temporary file to its name. A file there that may not
// be written is kept (ReadOnly), as GNU Wget keeps it; error holds errno
// when Failed.
Placing placeFile(const std::string &temp, const std::string &file, int &error);

// Replaces file's bytes through a short temporary name beside it; false
// (errno set) when it cannot be written.
bool rewriteFile(const std::string &file, const std::string &bytes);

} // namespace quorlix::mirror
