// A conversion through the real window, with stand-in programs for the
// downloader and the help compiler (shell scripts that print canned logs), so
// no network is needed: the caption as busy flag, cancelling in either stage,
// a second "Execute" while the first conversion is still compiling, and the
// failure paths.

#include "app/MainWindow.h"
#include "process/PosixProcess.h"
#include "support/ConditionTrigger.h"
#include "support/RecordingDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using quorlix::MainWindow;
using quorlix::test::ConditionTrigger;
using quorlix::test::RecordingDialogs;

namespace {

const QString kStandins = QStringLiteral(QUORLIX_STANDINS_DIR);

// "<time> URL:<url> [n/n] -> "<path>" [1]", the downloader's line for a
// saved file.
QString savedLine(const QString &url, const QString &path)
{
    return QStringLiteral("2026-12-07 09:41:18 URL:%1 [380/380] -> \"%2\" [1]\n").arg(url, path);
}

QString robotsMissing()
{
    return QStringLiteral("http://h.test/robots.txt:\n2026-12-07 09:41:18 ERROR 404: File not found.\n");
}

} // namespace

class TestConversionFlow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fullConversion_data();
    void fullConversion();
    void captionDifferingInCaseCancels();
    void cancelDuringDownload();
    void cancelDuringCompileStillOpensTheResult();
    void executeWhileCompilingStartsNothing();
    void noSavedFileLine();
    void projectCannotBeWritten();
    void folderWithDoubleQuoteRefused();
    void viewerFailureReportedByErrorTrap();

private:
    // The working directory: bin/wget and bin/hhc are the stand-ins, and
    // their control files live here.
    QString work(const QString &name) const { return mWork->filePath(name); }
    void writeFile(const QString &name, const QByteArray &bytes);
    QStringList argsOf(const QString &program) const;
    QByteArray readFile(const QString &path) const;
    // The canned logs of a conversion that saves two pages under folder.
    void cannedLogs(const QString &folder);

    std::unique_ptr<QTemporaryDir> mWork;
    std::unique_ptr<RecordingDialogs> mDialogs;
    std::unique_ptr<MainWindow> mWindow;
    QString mFolder;  // the output folder: a blank in its name
    QString mWgetLog;
    QString mHhcLog;
    QString mPreviousDir;
};

void TestConversionFlow::init()
{
    mWork = std::make_unique<QTemporaryDir>();
    QVERIFY(mWork->isValid());
    QVERIFY(QDir(mWork->path()).mkdir(QStringLiteral("bin")));
    for (const char *program : {"wget", "hhc"})
        QVERIFY(QFile::copy(kStandins + QLatin1Char('/') + program, work(QStringLiteral("bin/") + program)));
    mPreviousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(mWork->path()));

    mFolder = work(QStringLiteral("Out dir"));
    QVERIFY(QDir().mkpath(mFolder));
    mDialogs = std::make_unique<RecordingDialogs>();
    mWindow = std::make_unique<MainWindow>();
    mWindow->Label2->setText(mFolder);
    mWindow->txtCommand->setText(QStringLiteral("http://h.test/"));
    cannedLogs(mFolder);
}

void TestConversionFlow::cleanup()
{
    // Let a held stand-in go, whatever the test left behind.
    writeFile(QStringLiteral("wget.release"), {});
    writeFile(QStringLiteral("hhc.release"), {});
    mWindow.reset();
    mDialogs.reset();
    QDir::setCurrent(mPreviousDir);
    mWork.reset();
}

