#include "mirror/SiteFiles.h"

#include "mirror/FileStore.h"
#include "mirror/LinkSearch.h"
#include "mirror/WgetLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace quorlix::mirror {

SiteFiles::SiteFiles(const std::string &prefix, WgetLog &log, RunStatus &status)
    : mPrefix(prefix), mLog(log), mStatus(status)
{
}

std::string SiteFiles::inPrefix(const std::string &name) const
{
    if (mPrefix == ".")
        return name;
    return mPrefix == "/" ? "/" + name : mPrefix + "/" + name;
}

std::string SiteFiles::nameOf(const std::string &file) const
{
    if (mPrefix == ".")
        return file;
    return file.substr(mPrefix == "/" ? 1 : mPrefix.size() + 1);
}

// Where the names of the mirror's own folders start in a saved name.
std::size_t SiteFiles::ownedFrom() const
{
    return mPrefix == "." ? 0 : mPrefix.size();
}

std::string SiteFiles::tempPath()
{
    if (mTempFolder.empty()) {
        makeFolders(mPrefix, ownedFrom());
        mTempFolder = makePrivateFolder(mPrefix, mTempFolderError);
    }
    return mTempFolder + "/" + std::to_string(++mTempCounter) + ".part";
}

void SiteFiles::watchPlacing(std::function<void(const std::string &)> before,
                             std::function<void(const std::string &, bool)> after)
{
    mBeforePlacing = std::move(before);
    mAfterPlacing = std::move(after);
}

bool SiteFiles::place(const std::string &temp, const std::string &file, const std::string &url)
{
    if (mBeforePlacing)
        mBeforePlacing(file);
    const bool placed = placeAsIs(temp, file, url);
    if (mAfterPlacing)
        mAfterPlacing(file, placed);
    return placed;
}

bool SiteFiles::placeAsIs(const std::string &temp, const std::string &file, const std::string &url)
{
    const std::size_t slash = file.rfind('/');
    // Folders made once are not asked for again (a syscall for each of
    // their parents per file otherwise).
    if (slash != std::string::npos && !mMadeFolders.count(file.substr(0, slash))) {
        makeFolders(file.substr(0, slash), ownedFrom(), file.substr(0, slash) != mPrefix);
        mMadeFolders.insert(file.substr(0, slash));
    }
    int error = 0;
    const Placing placing = placeFile(temp, file, error);
    if (placing == Placing::Placed)
        return true;
    if (placing == Placing::ReadOnly) {
        mLog.permissionDenied(file);
        mStatus.note(IoError);
    } else {
        cannotWrite(url, file, error);
    }
    return false;
}

void SiteFiles::cannotWrite(const std::string &url, const std::string &name, int error, bool counts)
{
    mLog.failure(url, "Cannot write to " + mLog.quoted(name) + " (" + std::strerror(error) + ").");
    if (counts)
        mStatus.note(IoError);
    if (error == ENOSPC || error == EDQUOT || error == EROFS)
        mFull = true;
}

void SiteFiles::logSaved(const std::string &url, long long bytes, long long length, const std::string &file)
{
    mLog.saved(url, bytes, length, file);
    ++mFiles;
    mBytes += bytes;
}

const std::string *SiteFiles::savedAs(const std::string &url) const
{
    const auto found = mSaved.find(url);
    return found == mSaved.end() ? nullptr : &found->second;
}

void SiteFiles::remember(const std::string &url, const std::string &file)
{
    std::lock_guard<std::mutex> hold(mSavedLock);
    if (mTracking && mLookedUp.count(std::hash<std::string>()(url))) {
        const auto known = mSaved.find(url);
        if (known == mSaved.end() || known->second != file)
            mChangedAfterLookUp.insert(url);
    }
    mSaved[url] = file;
}

bool SiteFiles::lookUpElsewhere(const std::string &url, std::string &file)
{
    {
        std::lock_guard<std::mutex> hold(mSavedLock);
        const auto found = mSaved.find(url);
        if (found != mSaved.end()) {
            if (mTracking)
                mLookedUp.insert(std::hash<std::string>()(url));
            file = found->second;
            return true;
        }
        const auto foreseen = mForeseen.find(std::hash<std::string>()(url));
        if (foreseen == mForeseen.end()) {
            if (mTracking)
                mLookedUp.insert(std::hash<std::string>()(url));
            return false;
        }
        // Checked when it leaves the queue, not when it is saved.
        foreseen->second = true;
        if (const auto byAnswer = mForeseenByAnswer.find(url); byAnswer != mForeseenByAnswer.end()) {
            file = byAnswer->second;
            return true;
        }
    }
    // Told by the address alone: not under the lock the crawl waits for.
    std::optional<std::string> name = foreseenByName(url);
    if (name)
        file = std::move(*name);
    return name.has_value();
}

