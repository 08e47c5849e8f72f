#pragma once

// The compile prepared while the site downloads. The downloader lists the
// files it is done with; each is read once (the page reader's outline and
// text) and its bytes compressed at once, in a private folder of the
// conversion outside the output folder. The help compiler is pointed at
// that content and takes what still matches the saved files. A conversion
// that is cancelled, or whose downloader keeps no list, simply compiles
// from scratch.

#include "pipeline/FinalFileList.h"
#include "pipeline/PageOutlines.h"

#include <QString>
#include <QTemporaryDir>

#include <future>
#include <memory>
#include <mutex>

namespace quorlix {

namespace chm {
class PreparedContentWriter;
}

class PreparedCompile {
public:
    PreparedCompile();
    ~PreparedCompile();
    PreparedCompile(const PreparedCompile &) = delete;
    PreparedCompile &operator=(const PreparedCompile &) = delete;

    // A new conversion into outputFolder; the downloader started from now
    // on keeps its list. Returns the page reader's sink (empty when nothing
    // can be prepared: no private folder).
    pipeline::PageOutlines::FileSink start(const QString &outputFolder);
    // The download is over: no more list for the next programs.
    void downloadEnded();
    // The file the downloader hands the page reader its readings of the
    // pages it lists in (empty when nothing is prepared).
    QString handedReadings() const;
    // The files newly listed, for the page reader.
    QStringList finalFiles() { return mList.take(); }
    bool listKept() const { return mList.exists(); }
    // The page reader has ended: the content is complete. Its last
    // intervals are compressed while the window writes the contents and
    // the index.
    void pagesRead();
    // Waits for that; the compile started from now on takes the content.
    void awaitContent();
    // Everything removed; the next compile starts from scratch.
    void drop();

private:
    std::unique_ptr<QTemporaryDir> mFolder;
    std::mutex mWriterLock; // the reader's thread writes, the window's ends
    std::unique_ptr<chm::PreparedContentWriter> mWriter;
    std::future<bool> mFinished; // the writer's finish, under way
    pipeline::FinalFileList mList;
};

} // namespace quorlix
