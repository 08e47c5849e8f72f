// The process terminator: its decisions against a fake platform, and the real
// platform's signals reaching a real process group.

#include "support/FakeTerminatorPlatform.h"
#include "support/ChildProcesses.h"
#include "process/PosixProcess.h"
#include "process/cKillProcess.h"

#include <QTest>

#include <csignal>

using quorlix::process::cKillProcess;
using quorlix::process::TerminatorPlatform;
using quorlix::test::FakeTerminatorPlatform;
using CloseMessage = TerminatorPlatform::CloseMessage;

Q_DECLARE_METATYPE(TerminatorPlatform::Version)

class TestTerminator : public QObject {
    Q_OBJECT
private slots:
    void noGroupPostsNothing_data();
    void noGroupPostsNothing();
    void decisionTable_data();
    void decisionTable();
    void detectsPlatform_data();
    void detectsPlatform();
    void readsVersionOncePerInstance();
    void versionBanner();
    void pidInUseAsksTheGroup();
    void realPlatformReportsFailedVersionQuery();
    void realPlatformSignalsWholeGroup();
};

namespace {

const TerminatorPlatform::Version kWin95{4, 0, 1};
const TerminatorPlatform::Version kNt4{4, 0, 2};

} // namespace

void TestTerminator::noGroupPostsNothing_data()
{
    QTest::addColumn<TerminatorPlatform::Version>("version");
    QTest::newRow("close platform") << kNt4;
    QTest::newRow("terminate platform") << kWin95;
}

void TestTerminator::noGroupPostsNothing()
{
    QFETCH(TerminatorPlatform::Version, version);
    auto platform = std::make_shared<FakeTerminatorPlatform>();
    platform->version = version;
    platform->hasWindows = false;
    cKillProcess killer(platform);
    QCOMPARE(killer.KillProcess(4321), false);
    QCOMPARE(platform->windowQueries, std::vector<std::int32_t>{4321});
    QVERIFY(platform->posted.empty());
    QVERIFY(platform->opened.empty());
    QVERIFY(platform->terminated.empty());
}

void TestTerminator::decisionTable_data()
{
    QTest::addColumn<TerminatorPlatform::Version>("version");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("terminates");
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("terminated");
    QTest::addColumn<bool>("result");

    const int close = int(CloseMessage::Close);
    const int endSession = int(CloseMessage::EndSession);
    // A platform that is only asked to close never gets as far as opening.
    QTest::newRow("flag false") << kNt4 << false << false << close << false << false << true;
    QTest::newRow("flag true, open fails") << kWin95 << false << true << endSession << true << false << false;
    QTest::newRow("flag true, terminate fails") << kWin95 << true << false << endSession << true << true << false;
    QTest::newRow("flag true, terminate succeeds") << kWin95 << true << true << endSession << true << true << true;
}

void TestTerminator::decisionTable()
{
    QFETCH(TerminatorPlatform::Version, version);
    QFETCH(bool, opens);
    QFETCH(bool, terminates);
    QFETCH(int, message);
    QFETCH(bool, opened);
    QFETCH(bool, terminated);
    QFETCH(bool, result);

    auto platform = std::make_shared<FakeTerminatorPlatform>();
    platform->version = version;
    platform->opens = opens;
    platform->terminates = terminates;
    cKillProcess killer(platform);

    QCOMPARE(killer.KillProcess(777), result);
    QCOMPARE(platform->posted.size(), std::size_t(1));
    QCOMPARE(platform->posted.front().first, 777);
    QCOMPARE(int(platform->posted.front().second), message);
    QCOMPARE(platform->opened == std::vector<std::int32_t>{777}, opened);
    QCOMPARE(platform->terminated == std::vector<std::int32_t>{777}, terminated);
}