std::optional<std::string> SiteFiles::foreseenFile(const std::string &url) const
{
    if (const auto byAnswer = mForeseenByAnswer.find(url); byAnswer != mForeseenByAnswer.end())
        return byAnswer->second;
    return foreseenByName(url);
}

std::optional<std::string> SiteFiles::foreseenByName(const std::string &url) const
{
    const auto parsed = Url::parse(url);
    if (!parsed)
        return std::nullopt;
    std::optional<std::string> name = foreseenName(*parsed, mAdjustExtension);
    if (name)
        *name = inPrefix(*name);
    return name;
}

bool SiteFiles::foresee(const std::string &url, std::optional<ContentKind> answered)
{
    if (!mTracking)
        return false;
    std::lock_guard<std::mutex> hold(mSavedLock);
    if (!foreseenFile(url)) {
        const auto parsed = Url::parse(url);
        if (!parsed || !answered)
            return false;
        mForeseenByAnswer.emplace(url, inPrefix(withAdjustedExtension(localName(*parsed), *answered)));
    }
    mForeseen.emplace(std::hash<std::string>()(url), false);
    return true;
}

void SiteFiles::compareForeseen(const std::string &url)
{
    const auto saved = mSaved.find(url);
    if (saved == mSaved.end() || foreseenFile(url) != saved->second)
        mChangedAfterLookUp.insert(url);
    // A file it gets later is a change too.
    mLookedUp.insert(std::hash<std::string>()(url));
}

void SiteFiles::settle(const std::string &url)
{
    std::lock_guard<std::mutex> hold(mSavedLock);
    const auto foreseen = mForeseen.find(std::hash<std::string>()(url));
    if (foreseen == mForeseen.end())
        return;
    if (foreseen->second)
        compareForeseen(url);
    mForeseen.erase(foreseen);
    mForeseenByAnswer.erase(url);
}

std::optional<std::size_t> SiteFiles::documentIndex(const std::string &file) const
{
    const auto found = mDocumentIndex.find(file);
    if (found == mDocumentIndex.end())
        return std::nullopt;
    return found->second;
}

void SiteFiles::noteDocument(const std::string &file, const std::string &url, ContentKind kind)
{
    if (const auto known = mDocumentIndex.find(file); known != mDocumentIndex.end()) {
        // Saved again: the links found in the earlier body no longer hold.
        Document &document = mDocuments[known->second];
        forgetRecords(document);
    } else if (kind == ContentKind::Html || kind == ContentKind::Css) {
        mDocumentIndex.emplace(file, mDocuments.size());
        mDocuments.push_back({file, url, kind == ContentKind::Css, {}, 0, nullptr});
    }
}

ContentKind SiteFiles::kindOfSaved(const std::string &file) const
{
    const auto document = mDocumentIndex.find(file);
    if (document == mDocumentIndex.end())
        return ContentKind::Other;
    return mDocuments[document->second].css ? ContentKind::Css : ContentKind::Html;
}

void SiteFiles::keepLinks(const std::string &file, bool isCss, LinkSearch &search)
{
    const auto known = mDocumentIndex.find(file);
    if (known == mDocumentIndex.end() || mDocuments[known->second].css != isCss
        || !mDocuments[known->second].linksRecord.empty())
        return;
    const std::string path = tempPath() + ".links";
    std::string record = std::move(search.record);
    if (record.empty())
        record = recordOfLinks(search.found.links);
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(record.data(), 1, record.size(), f) == record.size();
    if (f)
        ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        ::unlink(path.c_str());
        return;
    }
    Document &document = mDocuments[known->second];
    document.linksRecord = path;
    document.size = search.size;
    document.readingAt = search.readingAt;
}

void SiteFiles::forgetRecords(Document &document)
{
    if (!document.linksRecord.empty())
        ::unlink(document.linksRecord.c_str());
    document.linksRecord.clear();
    document.readingAt = nullptr;
}

void SiteFiles::removeTemporaryFiles()
{
    for (Document &document : mDocuments) {
        forgetRecords(document);
    }
    if (!mTempFolder.empty())
        ::rmdir(mTempFolder.c_str());
}

} // namespace quorlix::mirror
