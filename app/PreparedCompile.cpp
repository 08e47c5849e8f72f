#include "app/PreparedCompile.h"

#include "chm/prepared/PreparedContentWriter.h"
#include "runtime/Runtime.h"

#include <QDir>

namespace quorlix {

namespace {

const QString kFinalFilesVariable = QStringLiteral("QUORLIX_FINAL_FILES");
const QString kPreparedVariable = QStringLiteral("QUORLIX_HHC_PREPARED");
const QString kReadingsVariable = QStringLiteral("QUORLIX_PAGE_READINGS");
const QString kReadingsFile = QStringLiteral("readings");

// Every core, where it would idle otherwise: the download must not wait
// for it, and it keeps up with the page reader.
constexpr unsigned kCompressorThreads = 0;

} // namespace

PreparedCompile::PreparedCompile() = default;

PreparedCompile::~PreparedCompile()
{
    drop();
}

pipeline::PageOutlines::FileSink PreparedCompile::start(const QString &outputFolder)
{
    drop();
    auto folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorlix-XXXXXX"));
    if (!folder->isValid())
        return {};
    const QString list = folder->filePath(QStringLiteral("final-files"));
    try {
        mWriter = std::make_unique<chm::PreparedContentWriter>(
            QFile::encodeName(folder->filePath(QStringLiteral("prepared-content"))).toStdString(),
            kCompressorThreads);
    } catch (const std::exception &) {
        return {};
    }
    mFolder = std::move(folder);
    mList.reset(list, outputFolder);
    runtime::SetEnviron(kFinalFilesVariable, list);
    runtime::SetEnviron(kReadingsVariable, handedReadings());
    return
        [this](const QString &relative, std::string_view bytes, const html::Page *page, const html::FileStamp &stamp) {
            std::lock_guard lock(mWriterLock);
            if (mWriter)
                mWriter->add("/" + relative.toStdString(), bytes, page, stamp);
        };
}

QString PreparedCompile::handedReadings() const
{
    return mFolder ? mFolder->filePath(kReadingsFile) : QString();
}

void PreparedCompile::downloadEnded()
{
    runtime::SetEnviron(kFinalFilesVariable, {});
    runtime::SetEnviron(kReadingsVariable, {});
    // Only this thread replaces the writer, so it is reached without the
    // lock, which the page reader may hold while it waits for the
    // compressor.
    if (mWriter)
        mWriter->hurry();
}

void PreparedCompile::pagesRead()
{
    // The reader has ended, so nothing else touches the writer now.
    if (mWriter && mFolder)
        mFinished = std::async(std::launch::async, [writer = mWriter.get()] { return writer->finish(); });
}

void PreparedCompile::awaitContent()
{
    if (mFinished.valid() && mFinished.get())
        runtime::SetEnviron(kPreparedVariable, mFolder->filePath(QStringLiteral("prepared-content")));
}

void PreparedCompile::drop()
{
    runtime::SetEnviron(kFinalFilesVariable, {});
    runtime::SetEnviron(kReadingsVariable, {});
    runtime::SetEnviron(kPreparedVariable, {});
    if (mFinished.valid())
        mFinished.wait();
    mFinished = {};
    {
        std::lock_guard lock(mWriterLock);
        mWriter.reset();
    }
    mList.reset(QString(), QString());
    mFolder.reset();
}

} // namespace quorlix
