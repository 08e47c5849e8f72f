#pragma once

// Reads the saved pages on a worker thread while the download still runs:
// each saved file is handed in as its log line arrives, and by the time the
// download ends most pages have been read.

#include "html/HandedReadings.h"
#include "pipeline/SavedPages.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <optional>
#include <thread>
#include <vector>

namespace quorlix::pipeline {

class PageOutlines {
public:
    explicit PageOutlines(html::PageParts parts = html::PageParts::Outline);
    ~PageOutlines(); // cancels
    PageOutlines(const PageOutlines &) = delete;
    PageOutlines &operator=(const PageOutlines &) = delete;

    // Handed each file the downloader is done with, on the reader's thread,
    // as it is read: its path relative to the output folder, its bytes, and
    // for a page its reading, text and all.
    // stamp: the file as it was when read.
    using FileSink = std::function<void(const QString &relative, std::string_view bytes, const html::Page *page,
                                        const html::FileStamp &stamp)>;

    // A new conversion into outputFolder: what an earlier one left is
    // dropped. With a sink, pages are read with their text. A page the
    // downloader lists may have its reading handed in the file
    // handedReadings (made from the downloader's own parse): taken then,
    // not parsed.
    void start(const QString &outputFolder, FileSink sink = {}, const QString &handedReadings = {});
    // A saved file as the download log names it. Pages among them are read
    // in the order they come, each once; other files are passed over.
    // Safe from any thread.
    void add(const QString &savedPath);
    // The downloader keeps a list of the files it is done with: from now
    // on a page is read when it is listed (addFinal), after its links were
    // converted, rather than when the log names it; one the list never
    // names is read at finish().
    void awaitFinalFiles();
    // A file the downloader is done with: read now (a page for its outline
    // too) and handed to the sink; read again when listed again.
    void addFinal(const QString &savedPath);
    // Stops at once, even in the middle of a big page; no thread is left.
    void cancel();
    // Waits until every page handed in is read and gives them, keyed by path
    // relative to the output folder. A page that could not be read, that
    // changed while it was read, or that was written anew after it was read
    // (the downloader converts the links of its pages at its end) is read
    // once more here, and left out if it still cannot be. While it waits it
    // calls whileWaiting every few milliseconds (where the window lets its
    // events run); a cancel() from in there ends the wait at once, with
    // nothing.
    SavedPages finish(const std::function<void()> &whileWaiting = {});

private:
    struct Job {
        QString path;
        QString relative;
        bool final = false; // for the sink too
    };

    void work();
    // Reads what is queued until nothing is left; true unless stopped.
    bool drain(bool helping);
    // The next job no other thread is reading a version of, or nothing.
    std::optional<Job> takeJob();
    bool readOne(const Job &job);
    void rereadRewritten();
    std::optional<html::Page> handedReading(const Job &job, const html::FileStamp &stamp, std::string_view bytes) const;
    bool linksLeadToSavedPages(const QString &relative);
    void stopWorker();

    const html::PageParts mParts;
    html::PageParts mReadParts = html::PageParts::Outline;
    FileSink mSink;
    QString mOutputFolder;
    std::unique_ptr<html::HandedReadings> mHandedReadings;
    std::thread mWorker;
    // Started by finish(), at the caller's priority, to read what is left
    // beside the worker (which reads behind the download).
    std::vector<std::thread> mHelpers;
    std::atomic<bool> mStop{false};

    std::mutex mMutex; // guards what follows
    std::condition_variable mWake;
    std::condition_variable mWorkerEnded;
    std::deque<Job> mQueue;
    QSet<QString> mSeen;
    QSet<QString> mFinal;              // files read for the sink
    QHash<QString, QString> mAwaiting; // pages the log named, not listed yet: relative -> path
    bool mAwaitFinal = false;
    SavedPages mPages;
    QHash<QString, html::FileStamp> mStamps;
    QSet<QString> mInFlight;  // being read: a later version of one waits
    std::vector<Job> mFailed; // tried once, tried again at the end
    int mHelping = 0;         // helpers still reading
    bool mRunning = false;
    bool mFinishing = false;
    bool mWorking = false; // the worker thread has not ended yet
};

// The pane's lines for the pages whose outline was cut short or left out,
// one a page, in the order of their names; the few first of many.
QStringList OutlineCutLines(const SavedPages &pages);

} // namespace quorlix::pipeline
