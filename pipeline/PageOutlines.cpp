#include "pipeline/PageOutlines.h"

#include "pipeline/LinkTarget.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileLog.h"
#include "pipeline/Utf8Text.h"

#include <QFile>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorlix::pipeline {

namespace {

// Read in pieces, so that a stop is seen between them; a page larger than
// the limit is read as far as the limit (its title and first headings).
constexpr std::size_t kPiece = 1 << 20;
constexpr std::size_t kLargestPage = 64u << 20;
// The worker's niceness: below the downloader, above the compressing of
// what it reads.
constexpr int kReaderNice = 5;

enum class ReadResult { Done, Failed, Stopped };

// Whether the name still stands for the file that was read, as it was: the
// downloader rewrites every page once more at its end (to point its links at
// the saved files) by removing it and writing it anew. now is the name's.
bool unchanged(const QByteArray &name, const struct stat &opened, std::size_t size, struct stat &now)
{
    return ::stat(name.constData(), &now) == 0 && opened.st_ino == now.st_ino && opened.st_dev == now.st_dev
           && static_cast<std::size_t>(now.st_size) == size;
}

// Whether href names another site or another scheme ("mailto:"), which the
// downloader's conversion leaves as it is; site is the page's host folder
// ("127.0.0.1+8000": the host as the downloader names its folder).
bool leadsElsewhere(std::string_view href, const QString &site)
{
    const std::size_t colon = href.find(':');
    if (colon == std::string::npos || href.find_first_of("/?#") < colon)
        return false; // from the host's root, or out of the saved folder
    for (const char *scheme : {"http://", "https://"}) {
        if (href.rfind(scheme, 0) == 0) {
            const std::size_t start = std::strlen(scheme);
            QString host = FromUtf8(href.substr(start, href.find_first_of("/?#", start) - start)).toLower();
            host.replace(QLatin1Char(':'), QLatin1Char('+'));
            return host != site.toLower();
        }
    }
    return true;
}

ReadResult readFile(const QString &path, const std::atomic<bool> &stop, std::string &bytes, html::FileStamp &stamp)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ReadResult::Failed;
    ReadResult result = ReadResult::Done;
    bytes.clear();
    // Room for what the file holds now (and a little more, to see its end),
    // not a whole piece: a megabyte made ready for every small page would
    // cost the reading more than the page.
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        ::close(fd);
        return ReadResult::Failed;
    }
    const bool regular = S_ISREG(opened.st_mode);
    const std::size_t expected = opened.st_size > 0 ? static_cast<std::size_t>(opened.st_size) : 0;
    while (bytes.size() < kLargestPage) {
        if (stop.load(std::memory_order_relaxed)) {
            result = ReadResult::Stopped;
            break;
        }
        const std::size_t had = bytes.size();
        const std::size_t room = std::min({kPiece, (expected > had ? expected - had : 0) + 4096, kLargestPage - had});
        bytes.resize(had + room);
        const ssize_t got = ::read(fd, bytes.data() + had, room);
        if (got < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        bytes.resize(had + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got < 0)
            result = ReadResult::Failed;
        // A regular file gives less than asked for only at its end; one
        // that grows meanwhile is caught by the size compared below.
        if (got <= 0 || (regular && static_cast<std::size_t>(got) < room))
            break;
    }
    struct stat now;
    if (result == ReadResult::Done && bytes.size() < kLargestPage) {
        if (unchanged(name, opened, bytes.size(), now))
            stamp = html::fileStampOf(now);
        else
            result = ReadResult::Failed; // read again at the end
    } else if (::fstat(fd, &now) == 0) {
        stamp = html::fileStampOf(now);
    }
    ::close(fd);
    return result;
}

} // namespace

PageOutlines::PageOutlines(html::PageParts parts) : mParts(parts)
{
}

PageOutlines::~PageOutlines()
{
    cancel();
}

void PageOutlines::start(const QString &outputFolder, FileSink sink, const QString &handedReadings)
{
    cancel();
    mOutputFolder = outputFolder;
    mHandedReadings = handedReadings.isEmpty()
                          ? nullptr
                          : std::make_unique<html::HandedReadings>(QFile::encodeName(handedReadings).toStdString());
    mSink = std::move(sink);
    mReadParts = mSink ? html::PageParts::OutlineAndText : mParts;
    mStop = false;
    {
        std::lock_guard lock(mMutex);
        mQueue.clear();
        mSeen.clear();
        mFinal.clear();
        mAwaiting.clear();
        mAwaitFinal = false;
        mPages.clear();
        mStamps = {};
        mFinishing = false;
        mRunning = true;
        mWorking = true;
    }
    mWorker = std::thread(&PageOutlines::work, this);
}

