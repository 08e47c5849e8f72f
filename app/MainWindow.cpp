#include "app/MainWindow.h"

#include "app/PaneLog.h"

#include "app/PreparedCompile.h"
#include "pipeline/PageOutlines.h"
#include "process/PosixProcess.h"
#include "runtime/Runtime.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include <csignal>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <limits>

namespace quorlix {

namespace {

// cmdExecute's two captions, which are also the run state.
const QString kExecute = QStringLiteral("Execute");
const QString kCancel = QStringLiteral("Cancel");

// The window's layout is given in twips; 15 of them make a pixel at 96 dpi.
constexpr int px(int twips) { return twips / 15; }

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

QFont paneFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) {
        // Not even a metric twin is installed: any monospace font will do.
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(8.25);
    }
    // A log needs no kerning or ligatures: each chunk that reaches the pane
    // lays its last lines out again, and shaping them took most of that.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

bool isEnterKey(QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isEscapeKey(QEvent *event)
{
    return event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
           && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("main1"));
    setWindowTitle(QStringLiteral("Quorlix"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorlix-32.xpm")));
    setFixedSize(px(7395), px(4590));
#ifdef __GLIBC__
    // The page reader's thread would get a heap of its own from the C
    // library; the pages it reads stay until the contents and index are
    // written, and the free room between them could then serve nothing the
    // window does. One heap for the whole program: on a site of 50,000
    // files the peak is about 20 MB lower, and no slower.
    mallopt(M_ARENA_MAX, 1);
#endif
    mOutlines = std::make_unique<pipeline::PageOutlines>();
    mPrepared = std::make_unique<PreparedCompile>();
    mPanePaint.setSingleShot(true);
    mPanePaint.setInterval(100);
    connect(&mPanePaint, &QTimer::timeout, this, [this] {
        mPaneLog->flush();
        txtOutputs->setUpdatesEnabled(true);
    });
    createControls();
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    Label1 = new QLabel(QStringLiteral("URL:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    place(Label1, 240, 120, 360, 180);
    Label1->adjustSize(); // sized to its caption

    txtCommand = new QLineEdit(this);
    txtCommand->setObjectName(QStringLiteral("txtCommand"));
    place(txtCommand, 120, 360, 7095, 285);
    // The address is used as typed, however long: no silent cut at Qt's
    // default of 32767 characters.
    txtCommand->setMaxLength(std::numeric_limits<int>::max());

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    place(Label2, 120, 720, 5775, 255);

    Dir = new QPushButton(QStringLiteral("Output DIR"), this);
    Dir->setObjectName(QStringLiteral("Dir"));
    place(Dir, 6000, 720, 1215, 255);

    txtOutputs = new QPlainTextEdit(this);
    txtOutputs->setObjectName(QStringLiteral("txtOutputs"));
    place(txtOutputs, 120, 1080, 7095, 2775);
    txtOutputs->setFont(paneFont());
    txtOutputs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtOutputs->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtOutputs->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Breaking anywhere, not only between words: appending to the last line
    // then never makes a line narrower, which would send the pane's layout
    // looking through every line of the log for the widest one, for every
    // chunk (quadratic in the log's length).
    txtOutputs->setWordWrapMode(QTextOption::WrapAnywhere);
    txtOutputs->setTabChangesFocus(true);
    // A long log is appended to in thousands of pieces: keeping each one
    // for undo would cost more memory than the log itself.
    txtOutputs->setUndoRedoEnabled(false);
    QPalette palette = txtOutputs->palette();
    palette.setColor(QPalette::Text, Qt::black);
    txtOutputs->setPalette(palette);
    mPaneLog = std::make_unique<PaneLog>(txtOutputs->document());

    cmdExecute = new QPushButton(kExecute, this);
    cmdExecute->setObjectName(QStringLiteral("cmdExecute"));
    place(cmdExecute, 3240, 4080, 1875, 375);

    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    place(cmdExit, 5280, 4080, 1875, 375);

    // Enter on a focused button presses that button; anywhere else it
    // presses the default button, "Execute".
    for (QPushButton *button : {Dir, cmdExecute, cmdExit})
        button->setAutoDefault(true);
    cmdExecute->setDefault(true);
    txtCommand->installEventFilter(this);
    txtOutputs->installEventFilter(this);

    setTabOrder(txtCommand, cmdExecute);
    setTabOrder(cmdExecute, txtOutputs);
    setTabOrder(txtOutputs, cmdExit);
    setTabOrder(cmdExit, Dir);
    txtCommand->setFocus();

    connect(txtOutputs, &QPlainTextEdit::textChanged, this, &MainWindow::txtOutputs_Change);
    connect(cmdExecute, &QPushButton::clicked, this, &MainWindow::cmdExecute_Click);
    connect(cmdExit, &QPushButton::clicked, this, &MainWindow::cmdExit_Click);
    connect(Dir, &QPushButton::clicked, this, &MainWindow::Dir_Click);
}

void MainWindow::Form_Load()
{
    objDOS = process::DOSOutputs::create();
    // The pane holds the download's log; a second copy in the runner would
    // cost as much again on a large site.
    objDOS->setKeepsOutputs(false);
    connect(objDOS.get(), &process::DOSOutputs::ReceiveOutputs, this, &MainWindow::objDOS_ReceiveOutputs);
    connect(objDOS.get(), &process::DOSOutputs::Complete, this, &MainWindow::objDOS_Complete);

    Label2->setText(runtime::Environ(QStringLiteral("HOME")) + QStringLiteral("/quorlix"));
}

QString MainWindow::outputsText() const { return mPaneLog->text(); }

void MainWindow::appendOutput(const QString &chunk)
{
    // The pane's text becomes its old text followed by the chunk. Appending
    // at the end gives the same text and the same change event as writing
    // the whole text back, without copying the whole log for every chunk.
    if (chunk.isEmpty())
        return;
    // The runner lets events run after every 256-byte chunk: painting the
    // pane each time would cost the download more than the log is worth.
    if (!mPanePaint.isActive() && isVisible()) {
        txtOutputs->setUpdatesEnabled(false);
        mPanePaint.start();
    }
    mPaneLog->append(chunk);
}

void MainWindow::objDOS_ReceiveOutputs(QString &CommandOutputs)
{
    appendOutput(CommandOutputs);
    // A downloader that keeps the list of files it is done with made it
    // before its first line: pages are then read once, when listed.
    if (!mAwaitingFinalFiles && mPrepared->listKept()) {
        mAwaitingFinalFiles = true;
        mOutlines->awaitFinalFiles();
    }
    // Each saved file goes to the page reader as soon as its line is whole.
    for (const QString &path : mSavedFiles.add(CommandOutputs))
        mOutlines->add(path);
    // The list grows by a few files a chunk; looking at it for each 256
    // bytes of log cost the window more than reading it.
    if (!mFinalFilesTaken.isValid() || mFinalFilesTaken.elapsed() >= kFinalFilesEveryMs) {
        mFinalFilesTaken.start();
        takeFinalFiles();
    }
}

void MainWindow::takeFinalFiles()
{
    if (mAwaitingFinalFiles)
        for (const QString &path : mPrepared->finalFiles())
            mOutlines->addFinal(path);
}

void MainWindow::hccDOS_ReceiveOutputs(QString &CommandOutputs) { appendOutput(CommandOutputs); }

void MainWindow::txtOutputs_Change()
{
    // A chunk appended at the end takes the caret along: setting it again
    // would only lay the last block out once more.
    QTextCursor caret = txtOutputs->textCursor();
    if (caret.hasSelection() || !caret.atEnd()) {
        caret.movePosition(QTextCursor::End);
        txtOutputs->setTextCursor(caret);
    }
    txtOutputs->ensureCursorVisible();
}

QString MainWindow::outputFolder() const
{
    return conversionRunning() ? mConversionFolder : Label2->text();
}

bool MainWindow::idle() const { return cmdExecute->text() == kExecute; }

void MainWindow::setIdle(bool idle) { cmdExecute->setText(idle ? kExecute : kCancel); }

void MainWindow::appendStatusLine(const QString &line)
{
    appendOutput((mPaneLog->lastLineOpen() ? QStringLiteral("\n") : QString()) + line + QLatin1Char('\n'));
}

void MainWindow::askToClose(const std::shared_ptr<process::DOSOutputs> &runner)
{
    // Until the runner's loop has ended the child is not reaped, so its ID
    // (the leader of its own process group) still names it.
    if (runner && runner->isRunning() && runner->lastProcessId() > 0)
        posix::signalGroup(static_cast<pid_t>(runner->lastProcessId()), SIGTERM);
}

void MainWindow::cmdExit_Click()
{
    // The program ends at once and no runner will read on; a downloader
    // left alone could go on for hours against a site that never answers.
    askToClose(objDOS);
    askToClose(hccDOS);
    objDOS.reset();
    // No destructor runs after End(): the page reader stops and the
    // conversion's private folder goes now.
    mOutlines->cancel();
    mPrepared->drop();
    runtime::End();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing through the frame while a command runs: its process group is
    // asked to close, so that nothing is left running. The download is
    // cancelled outright; the compiler is left to end by itself, which it
    // does at once, clearing away its temporary files (a forced end right
    // behind the request would not give it the time).
    mClosing = true;
    askToClose(objDOS);
    askToClose(hccDOS);
    mPagesCancelled = mReadingPages;
    mOutlines->cancel();
    if (objDOS && objDOS->isRunning())
        objDOS->Cancel();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape cancels a conversion under way, as users expect of a busy
    // window; when idle it does nothing.
    if (isEscapeKey(event)) {
        if (!idle())
            cmdExecute->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == txtCommand || watched == txtOutputs) && isEnterKey(event)) {
        cmdExecute->click();
        return true;
    }
    if ((watched == txtCommand || watched == txtOutputs) && isEscapeKey(event)) {
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorlix
