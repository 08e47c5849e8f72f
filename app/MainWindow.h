#pragma once

#include "pipeline/SavedFileFeed.h"
#include "process/DOSOutputs.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorlix {

class PreparedCompile;

namespace pipeline {
class PageOutlines;
}
class PaneLog;

// The program's one window: the site's address, the output folder, the
// output pane that shows the programs' logs, and the buttons. It owns the two
// command runners and receives their events; everything happens in its
// handlers.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // MainWindow.cpp: the controls, the output pane, the keys, closing.
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Controls, by the names the rest of the program knows them by.
    QLabel *Label1 = nullptr;
    QLineEdit *txtCommand = nullptr;   // the site's address
    QLabel *Label2 = nullptr;          // its caption is the output folder
    QPushButton *Dir = nullptr;
    QPlainTextEdit *txtOutputs = nullptr; // the output pane: the conversion log
    QPushButton *cmdExecute = nullptr; // "Execute" while idle, "Cancel" while busy
    QPushButton *cmdExit = nullptr;

    // The downloader's runner, for the window's whole life; the compiler's,
    // new for every conversion.
    std::shared_ptr<process::DOSOutputs> objDOS;
    std::shared_ptr<process::DOSOutputs> hccDOS;

    // The pane's text as the log: line ends as "\n".
    QString outputsText() const;

    // Handlers.
    void Form_Load();
    void objDOS_ReceiveOutputs(QString &CommandOutputs);
    void hccDOS_ReceiveOutputs(QString &CommandOutputs);
    void txtOutputs_Change();
    void cmdExit_Click();

    // The folder a conversion writes to: the one shown when it started, for
    // as long as it runs (a change applies to the next one); else the one
    // shown now.
    QString outputFolder() const;

    // Whether a conversion is still on the stack (it may be finishing its
    // compile after a cancel).
    bool conversionRunning() const { return mConversionDepth > 0; }

    // MainWindow_FolderChooser.cpp: "Output DIR" picks the output folder.
    void Dir_Click();

    // MainWindow_Download.cpp: "Execute" starts the download, "Cancel" stops it.
    void cmdExecute_Click();

    // MainWindow_HelpProject.cpp: the saved files become the help project.
    void objDOS_Complete();

    // MainWindow_CompileAndOpen.cpp: the compile, its check and the viewer.
    void hccDOS_Complete();

protected:
    // MainWindow.cpp
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // MainWindow.cpp
    void createControls();
    void appendOutput(const QString &chunk);
    // Adds a line of the window's own to the pane, on a line of its own.
    void appendStatusLine(const QString &line);
    // Asks the running command's process group to close, without waiting.
    void askToClose(const std::shared_ptr<process::DOSOutputs> &runner);
    // The run state is cmdExecute's caption and nothing else: "Execute"
    // (exactly) while idle, "Cancel" while a conversion runs.
    bool idle() const;
    void setIdle(bool idle);

    // MainWindow_CompileAndOpen.cpp
    void startCompile(const QString &projectPath);
    // After a compile: the help file read back, its summary line, and a box
    // when files are missing from it.
    void checkCompiledFile(const QString &compiled);
    void endConversion();

    int mConversionDepth = 0;
    bool mClosing = false; // the window was closed: nothing more is shown or opened
    // While output streams in, the pane is painted a few times a second
    // rather than after every chunk.
    QTimer mPanePaint;
    QString mConversionFolder;
    // The line the pane starts with while downloading; not part of the log.
    QString mDownloadStartLine;
    // The compiled file as it was before the compile (empty: there was none),
    // to tell a new help file from an old one left in place.
    QString mCompiledStamp;

    // Saved pages are read on a worker thread while the download runs.
    // The compile prepared from the files the downloader is done with;
    // before the page reader, whose thread feeds it, so it outlives it.
    std::unique_ptr<PreparedCompile> mPrepared;
    std::unique_ptr<pipeline::PageOutlines> mOutlines;
    pipeline::SavedFileFeed mSavedFiles;
    bool mAwaitingFinalFiles = false;
    // When the downloader's list was last looked at; the download's end
    // takes the rest.
    QElapsedTimer mFinalFilesTaken;
    static constexpr int kFinalFilesEveryMs = 20;
    void takeFinalFiles();
    // Waiting for the last pages to be read (the window's events run meanwhile),
    // and whether a cancel or close ended that wait.
    bool mReadingPages = false;
    bool mPagesCancelled = false;
    // What the summary after the compile tells.
    QStringList mListedFiles;
    qsizetype mTopics = 0;
    qsizetype mKeywords = 0;
    QElapsedTimer mConversionClock;
    // The log as the pane's document holds it.
    std::unique_ptr<PaneLog> mPaneLog;
};

} // namespace quorlix