void PageOutlines::add(const QString &savedPath)
{
    const QString relative = StripOutputDir(savedPath, mOutputFolder);
    if (!html::isPageName(relative.toStdString()))
        return;
    {
        std::lock_guard lock(mMutex);
        if (!mRunning || mFinishing || mSeen.contains(relative))
            return;
        mSeen.insert(relative);
        if (mAwaitFinal) {
            if (!mFinal.contains(relative))
                mAwaiting.insert(relative, savedPath);
            return;
        }
        mQueue.push_back(Job{savedPath, relative});
    }
    mWake.notify_one();
}

void PageOutlines::awaitFinalFiles()
{
    std::lock_guard lock(mMutex);
    mAwaitFinal = true;
}

void PageOutlines::addFinal(const QString &savedPath)
{
    const QString relative = StripOutputDir(savedPath, mOutputFolder);
    const bool page = html::isPageName(relative.toStdString());
    if (!page && !mSink)
        return;
    {
        // Listed again when its bytes changed after all (a later answer
        // re-pointed one of its links): read again, the newer reading holds.
        std::lock_guard lock(mMutex);
        if (!mRunning || mFinishing)
            return;
        mFinal.insert(relative);
        mAwaiting.remove(relative);
        if (page)
            mSeen.insert(relative);
        mQueue.push_back(Job{savedPath, relative, true});
    }
    mWake.notify_one();
}

void PageOutlines::cancel()
{
    mStop = true;
    stopWorker();
    std::lock_guard lock(mMutex);
    mQueue.clear();
    mSeen = {};
    mFinal = {};
    mAwaiting = {};
    mPages.clear();
}

SavedPages PageOutlines::finish(const std::function<void()> &whileWaiting)
{
    {
        std::unique_lock lock(mMutex);
        // Pages the downloader never said it was done with: read as they are now.
        for (auto page = mAwaiting.cbegin(); page != mAwaiting.cend(); ++page)
            mQueue.push_back(Job{page.value(), page.key()});
        mAwaiting = {};
        mFinishing = true;
        const unsigned helpers = mQueue.size() > 1 ? std::max(1u, std::thread::hardware_concurrency()) : 0;
        for (unsigned i = 0; i < helpers; ++i) {
            ++mHelping;
            mHelpers.emplace_back([this] {
                drain(true);
                std::lock_guard lock(mMutex);
                --mHelping;
                mWorkerEnded.notify_all();
            });
        }
        mWake.notify_all();
        while (whileWaiting && mWorking && !mStop) {
            mWorkerEnded.wait_for(lock, std::chrono::milliseconds(20));
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
    }
    if (mStop)
        return {}; // cancelled while waiting
    stopWorker();
    std::lock_guard lock(mMutex);
    mQueue.clear();
    mSeen = {}; // a name for every page of the site: let go until the next start
    mFinal = {};
    return std::exchange(mPages, {});
}

void PageOutlines::stopWorker()
{
    {
        std::lock_guard lock(mMutex);
        mFinishing = true;
    }
    mWake.notify_all();
    mWorkerEnded.notify_all();
    if (mWorker.joinable())
        mWorker.join();
    for (std::thread &helper : mHelpers)
        helper.join();
    mHelpers.clear();
    std::lock_guard lock(mMutex);
    mRunning = false;
    mHelping = 0;
    mInFlight = {};
    mFailed.clear();
}

void PageOutlines::work()
{
    struct Ended {
        PageOutlines *outlines;
        ~Ended()
        {
            std::lock_guard lock(outlines->mMutex);
            outlines->mWorking = false;
            outlines->mWorkerEnded.notify_all();
        }
    } ended{this};
    // Behind the download while it runs: the pages wait, its requests
    // should not. What is left at the end is shared with the helpers.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReaderNice);
    if (!drain(false))
        return;
    {
        // The helpers' last pages are in before the failed ones are tried
        // again and the stamps compared.
        std::unique_lock lock(mMutex);
        mWorkerEnded.wait(lock, [this] { return mStop || mHelping == 0; });
        if (mStop)
            return;
    }
    for (const Job &job : std::exchange(mFailed, {}))
        if (mStop || !readOne(job))
            return;
    rereadRewritten();
}

bool PageOutlines::drain(bool helping)
{
    for (;;) {
        std::optional<Job> job;
        {
            std::unique_lock lock(mMutex);
            mWake.wait(lock, [&] {
                return mStop || (job = takeJob()) || (mFinishing && (mQueue.empty() || helping));
            });
            if (mStop)
                return false;
            if (!job)
                return true; // finishing, and nothing left this thread can take
            mInFlight.insert(job->relative);
        }
        const bool read = readOne(*job);
        std::lock_guard lock(mMutex);
        mInFlight.remove(job->relative);
        if (!read)
            mFailed.push_back(std::move(*job));
        // A later version of this file may be waiting for it.
        mWake.notify_all();
    }
}

std::optional<PageOutlines::Job> PageOutlines::takeJob()
{
    for (auto job = mQueue.begin(); job != mQueue.end(); ++job)
        if (!mInFlight.contains(job->relative)) {
            Job taken = std::move(*job);
            mQueue.erase(job);
            return taken;
        }
    return std::nullopt;
}

// The downloader converts the links of the pages it saved once it has saved
// them all, by writing each page anew. The contents and the index follow a
// page's links, so a page read before that is read once more, unless every
// link it keeps already leads to a saved page (as on most sites, whose links
// are relative): re-reading a large site whole would double its reading.
void PageOutlines::rereadRewritten()
{
    const QHash<QString, html::FileStamp> stamps = std::exchange(mStamps, {});
    for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
        if (mStop)
            return;
        const Job job{BuildPath(mOutputFolder, it.key()), it.key()};
        struct stat now;
        if (::stat(QFile::encodeName(job.path).constData(), &now) == 0 && html::fileStampOf(now) == it.value())
            continue;
        if (linksLeadToSavedPages(job.relative)) {
            // Its outline stands, but the size does not: the contents give a
            // large page its headings, and the rewritten links may have
            // taken it past that line.
            std::lock_guard lock(mMutex);
            if (const auto page = mPages.find(it.key()); page != mPages.end())
                page->size = static_cast<std::size_t>(now.st_size);
            continue;
        }
        readOne(job);
    }
}

bool PageOutlines::linksLeadToSavedPages(const QString &relative)
{
    std::lock_guard lock(mMutex);
    const auto page = mPages.constFind(relative);
    if (page == mPages.cend())
        return false;
    const QString site = relative.left(relative.indexOf(QLatin1Char('/')));
    for (const html::Link &link : page->links) {
        const LinkTarget target = ResolvedLink(relative, link.href());
        if (!target.file.isEmpty() ? !mSeen.contains(target.file) : !leadsElsewhere(link.href(), site))
            return false;
    }
    return true;
}

bool PageOutlines::readOne(const Job &job)
{
    try {
        std::string bytes;
        html::FileStamp stamp;
        if (readFile(job.path, mStop, bytes, stamp) != ReadResult::Done)
            return false;
        const bool whole = bytes.size() < kLargestPage;
        if (!html::isPageName(job.relative.toStdString())) {
            if (whole && job.final && mSink)
                mSink(job.relative, bytes, nullptr, stamp);
            return true;
        }
        std::optional<html::Page> page;
        if (job.final && whole && mHandedReadings)
            page = handedReading(job, stamp, bytes);
        if (!page)
            page = html::readPage(bytes, mReadParts, mStop);
        if (!page)
            return false;
        if (job.final && mSink && whole)
            mSink(job.relative, bytes, &*page, stamp);
        // The text went to the sink; the outline is what is kept (its
        // room too: an assignment of nothing would keep it).
        if (mSink)
            std::string().swap(page->text);
        std::lock_guard lock(mMutex);
        // A page read as the downloader listed it final is not looked at
        // again at the end: were it changed after all, it would be listed
        // again (on a large site, a system call for every page).
        if (job.final)
            mStamps.remove(job.relative);
        else
            mStamps.insert(job.relative, stamp);
        mPages.emplace(job.relative, std::move(*page)); // moved: insert would copy it
        return true;
    } catch (const std::exception &) {
        return false; // out of memory on this page: it goes without an outline
    }
}

// The downloader's reading of a page it listed, when it was made for the
// very bytes just read.
std::optional<html::Page> PageOutlines::handedReading(const Job &job, const html::FileStamp &stamp,
                                                      std::string_view bytes) const
{
    std::optional<html::Page> page = mHandedReadings->take(QFile::encodeName(job.path).toStdString(), stamp, bytes);
    if (page && mReadParts != html::PageParts::OutlineAndText)
        page->text.clear();
    return page;
}

QStringList OutlineCutLines(const SavedPages &pages)
{
    // A site made to be cut could fill the pane with them.
    constexpr int kMostNamed = 10;
    QStringList cut;
    for (auto page = pages.cbegin(); page != pages.cend(); ++page)
        if (page->linksCut || page->headingsCut || page->outlineLeftOut)
            cut << page.key();
    cut.sort();
    QStringList lines;
    for (const QString &name : std::as_const(cut).first(std::min<qsizetype>(cut.size(), kMostNamed))) {
        const html::Page &page = *pages.constFind(name);
        if (page.outlineLeftOut)
            lines << QStringLiteral("Only the title of %1 is read for the contents and index: the page is too large "
                                    "or too intricate to read whole.")
                         .arg(name);
        else if (page.linksCut)
            lines << QStringLiteral("Only the first %1 links of %2 are read for the contents and index.")
                         .arg(html::kMostLinks)
                         .arg(name);
        else
            lines << QStringLiteral("Only the first %1 headings and terms of %2 are read for the contents and index.")
                         .arg(html::kMostHeadings)
                         .arg(name);
    }
    if (cut.size() > kMostNamed)
        lines << QStringLiteral("The same holds for %1 more pages.").arg(cut.size() - kMostNamed);
    return lines;
}

} // namespace quorlix::pipeline
