#pragma once

// The list of saved files whose bytes are final, for a reader that takes
// each file while the crawl goes on (QUORLIX_FINAL_FILES names it): one
// line for each, the saved path as its log line shows it, written whole in
// one write() so that a reader tailing the file never sees half a line.
//
// A file without links to convert is final once saved and logged; a page
// or sheet, once converted. A file whose bytes change after its line (a
// later answer saved under the same name, a page converted again at the
// end because a name foreseen for one of its links was wrong) gets a
// second line when they are final again.

#include <string>

namespace quorlix::mirror {

class FinalFiles {
public:
    // An empty path, or one that cannot be opened: no list, silently.
    explicit FinalFiles(const std::string &path);
    ~FinalFiles();
    FinalFiles(const FinalFiles &) = delete;
    FinalFiles &operator=(const FinalFiles &) = delete;

    // Safe from any thread.
    void add(const std::string &file) const;

private:
    int mFd = -1;
};

} // namespace quorlix::mirror
