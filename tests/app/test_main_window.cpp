// The main window: its controls and their layout, keyboard behaviour, the
// output pane, the default output folder and Exit.

#include "app/MainWindow.h"
#include "app/PaneLog.h"
#include "support/ChildProcesses.h"
#include "support/FakeTerminatorPlatform.h"
#include "support/OnDisplay.h"
#include "support/RecordingDialogs.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(std::optional<QByteArray>)

using quorlix::MainWindow;
using quorlix::test::RecordingDialogs;

namespace {

// The window's layout is given in twips, 15 to a pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QString textOf(const QWidget *widget)
{
    if (auto label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto box = qobject_cast<const QLineEdit *>(widget))
        return box->text();
    if (auto button = qobject_cast<const QPushButton *>(widget))
        return button->text();
    if (auto pane = qobject_cast<const QPlainTextEdit *>(widget))
        return pane->toPlainText();
    return QStringLiteral("<unknown kind>");
}

// Sets or unsets HOME for as long as it lives.
class HomeVariable {
public:
    explicit HomeVariable(const std::optional<QByteArray> &value)
        : mHad(qEnvironmentVariableIsSet("HOME")), mOld(qgetenv("HOME"))
    {
        if (value)
            qputenv("HOME", *value);
        else
            qunsetenv("HOME");
    }
    ~HomeVariable()
    {
        if (mHad)
            qputenv("HOME", mOld);
        else
            qunsetenv("HOME");
    }

private:
    bool mHad;
    QByteArray mOld;
};

// Runs xdotool on the display; its output lines.
QStringList xdotool(const QString &display, const QString &arguments)
{
    return quorlix::test::runOnDisplay(display, QStringLiteral("xdotool"), arguments.split(QLatin1Char('|')));
}

// The names of the visible windows as the user sees them (_NET_WM_NAME;
// xdotool's search looks at the Latin-1 WM_NAME and ignores case).
QStringList windowNames(const QString &display)
{
    return xdotool(display, QStringLiteral("search|--maxdepth|1|--onlyvisible|--name|.|getwindowname|%@"));
}

int caretPosition(const MainWindow &window) { return window.txtOutputs->textCursor().position(); }

int textLength(const MainWindow &window) { return window.txtOutputs->document()->characterCount() - 1; }

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowItself();
    void controls_data();
    void controls();
    void labelIsSizedToItsCaption();
    void outputPane();
    void tabOrderAndFirstFocus();
    void enterPressesExecute_data();
    void enterPressesExecute();
    void enterOnFocusedButtonPressesThatButton_data();
    void enterOnFocusedButtonPressesThatButton();
    void appendedChunks_data();
    void appendedChunks();
    void logLines_data();
    void logLines();
    void heldBackLine_data();
    void heldBackLine();
    void changeEventForEveryChunk();
    void caretFollowsEveryChange();
    void viewShowsLastLine();
    void defaultFolderFromHome_data();
    void defaultFolderFromHome();
    void exitReleasesRunnerAndEnds();
    void closingWhileRunningCancelsTheRun();
    void realTitlesOnX11();

private:
    // A shown, active window whose "Execute" and "Output DIR" only count
    // their clicks: what they would start is not this test's business.
    void showWindow();

    std::unique_ptr<RecordingDialogs> mDialogs;
    std::unique_ptr<MainWindow> mWindow;
};

void TestMainWindow::init()
{
    mDialogs = std::make_unique<RecordingDialogs>();
    mWindow = std::make_unique<MainWindow>();
}

void TestMainWindow::cleanup()
{
    mWindow.reset();
    mDialogs.reset();
}

void TestMainWindow::showWindow()
{
    disconnect(mWindow->cmdExecute, &QPushButton::clicked, mWindow.get(), &MainWindow::cmdExecute_Click);
    disconnect(mWindow->Dir, &QPushButton::clicked, mWindow.get(), &MainWindow::Dir_Click);
    mWindow->show();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
}