void TestTerminator::detectsPlatform_data()
{
    QTest::addColumn<TerminatorPlatform::Version>("version");
    QTest::addColumn<bool>("canTerminate");

    QTest::newRow("4.0 platform 1") << TerminatorPlatform::Version{4, 0, 1} << true;
    QTest::newRow("4.10 platform 1") << TerminatorPlatform::Version{4, 10, 1} << true;
    QTest::newRow("4.90 platform 1") << TerminatorPlatform::Version{4, 90, 1} << true;
    QTest::newRow("5.0 platform 1") << TerminatorPlatform::Version{5, 0, 1} << true;
    QTest::newRow("3.95 platform 1") << TerminatorPlatform::Version{3, 95, 1} << false;
    QTest::newRow("4.0 platform 2") << TerminatorPlatform::Version{4, 0, 2} << false;
    QTest::newRow("5.0 platform 2") << TerminatorPlatform::Version{5, 0, 2} << false;
    QTest::newRow("5.1 platform 2") << TerminatorPlatform::Version{5, 1, 2} << false;
    QTest::newRow("6.2 platform 2") << TerminatorPlatform::Version{6, 2, 2} << false;
    QTest::newRow("4.1 platform 2") << TerminatorPlatform::Version{4, 1, 2} << true;
    QTest::newRow("4.1 platform 0") << TerminatorPlatform::Version{4, 1, 0} << true;
    QTest::newRow("4.-1 platform 1") << TerminatorPlatform::Version{4, -1, 1} << false;
    QTest::newRow("failed query") << TerminatorPlatform::Version{0, 0, 0} << false;
    QTest::newRow("0.0 platform 1") << TerminatorPlatform::Version{0, 0, 1} << false;
}

void TestTerminator::detectsPlatform()
{
    QFETCH(TerminatorPlatform::Version, version);
    QFETCH(bool, canTerminate);

    auto platform = std::make_shared<FakeTerminatorPlatform>();
    platform->version = version;
    cKillProcess killer(platform);
    QVERIFY(!killer.initialized());
    killer.KillProcess(55);
    QVERIFY(killer.initialized());
    QCOMPARE(killer.canTerminate(), canTerminate);
    QCOMPARE(platform->posted.front().second, canTerminate ? CloseMessage::EndSession : CloseMessage::Close);
    QCOMPARE(platform->terminated.size(), std::size_t(canTerminate ? 1 : 0));
}

void TestTerminator::readsVersionOncePerInstance()
{
    auto platform = std::make_shared<FakeTerminatorPlatform>();
    platform->version = kWin95;
    cKillProcess killer(platform);
    killer.KillProcess(1);
    QCOMPARE(platform->versionQueries, 1);
    // A different answer now would change nothing: the flag is fixed.
    platform->version = kNt4;
    platform->hasWindows = false;
    killer.KillProcess(2);
    platform->hasWindows = true;
    killer.KillProcess(3);
    QCOMPARE(platform->versionQueries, 1);
    QVERIFY(killer.canTerminate());
    QCOMPARE(platform->posted.back().second, CloseMessage::EndSession);

    // A new instance reads it again.
    cKillProcess second(platform);
    second.KillProcess(4);
    QCOMPARE(platform->versionQueries, 2);
    QVERIFY(!second.canTerminate());
}

void TestTerminator::versionBanner()
{
    auto platform = std::make_shared<FakeTerminatorPlatform>();
    cKillProcess killer(platform);
    QVERIFY(killer.Version().startsWith(QStringLiteral("Kill Process Class v0.1 BETA")));
    QCOMPARE(platform->versionQueries, 0);
    QVERIFY(!killer.initialized());
}

void TestTerminator::pidInUseAsksTheGroup()
{
    auto platform = std::make_shared<FakeTerminatorPlatform>();
    cKillProcess killer(platform);
    QVERIFY(killer.PIDInUse(9));
    platform->hasWindows = false;
    QVERIFY(!killer.PIDInUse(9));
    QVERIFY(platform->posted.empty());
    QCOMPARE(platform->versionQueries, 0);
}

void TestTerminator::realPlatformReportsFailedVersionQuery()
{
    const TerminatorPlatform::Version v = TerminatorPlatform::system()->queryVersion();
    QCOMPARE(v.major, 0);
    QCOMPARE(v.minor, 0);
    QCOMPARE(v.platformId, 0);
}

void TestTerminator::realPlatformSignalsWholeGroup()
{
    quorlix::test::ChildGroup group;
    QVERIFY2(group.start(), qPrintable(group.problem));

    cKillProcess killer;
    QVERIFY(killer.KillProcess(group.leader()));
    QVERIFY(!killer.canTerminate());
    QTRY_COMPARE_WITH_TIMEOUT(group.recordedSignals(), QStringList({QStringLiteral("grandchild %1").arg(SIGTERM),
                                                                    QStringLiteral("parent %1").arg(SIGTERM)}),
                              10000);
    group.reapLeader();

    // Once everyone has gone there is nothing left to ask.
    QTRY_VERIFY_WITH_TIMEOUT(!quorlix::posix::processGroupExists(group.leader()), 10000);
    QVERIFY(!killer.KillProcess(group.leader()));
}

QTEST_GUILESS_MAIN(TestTerminator)
#include "test_terminator.moc"