void TestConversionFlow::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(work(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList TestConversionFlow::argsOf(const QString &program) const
{
    QFile file(work(program + QStringLiteral(".args")));
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<not run>")};
    QStringList args = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    args.removeLast(); // after the last line's end
    return args;
}

QByteArray TestConversionFlow::readFile(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestConversionFlow::cannedLogs(const QString &folder)
{
    mWgetLog = savedLine("http://h.test/", folder + "/h.test/index.html") + robotsMissing()
               + savedLine("http://h.test/a%20b.html", folder + "/h.test/a b.html")
               + savedLine("http://h.test/index.html", folder + "/h.test/index.html")
               + QStringLiteral("FINISHED --2026-12-07 09:41:19--\nDownloaded: 3 files, 1.1K in 0.2s\n");
    mHhcLog = QStringLiteral("Writing CHM ") + folder + QStringLiteral("/output.chm\n");
    writeFile(QStringLiteral("wget.log"), mWgetLog.toUtf8());
    writeFile(QStringLiteral("hhc.log"), mHhcLog.toUtf8());
}

void TestConversionFlow::fullConversion_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("addressArgs");

    QTest::newRow("address") << "http://h.test/" << QStringList{"http://h.test/"};
    QTest::newRow("address with blanks: several arguments") << "http://h.test/ -l 1" << QStringList{"http://h.test/", "-l", "1"};
    QTest::newRow("empty address: no argument") << "" << QStringList{};
}

void TestConversionFlow::fullConversion()
{
    QFETCH(QString, address);
    QFETCH(QStringList, addressArgs);
    mWindow->txtCommand->setText(address);
    mWindow->txtOutputs->setPlainText(QStringLiteral("an earlier log"));

    writeFile(QStringLiteral("wget.hold"), {});
    QString captionWhileDownloading;
    ConditionTrigger downloading([&] { return mWindow->outputsText().contains(QStringLiteral("FINISHED")); },
                                 [&] {
                                     captionWhileDownloading = mWindow->cmdExecute->text();
                                     writeFile(QStringLiteral("wget.release"), {});
                                 });
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    mWindow->cmdExecute->click();

    QCOMPARE(captionWhileDownloading, QStringLiteral("Cancel"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(argsOf("wget"), QStringList({"-U", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)", "-r",
                                          "-nv", "-np", "--random-wait", "-P", mFolder})
                                 + addressArgs);
    // The pane was cleared, then holds the download log and directly after
    // it the compiler's.
    QCOMPARE(mWindow->outputsText(), mWgetLog + mHhcLog);
    QCOMPARE(readFile(mFolder + "/output.HHP"),
             QByteArray("[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=")
                 + mFolder.toUtf8()
                 + "/output.chm\r\nDefault topic=h.test/index.html\r\nDisplay compile progress=No\r\n"
                   "Language=0x089 English (standard)\r\nTitle=Quorlix\r\n\r\n[FILES]\r\n"
                   "h.test/index.html\r\nh.test/a b.html\r\n\r\n[INFOTYPES]\r\n\r\n");
    QCOMPARE(argsOf("hhc"), QStringList{mFolder + "/output.HHP"});
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{mFolder + "/output.chm"});
    QVERIFY(mDialogs->messages.empty());
}

void TestConversionFlow::captionDifferingInCaseCancels()
{
    mWindow->cmdExecute->setText(QStringLiteral("EXECUTE"));
    mWindow->txtOutputs->setPlainText(QStringLiteral("kept"));
    mWindow->cmdExecute->click();

    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(mWindow->outputsText(), QStringLiteral("kept"));
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->objDOS->lastProcessId(), 0);
}

void TestConversionFlow::cancelDuringDownload()
{
    writeFile(QStringLiteral("wget.hold"), {});
    QString captionAfterCancel;
    ConditionTrigger downloading([&] { return mWindow->outputsText() == mWgetLog; },
                                 [&] {
                                     mWindow->cmdExecute->click();
                                     captionAfterCancel = mWindow->cmdExecute->text();
                                 });
    mWindow->cmdExecute->click();

    QVERIFY(downloading.fired());
    QCOMPARE(captionAfterCancel, QStringLiteral("Execute"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(mWindow->outputsText(), mWgetLog); // what came before the cancel stays
    QVERIFY(!QFile::exists(mFolder + "/output.HHP"));
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(!mWindow->hccDOS);
    QVERIFY(mDialogs->shellCalls.empty());
    QVERIFY(mDialogs->messages.empty());
    const auto downloader = static_cast<pid_t>(mWindow->objDOS->lastProcessId());
    QTRY_VERIFY_WITH_TIMEOUT(!quorlix::posix::processGroupExists(downloader), 5000);
}

void TestConversionFlow::cancelDuringCompileStillOpensTheResult()
{
    writeFile(QStringLiteral("hhc.hold"), {});
    QString captionAfterCancel;
    ConditionTrigger compiling([&] { return mWindow->outputsText().endsWith(mHhcLog); },
                               [&] {
                                   mWindow->cmdExecute->click();
                                   captionAfterCancel = mWindow->cmdExecute->text();
                                   writeFile(QStringLiteral("hhc.release"), {});
                               });
    mWindow->cmdExecute->click();

    QVERIFY(compiling.fired());
    QCOMPARE(captionAfterCancel, QStringLiteral("Execute"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(mWindow->outputsText(), mWgetLog + mHhcLog);
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{mFolder + "/output.chm"});
}

void TestConversionFlow::executeWhileCompilingStartsNothing()
{
    writeFile(QStringLiteral("hhc.hold"), {});
    qint64 downloader = 0;
    QString paneAfterSecondClick;
    ConditionTrigger compiling([&] { return mWindow->outputsText().endsWith(mHhcLog); },
                               [&] {
                                   downloader = mWindow->objDOS->lastProcessId();
                                   QFile::remove(work("wget.args"));
                                   // Released first, so that a second conversion, were one started,
                                   // would run to its end instead of waiting for this one.
                                   writeFile(QStringLiteral("hhc.release"), {});
                                   mWindow->cmdExecute->click(); // "Cancel": the compile goes on
                                   mWindow->cmdExecute->click(); // "Execute" while still compiling
                                   paneAfterSecondClick = mWindow->outputsText();
                               });
    mWindow->cmdExecute->click();

    QVERIFY(compiling.fired());
    // The second click started nothing and said why.
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->objDOS->lastProcessId(), downloader);
    QCOMPARE(paneAfterSecondClick, mWgetLog + mHhcLog);
    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(QStringLiteral("still")), qPrintable(mDialogs->messages[0].text));
    // The running conversion finished intact.
    QCOMPARE(mWindow->outputsText(), mWgetLog + mHhcLog);
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QVERIFY(!mWindow->conversionRunning());
}

void TestConversionFlow::noSavedFileLine()
{
    writeFile(QStringLiteral("wget.log"), robotsMissing().toUtf8());
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(QStringLiteral("No downloaded files")),
             qPrintable(mDialogs->messages[0].text));
    QVERIFY(!QFile::exists(mFolder + "/output.HHP"));
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(mDialogs->shellCalls.empty());
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::projectCannotBeWritten()
{
    writeFile(QStringLiteral("plain-file"), "not a folder");
    const QString folder = work(QStringLiteral("plain-file/out"));
    mWindow->Label2->setText(folder);
    cannedLogs(folder);
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    const QString text = mDialogs->messages[0].text;
    QVERIFY2(text.contains(folder + QStringLiteral("/output.HHP")), qPrintable(text));
    QCOMPARE(mDialogs->messages[0].icon, quorlix::runtime::MsgIcon::Stop);
    QCOMPARE(argsOf("hhc"), QStringList{"<not run>"});
    QVERIFY(mDialogs->shellCalls.empty());
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::folderWithDoubleQuoteRefused()
{
    const QString folder = work(QStringLiteral("a\" -O \"b"));
    mWindow->Label2->setText(folder);
    mWindow->txtOutputs->setPlainText(QStringLiteral("kept"));
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->messages.size(), size_t(1));
    QVERIFY2(mDialogs->messages[0].text.contains(folder), qPrintable(mDialogs->messages[0].text));
    QCOMPARE(argsOf("wget"), QStringList{"<not run>"});
    QCOMPARE(mWindow->outputsText(), QStringLiteral("kept"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

void TestConversionFlow::viewerFailureReportedByErrorTrap()
{
    mDialogs->shellSucceeds = false;
    mWindow->cmdExecute->click();

    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->messages.size(), size_t(1));
    const RecordingDialogs::Message &message = mDialogs->messages[0];
    QCOMPARE(message.text, QStringLiteral("File not found: hh - quorlix - 53"));
    QCOMPARE(message.icon, quorlix::runtime::MsgIcon::None);
    QCOMPARE(message.title, QStringLiteral("quorlix"));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
}

QTEST_MAIN(TestConversionFlow)
#include "test_conversion_flow.moc"