void TestMainWindow::windowItself()
{
    MainWindow &w = *mWindow;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quorlix"));
    QCOMPARE(w.objectName(), QStringLiteral("main1"));
    QCOMPARE(w.size(), QSize(493, 306));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));
    QVERIFY(w.objDOS);
    QVERIFY(!w.hccDOS);
    QVERIFY(!w.objDOS->isRunning());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("txtCommand") << "txtCommand" << "QLineEdit" << "" << twips(120, 360, 7095, 285);
    QTest::newRow("Dir") << "Dir" << "QPushButton" << "Output DIR" << twips(6000, 720, 1215, 255);
    QTest::newRow("txtOutputs") << "txtOutputs" << "QPlainTextEdit" << "" << twips(120, 1080, 7095, 2775);
    QTest::newRow("cmdExecute") << "cmdExecute" << "QPushButton" << "Execute" << twips(3240, 4080, 1875, 375);
    QTest::newRow("cmdExit") << "cmdExit" << "QPushButton" << "Exit" << twips(5280, 4080, 1875, 375);
    QTest::newRow("Label2") << "Label2" << "QLabel" << qEnvironmentVariable("HOME") + "/quorlix"
                            << twips(120, 720, 5775, 255);
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);

    auto *control = mWindow->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget(), mWindow.get());
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    QCOMPARE(textOf(control), text);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isEnabled());

    // Nothing is laid out again when the window is shown.
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isVisible());
}

void TestMainWindow::labelIsSizedToItsCaption()
{
    QLabel *label = mWindow->Label1;
    QCOMPARE(label->objectName(), QStringLiteral("Label1"));
    QCOMPARE(label->text(), QStringLiteral("URL:"));
    QCOMPARE(label->pos(), twips(240, 120, 0, 0).topLeft());
    QCOMPARE(label->size(), label->sizeHint());
}

void TestMainWindow::outputPane()
{
    QPlainTextEdit *pane = mWindow->txtOutputs;
    const QFont font = pane->font();
    const QFontInfo resolved(font);
    QVERIFY2(resolved.fixedPitch(), qPrintable(resolved.family()));
    QCOMPARE(font.pointSizeF(), 8.25);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    QCOMPARE(pane->palette().color(QPalette::Text), QColor(Qt::black));
    // The other controls keep the window's font.
    QCOMPARE(mWindow->txtCommand->font(), mWindow->font());
    QCOMPARE(mWindow->cmdExecute->font(), mWindow->font());

    QVERIFY(!pane->isReadOnly());
    QCOMPARE(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(pane->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(pane->maximumBlockCount(), 0);
}

void TestMainWindow::tabOrderAndFirstFocus()
{
    showWindow();
    MainWindow &w = *mWindow;
    QCOMPARE(QApplication::focusWidget(), w.txtCommand);

    const QList<QWidget *> order{w.cmdExecute, w.txtOutputs, w.cmdExit, w.Dir, w.txtCommand};
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    // And back again.
    for (qsizetype i = order.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), order.at(i));
    }
    QVERIFY(w.Label1->focusPolicy() == Qt::NoFocus && w.Label2->focusPolicy() == Qt::NoFocus);
}

void TestMainWindow::enterPressesExecute_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("URL box, Return") << "txtCommand" << int(Qt::Key_Return);
    QTest::newRow("URL box, keypad Enter") << "txtCommand" << int(Qt::Key_Enter);
    QTest::newRow("output pane, Return") << "txtOutputs" << int(Qt::Key_Return);
    QTest::newRow("Execute itself") << "cmdExecute" << int(Qt::Key_Return);
}

void TestMainWindow::enterPressesExecute()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    showWindow();
    MainWindow &w = *mWindow;
    QVERIFY(w.cmdExecute->isDefault());
    QSignalSpy execute(w.cmdExecute, &QPushButton::clicked);
    QSignalSpy exit(w.cmdExit, &QPushButton::clicked);
    QSignalSpy dir(w.Dir, &QPushButton::clicked);
    const QString paneBefore = w.txtOutputs->toPlainText();

    auto *target = w.findChild<QWidget *>(focus);
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key(key));

    QCOMPARE(execute.size(), 1);
    QCOMPARE(exit.size(), 0);
    QCOMPARE(dir.size(), 0);
    QCOMPARE(w.txtOutputs->toPlainText(), paneBefore);
    QVERIFY(mDialogs->endCodes.empty());
}

void TestMainWindow::enterOnFocusedButtonPressesThatButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Exit") << "cmdExit";
    QTest::newRow("Output DIR") << "Dir";
}

void TestMainWindow::enterOnFocusedButtonPressesThatButton()
{
    QFETCH(QString, button);
    showWindow();
    MainWindow &w = *mWindow;
    auto *focused = w.findChild<QPushButton *>(button);
    QSignalSpy execute(w.cmdExecute, &QPushButton::clicked);
    QSignalSpy pressed(focused, &QPushButton::clicked);
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_Return);
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(execute.size(), 0);
}

