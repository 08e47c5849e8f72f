#pragma once

#include "process/TerminatorPlatform.h"

#include <QObject>
#include <QString>

#include <memory>

namespace quorlix::process {

// Runs one console command line as a hidden child and hands everything it
// writes (standard output and standard error together) to its listeners in
// chunks while it runs. The whole run happens inside ExecuteCommand on the
// calling thread; between reads the runner lets queued window events run, so
// the window stays usable and can call Cancel.
//
// Create instances with create(): a run keeps its own instance alive, so an
// owner may drop its reference while ExecuteCommand is on the stack.
class DOSOutputs : public QObject, public std::enable_shared_from_this<DOSOutputs> {
    Q_OBJECT
public:
    static std::shared_ptr<DOSOutputs> create();
    ~DOSOutputs() override;

    QString CommandLine() const { return mCommandLine; }
    void setCommandLine(const QString &DOSCommand) { mCommandLine = DOSCommand; }
    QString Outputs() const { return mOutputs; }

    // Runs the command (the argument, when not empty, replaces the stored
    // command line first). Returns all output of the run, or the empty
    // string when it could not start.
    QString ExecuteCommand(const QString &CommandLine = QString());
    // Whether a run keeps all its output for Outputs() and the result (the
    // default). A runner whose listeners keep the output themselves turns it
    // off, so that a long log is not held twice; Outputs() then stays empty.
    void setKeepsOutputs(bool keeps) { mKeepsOutputs = keeps; }
    // Asks the running command to stop; returns at once.
    void Cancel() { mCancelled = true; }

    bool isRunning() const { return mRunning; }
    // The process ID of the latest child that was started (0 before any).
    qint64 lastProcessId() const { return mLastProcessId; }

    // The terminator's platform used when a run is cancelled (tests record it).
    void setTerminatorPlatform(std::shared_ptr<TerminatorPlatform> platform);

    // Longest wait for output in one pass, in milliseconds.
    static constexpr int kPassWaitMs = 500;
    // Most bytes taken in one read.
    static constexpr int kReadSize = 256;
    // Most bytes taken from the pipe at once, then handed on a read at a time.
    static constexpr int kPieceSize = 64 * 1024;

signals:
    // The chunk is a temporary copy: a listener that changes it changes
    // nothing that the runner keeps.
    void ReceiveOutputs(QString &CommandOutputs);
    void Complete();

protected:
    DOSOutputs();

private:
    QString mCommandLine;
    QString mOutputs;
    bool mCancelled = false;
    bool mKeepsOutputs = true;
    bool mRunning = false;
    qint64 mLastProcessId = 0;
    std::shared_ptr<TerminatorPlatform> mTerminatorPlatform;
};

} // namespace quorlix::process
