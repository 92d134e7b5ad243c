// Platform operations of the front end behind one interface.
//
// Every window reaches message boxes, file dialogs, processes, file tests,
// the clock and file writing through tk::toolkit(), never through Qt
// directly.  The program installs the Qt implementation (QtToolkit); the
// headless tests install a scripted double that answers from queues and logs
// every message it was asked to show.
//
// This header is shared by every window: extend it only by adding.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace tk {

// ---- Message boxes ---------------------------------------------------------

enum class Icon { None, Critical, Question, Exclamation, Information };

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };

enum class Answer { OK, Cancel, Yes, No, Retry, Abort, Ignore };

// ---- File dialogs ----------------------------------------------------------

// What a file dialog is asked to show.  `filter` is the front end's own form,
// pairs of description and pattern separated by vertical bars, for example
// "Data File (*.dat)|*.dat|All Files (*.*)|*.*"; an implementation converts it
// into whatever its dialogs expect.  `fileName` presets the name box,
// `folder` is the initial folder (empty: the implementation's default).
struct FileRequest {
    QString title;
    QString filter;
    QString folder;
    QString fileName;
};

// The outcome of a file dialog.  An empty path means the user cancelled.
// `filterIndex` is the 1-based position of the filter pair that was selected
// when the dialog closed (0 when cancelled).
struct FileChoice {
    QString path;
    int filterIndex = 0;
    bool chosen() const { return !path.isEmpty(); }
};

// ---- Files -----------------------------------------------------------------

// Why a file operation failed.  NotFound, InUse and Access correspond to the
// three failures the windows report with their own messages; everything else
// is Other.
enum class FileError { None, NotFound, InUse, Access, Other };

// ---- Processes -------------------------------------------------------------

// A program started without a shell.  `stdinFile` and `stdoutFile` name files
// connected to the standard input and output (empty: no redirection; the
// standard input then reads nothing).  Standard error goes to the front
// end's own standard error, or, with `captureStderr`, to the handle
// (Process::readStandardError).
struct ProcessSpec {
    QString program;
    QStringList arguments;
    QString workingDirectory;
    QString stdinFile;
    QString stdoutFile;
    bool captureStderr = false;
};

// A started process.  Dropping the handle does not stop the process.
class Process {
public:
    virtual ~Process() = default;
    // True once the process has ended (normally or not).  Reflects events
    // delivered by the event loop, so poll it from a timer.
    virtual bool finished() = 0;
    // The exit status once finished; -1 before, or after a crash.
    virtual int exitCode() = 0;
    // True when the process ended abnormally (killed by a signal).
    virtual bool crashed() = 0;
    // Blocks until the process ends or `msecs` elapse (-1: no limit); true
    // when it has ended.  Meant for tests and program shutdown.
    virtual bool waitForFinished(int msecs) = 0;
    // What the process wrote on standard error since the last call (only
    // when started with captureStderr; everything once it has ended).
    virtual QByteArray readStandardError() { return {}; }
    // Ends the process at once (it cannot catch this).
    virtual void kill() {}
};

// ---- The interface ---------------------------------------------------------

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // A modal message box; returns the button pressed.  Closing a box
    // without pressing a button answers Cancel for OKCancel/RetryCancel/
    // YesNoCancel, No for YesNo and OK for OK.
    virtual Answer message(const QString& text, Buttons buttons, Icon icon,
                           const QString& title) = 0;

    // Modal open-file and save-file dialogs.
    virtual FileChoice openFile(const FileRequest& request) = 0;
    virtual FileChoice saveFile(const FileRequest& request) = 0;

    // Starts a program without waiting for it.  Returns null when it could
    // not be started (program missing or not executable, unreadable input
    // file, output file not creatable).
    virtual std::unique_ptr<Process> start(const ProcessSpec& spec) = 0;

    // File tests and operations on single files.
    virtual bool fileExists(const QString& path) = 0;
    virtual FileError deleteFile(const QString& path) = 0;
    // Renames `from` to `to`, replacing `to` when it exists.
    virtual FileError renameFile(const QString& from, const QString& to) = 0;
    // Marks a file executable by its owner (for scripts the front end writes).
    virtual FileError makeExecutable(const QString& path) = 0;

    // Writes `lines`, each ended by carriage return and line feed, to
    // `path`.  The text is written completely to a temporary file in the same
    // folder and then renamed over `path`, so a failure never leaves a
    // half-written file or destroys the file that was there before.
    virtual FileError writeTextFile(const QString& path, const QStringList& lines) = 0;
    // The same with the bytes given (line ends are the caller's business).
    virtual FileError writeFile(const QString& path, const QByteArray& bytes) = 0;

    // Reads the first line of a data file as the engine does: up to the
    // first line feed, without it and without one carriage return before
    // it, cut to 4096 bytes.  No more of the file than that is read, and
    // anything but a regular file (a device, a pipe) is refused as Other.
    virtual FileError readFirstLine(const QString& path, QString& line) = 0;
    // Reads a whole text file.
    virtual FileError readTextFile(const QString& path, QString& text) = 0;

    // The folder holding the front end's program file, without a trailing
    // separator.
    virtual QString programFolder() = 0;
    virtual QString currentDirectory() = 0;
    virtual bool setCurrentDirectory(const QString& path) = 0;

    // The time of day as text ("hh:mm:ss").
    virtual QString timeOfDay() = 0;

    // Shows or ends the busy (hourglass) mouse pointer.
    virtual void setBusy(bool busy) = 0;

    // The size of a file in bytes; -1 when there is no such file.
    virtual qint64 fileSize(const QString& path);

    // The user's settings, kept between sessions (the last folder used, the
    // recent control files).  An absent key reads as "".
    virtual QString setting(const QString& key);
    virtual void setSetting(const QString& key, const QString& value);
};

// The toolkit the windows use.  The program installs a QtToolkit at start;
// tests install their double.  setToolkit does not take ownership; passing
// null restores a default QtToolkit.
Toolkit& toolkit();
void setToolkit(Toolkit* t);

// The path separator used when the front end composes paths.
inline QChar separator() { return QChar('/'); }

}  // namespace tk