void TestMainWindow::appendedChunks_data()
{
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("text");

    QTest::newRow("line continued by the next chunk")
        << QStringList{"2026-12-07 URL:http://127.0.0.1/a.ht", "ml [12] -> \"a.html\" [1]\nnext"}
        << "2026-12-07 URL:http://127.0.0.1/a.html [12] -> \"a.html\" [1]\nnext";
    QTest::newRow("empty chunk changes nothing") << QStringList{"abc\n", "", "def", ""} << "abc\ndef";
    QTest::newRow("only empty chunks") << QStringList{"", ""} << "";
    QTest::newRow("blanks and tabs kept") << QStringList{"  a\t", " \n "} << "  a\t \n ";
    QTest::newRow("line breaks at chunk edges") << QStringList{"\n", "a\n", "\nb", "\n"} << "\na\n\nb\n";
    // The pane keeps line breaks, not line-end characters: "\r\n" is one
    // break wherever the chunks were cut.
    QTest::newRow("CR LF across chunks") << QStringList{"a\r\n", "b\r", "\nc\r"} << "a\nb\nc\n";
    QTest::newRow("lone LF after CR LF") << QStringList{"a\r\n", "\n", "b"} << "a\n\nb";
    QTest::newRow("characters beyond Latin") << QStringList{"caf\u00e9 ", "\u65e5\u672c"} << "caf\u00e9 \u65e5\u672c";
    // Longer than the pane's blocks, line ends of every kind cut anywhere.
    QString many;
    for (int i = 0; i < 5 * quorlix::PaneLog::kLinesPerBlock; ++i)
        many += QStringLiteral("line %1").arg(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    QStringList cut;
    for (qsizetype at = 0; at < many.size(); at += 7)
        cut << many.mid(at, 7);
    QTest::newRow("many lines") << cut << QString(many).replace("\r\n", "\n").replace('\r', '\n');
    // Lines longer than the pane lays out at once, in the runner's chunks;
    // the last one never ended.
    const QString longLine(3 * quorlix::PaneLog::kLongLine, QLatin1Char('x'));
    const QString longLog = longLine + "\r\n" + longLine + "y\n\n" + longLine;
    QStringList chunksOf256;
    for (qsizetype at = 0; at < longLog.size(); at += 256)
        chunksOf256 << longLog.mid(at, 256);
    QTest::newRow("long lines") << chunksOf256 << QString(longLog).replace("\r\n", "\n");
}

void TestMainWindow::appendedChunks()
{
    QFETCH(QStringList, chunks);
    QFETCH(QString, text);

    // Both runners' chunks go the same way, one after the other.
    MainWindow &w = *mWindow;
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        QString chunk = chunks.at(i);
        if (i % 2)
            w.hccDOS_ReceiveOutputs(chunk);
        else
            w.objDOS_ReceiveOutputs(chunk);
        QCOMPARE(caretPosition(w), textLength(w));
    }
    QCOMPARE(w.outputsText(), text);
    QCOMPARE(w.txtOutputs->toPlainText(), text);

    // Where the chunks were cut makes no difference.
    MainWindow whole;
    QString all = chunks.join(QString());
    whole.objDOS_ReceiveOutputs(all);
    QCOMPARE(whole.outputsText(), text);
}

void TestMainWindow::logLines_data()
{
    QTest::addColumn<QString>("startLine");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    const QString start = QStringLiteral("Downloading http://a/ into /b");
    QTest::newRow("start line left out") << start << start + "\nURL:1\nURL:2" << QStringList{"URL:1", "URL:2"};
    QTest::newRow("start line of two lines") << "Downloading http://a/\nx into /b"
                                             << "Downloading http://a/\nx into /b\nURL:1\n"
                                             << QStringList{"URL:1", ""};
    QTest::newRow("only the start line") << start << start << QStringList{start};
    QTest::newRow("start line's first half only") << "a\nb" << "a\nc" << QStringList{"a", "c"};
    QTest::newRow("typed before the start line") << start << "typed\n" + start << QStringList{"typed", start};
    QTest::newRow("no start line") << QString() << "x\n\ny" << QStringList{"x", "", "y"};
    QStringList many;
    for (int i = 0; i < 3 * quorlix::PaneLog::kLinesPerBlock + 1; ++i)
        many << QStringLiteral("URL:%1").arg(i);
    QTest::newRow("many blocks") << start << start + "\n" + many.join('\n') << many;
}

void TestMainWindow::logLines()
{
    QFETCH(QString, startLine);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    QTextDocument document;
    quorlix::PaneLog log(&document);
    for (qsizetype at = 0; at < text.size(); at += 5)
        log.append(text.mid(at, 5));
    QStringList read;
    log.forEachLine(startLine, [&read](const QString &line) { read << line; });
    QCOMPARE(read, lines);
}

