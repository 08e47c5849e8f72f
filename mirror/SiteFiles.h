#pragma once

// The files of a mirror: the bodies under way in a private folder, each
// finished one put in place under its name and logged, what address went to
// which file, and the pages and style sheets among them with their links,
// kept for the conversion at the end.

#include "mirror/ExitStatus.h"
#include "mirror/LocalName.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorlix::mirror {

class WgetLog;
struct LinkSearch;
class HandedReadingAt;

// A saved page or style sheet, rewritten at the end.
struct Document {
    std::string file;
    std::string url;
    bool css = false;
    std::string linksRecord; // its links as found during the download, if kept
    std::size_t size = 0;    // of the file they were found in
    // Where the page's early reading was handed on, if it was
    // (ReadingHandover), once known.
    std::shared_ptr<const HandedReadingAt> readingAt;
};

class SiteFiles {
public:
    SiteFiles(const std::string &prefix, WgetLog &log, RunStatus &status);
    SiteFiles(const SiteFiles &) = delete;
    SiteFiles &operator=(const SiteFiles &) = delete;

    // A name inside the download folder, as Wget writes it ("-P ." adds nothing).
    std::string inPrefix(const std::string &name) const;
    // The other way: a saved file's name inside the download folder.
    std::string nameOf(const std::string &file) const;
    // A new name for a body under way.
    std::string tempPath();
    // Why the bodies' folder could not be made (errno), or 0.
    int tempFolderError() const { return mTempFolderError; }

    // Called around every file put in place (placed: whether it was), so
    // a conversion under way elsewhere never writes over a new body.
    void watchPlacing(std::function<void(const std::string &file)> before,
                      std::function<void(const std::string &file, bool placed)> after);
    // Moves a finished body to file; false when it cannot be (logged).
    bool place(const std::string &temp, const std::string &file, const std::string &url);
    // "Cannot write to 'name' (error)." after the address, an I/O error for
    // the exit status where it counts; a full or read-only disk ends the run.
    void cannotWrite(const std::string &url, const std::string &name, int error, bool counts = true);
    // The line of a saved file, and its count.
    void logSaved(const std::string &url, long long bytes, long long length, const std::string &file);
    int files() const { return mFiles; }
    long long bytes() const { return mBytes; }
    // The folder can take no more files.
    bool full() const { return mFull; }

    // The file an address was saved to, or null.
    const std::string *savedAs(const std::string &url) const;
    void remember(const std::string &url, const std::string &file);
    // savedAs for another thread than the crawl's: the file copied into
    // file, false when none. With tracking on, an address looked up so
    // whose file changes afterwards is kept in changedAfterLookUp().
    bool lookUpElsewhere(const std::string &url, std::string &file);
    void trackLookUps() { mTracking = true; }
    // Read once the crawl and the conversions under way have ended.
    const std::unordered_set<std::string> &changedAfterLookUp() const { return mChangedAfterLookUp; }

    // Names foreseen (with tracking on): an address still queued whose
    // name can be told (foreseenName, or with -E the answer's kind when it
    // has come) is looked up elsewhere as saved under it until it leaves
    // the queue; false when it cannot be told.
    bool foresee(const std::string &url, std::optional<ContentKind> answered);
    void foreseeNames(bool adjustExtension) { mAdjustExtension = adjustExtension; }
    // The address has left the queue (the crawl's thread): if a look-up
    // foresaw its file and that is not the file it got, it is kept in
    // changedAfterLookUp(). Every address queued leaves the queue before
    // the crawl ends, but after a full disk, which converts nothing.
    void settle(const std::string &url);

    // A file saved as a page or sheet (again: its earlier links no longer hold).
    void noteDocument(const std::string &file, const std::string &url, ContentKind kind);
    // How a saved file was taken: a page, a sheet, or neither.
    ContentKind kindOfSaved(const std::string &file) const;
    // The links of a saved page or sheet, kept on disk for the conversion
    // (and where its reading was handed on, when the search handed one).
    void keepLinks(const std::string &file, bool isCss, LinkSearch &search);
    // A deque: a document stays where it is while more are added.
    const std::deque<Document> &documents() const { return mDocuments; }
    std::optional<std::size_t> documentIndex(const std::string &file) const;
    // A name in the private folder of bodies under way (made by then).
    std::string privatePath(const std::string &name) const { return mTempFolder + "/" + name; }

    void removeTemporaryFiles();

private:
    static void forgetRecords(Document &document);
    std::size_t ownedFrom() const;
    std::optional<std::string> foreseenFile(const std::string &url) const; // under mSavedLock
    std::optional<std::string> foreseenByName(const std::string &url) const;
    void compareForeseen(const std::string &url); // under mSavedLock
    bool placeAsIs(const std::string &temp, const std::string &file, const std::string &url);

    const std::string mPrefix;
    WgetLog &mLog;
    RunStatus &mStatus;
    std::string mTempFolder;
    int mTempFolderError = 0;
    unsigned long mTempCounter = 0;
    std::unordered_set<std::string> mMadeFolders;
    std::unordered_map<std::string, std::string> mSaved; // address -> file
    // mSaved is written by the crawl's thread only; read elsewhere under the lock.
    std::mutex mSavedLock;
    bool mTracking = false;
    std::unordered_set<std::size_t> mLookedUp; // hashes of addresses looked up elsewhere
    std::unordered_set<std::string> mChangedAfterLookUp;
    bool mAdjustExtension = false;
    // Hashes of the addresses queued with a name foreseen, and whether one
    // was looked up so (checked when it leaves the queue, by its text: two
    // addresses of one hash, some 1 in 10^10 on a site of 50,000, would
    // leave one unchecked; the text of each costs the crawl 5 % more memory).
    std::unordered_map<std::size_t, bool> mForeseen;
    std::unordered_map<std::string, std::string> mForeseenByAnswer; // address -> file, by its answer's kind
    std::function<void(const std::string &)> mBeforePlacing;
    std::function<void(const std::string &, bool)> mAfterPlacing;
    std::deque<Document> mDocuments;
    std::unordered_map<std::string, std::size_t> mDocumentIndex; // file -> mDocuments[]
    int mFiles = 0;
    long long mBytes = 0;
    bool mFull = false;
};

} // namespace quorlix::mirror