void TestMainWindow::heldBackLine_data()
{
    QTest::addColumn<bool>("emptied"); // the pane emptied for a new conversion while it is held back
    QTest::addColumn<QString>("text");
    const QString longLine(2 * quorlix::PaneLog::kLongLine, QLatin1Char('x'));
    QTest::newRow("read while held back") << false << "start\n" + longLine + "next\n";
    QTest::newRow("forgotten with the pane") << true << QStringLiteral("next\n");
}

// A long line's end held back is read with the rest, and goes when the
// pane is emptied: the next conversion's log never begins with it.
void TestMainWindow::heldBackLine()
{
    QFETCH(bool, emptied);
    QFETCH(QString, text);
    QTextDocument document;
    quorlix::PaneLog log(&document);
    log.append(QStringLiteral("start\n"));
    for (int i = 0; i < 2 * quorlix::PaneLog::kLongLine / 256; ++i)
        log.append(QString(256, QLatin1Char('x')));
    QVERIFY(log.lastLineOpen());
    if (emptied) {
        log.forgetHeldBack();
        document.clear();
    }
    log.append(QStringLiteral("next\n"));
    QCOMPARE(log.text(), text);
}

void TestMainWindow::changeEventForEveryChunk()
{
    MainWindow &w = *mWindow;
    QSignalSpy changed(w.txtOutputs, &QPlainTextEdit::textChanged);
    for (const char *piece : {"one ", "two\n", "three"}) {
        QString chunk = QString::fromLatin1(piece);
        const qsizetype before = changed.size();
        w.objDOS_ReceiveOutputs(chunk);
        QVERIFY(changed.size() > before);
    }
}

void TestMainWindow::caretFollowsEveryChange()
{
    showWindow();
    MainWindow &w = *mWindow;
    QString chunk = QStringLiteral("first line\nsecond line\n");
    w.objDOS_ReceiveOutputs(chunk);
    QCOMPARE(caretPosition(w), textLength(w));

    // The user types in the middle: every keystroke sends the caret to the end.
    w.txtOutputs->setFocus();
    QTextCursor middle = w.txtOutputs->textCursor();
    middle.setPosition(3);
    w.txtOutputs->setTextCursor(middle);
    QCOMPARE(caretPosition(w), 3);
    QTest::keyClick(w.txtOutputs, Qt::Key_X);
    QCOMPARE(w.outputsText(), QStringLiteral("firxst line\nsecond line\n"));
    QCOMPARE(caretPosition(w), textLength(w));
    QTest::keyClick(w.txtOutputs, Qt::Key_Y);
    QCOMPARE(w.outputsText(), QStringLiteral("firxst line\nsecond line\ny"));
    QCOMPARE(caretPosition(w), textLength(w));

    // Clearing the pane leaves the caret at the (now empty) end.
    w.txtOutputs->clear();
    QCOMPARE(caretPosition(w), 0);
    chunk = QStringLiteral("again");
    w.objDOS_ReceiveOutputs(chunk);
    QCOMPARE(caretPosition(w), 5);
    QVERIFY(!w.txtOutputs->textCursor().hasSelection());
}

void TestMainWindow::viewShowsLastLine()
{
    showWindow();
    MainWindow &w = *mWindow;
    for (int i = 0; i < 400; ++i) {
        QString chunk = QStringLiteral("line %1\n").arg(i);
        w.objDOS_ReceiveOutputs(chunk);
    }
    QCoreApplication::processEvents();
    QScrollBar *bar = w.txtOutputs->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QVERIFY(w.txtOutputs->viewport()->rect().contains(w.txtOutputs->cursorRect()));
}

void TestMainWindow::defaultFolderFromHome_data()
{
    QTest::addColumn<std::optional<QByteArray>>("home");
    QTest::addColumn<QString>("folder");
    QTest::newRow("set") << std::optional<QByteArray>("/home/ada") << "/home/ada/quorlix";
    QTest::newRow("with blanks") << std::optional<QByteArray>("/home/ada lovelace") << "/home/ada lovelace/quorlix";
    QTest::newRow("ending in a separator") << std::optional<QByteArray>("/home/ada/") << "/home/ada//quorlix";
    QTest::newRow("root") << std::optional<QByteArray>("/") << "//quorlix";
    QTest::newRow("empty") << std::optional<QByteArray>("") << "/quorlix";
    QTest::newRow("unset") << std::optional<QByteArray>() << "/quorlix";
}

void TestMainWindow::defaultFolderFromHome()
{
    QFETCH(std::optional<QByteArray>, home);
    QFETCH(QString, folder);
    HomeVariable variable(home);
    MainWindow window;
    QCOMPARE(window.Label2->text(), folder);
}

void TestMainWindow::exitReleasesRunnerAndEnds()
{
    showWindow();
    MainWindow &w = *mWindow;
    std::weak_ptr<quorlix::process::DOSOutputs> runner = w.objDOS;
    QTest::mouseClick(w.cmdExit, Qt::LeftButton);
    QVERIFY(!w.objDOS);
    QVERIFY(runner.expired());
    QCOMPARE(mDialogs->endCodes.size(), std::size_t(1));
    QVERIFY(mDialogs->messages.empty());
}

void TestMainWindow::closingWhileRunningCancelsTheRun()
{
    showWindow();
    MainWindow &w = *mWindow;
    auto platform = std::make_shared<quorlix::test::FakeTerminatorPlatform>(
        quorlix::process::TerminatorPlatform::system());
    w.objDOS->setTerminatorPlatform(platform);
    QSignalSpy completed(w.objDOS.get(), &quorlix::process::DOSOutputs::Complete);
    // The window is closed through its frame once the child has said something.
    connect(w.txtOutputs, &QPlainTextEdit::textChanged, &w, &QWidget::close, Qt::QueuedConnection);

    w.objDOS->ExecuteCommand(quorlix::test::childCommand(QStringLiteral("ticker")));

    QVERIFY(!w.isVisible());
    QVERIFY(w.outputsText().startsWith(QStringLiteral("tick\n")));
    QCOMPARE(completed.size(), 0);
    QCOMPARE(platform->posted.size(), std::size_t(1));
    QCOMPARE(platform->posted.front().first, std::int32_t(w.objDOS->lastProcessId()));
    QTRY_VERIFY_WITH_TIMEOUT(quorlix::test::noChildLeft(), 10000);
}

void TestMainWindow::realTitlesOnX11()
{
    // Offscreen, Qt never composes a title with the application's name:
    // only a real X server shows what a user sees.
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs Xvfb and xdotool (tools/setup)");
    // Started from a folder without bin/, so "Execute" finds no downloader
    // and the runner says so in a box.
    QTemporaryDir scratch;
    std::optional<quorlix::test::PrivateDisplay> xvfb;
    QString display;
    QProcess program;
    const auto stop = qScopeGuard([&] {
        program.kill();
        program.waitForFinished();
    });
    // While the whole suite runs, the private server has been seen to turn
    // a client away at once ("could not connect to display") after it took
    // another; the program then gets one more server of its own.
    for (int attempt = 0; attempt < 2; ++attempt) {
        xvfb.reset();
        xvfb.emplace(QStringLiteral("640x420x24"));
        display = xvfb->name();
        QVERIFY2(!display.isEmpty(), "Xvfb did not start");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("HOME"), scratch.path());
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(scratch.path());
        program.start(qEnvironmentVariable("QUORLIX_BUILD_DIR") + QStringLiteral("/app/quorlix"));
        if (!program.waitForFinished(2000)
            || !program.readAllStandardError().contains("could not connect to display"))
            break;
        qWarning("the program could not connect to the private display %s; once more", qPrintable(display));
    }
    const auto shows = [&](QStringList names) {
        names.sort();
        return QTest::qWaitFor([&] {
            QStringList shown = windowNames(display);
            shown.sort();
            return shown == names;
        }, 20000);
    };
    // When no window comes, say what the program did: still running, or
    // ended and with what it wrote.
    QVERIFY2(shows({"Quorlix"}),
             qPrintable(QStringLiteral("windows: [%1]; the program %2; it wrote: %3")
                            .arg(windowNames(display).join('|'),
                                 program.state() == QProcess::NotRunning
                                     ? QStringLiteral("ended with %1").arg(program.exitCode())
                                     : QStringLiteral("is running"),
                                 QString::fromLocal8Bit(program.readAllStandardError().right(2000)))));
    const QString window = xdotool(display, QStringLiteral("search|--onlyvisible|--name|Quorlix")).value(0);
    const auto click = [&](const QRect &button) {
        xdotool(display, QStringLiteral("mousemove|--window|%1|%2|%3|click|1")
                             .arg(window).arg(button.center().x()).arg(button.center().y()));
    };
    // "Output DIR"; the chooser has no owner, so with it moved aside the
    // window still takes a click on "Execute".
    click(twips(6000, 720, 1215, 255));
    QVERIFY2(shows({"Quorlix", " Select Output DIR"}), qPrintable(windowNames(display).join('|')));
    xdotool(display, QStringLiteral("search|--onlyvisible|--name|Select Output DIR|windowmove|%@|0|330"));
    click(twips(3240, 4080, 1875, 375));
    QVERIFY2(shows({"Quorlix", " Select Output DIR", "quorlix"}), qPrintable(windowNames(display).join('|')));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
