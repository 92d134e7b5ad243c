// A toolkit for headless tests: message boxes and file dialogs answer from
// queues and are logged, processes are fakes the test finishes by hand (or,
// on request, real ones), the clock and the program's folder are fixed.
// Files are real: tests work in a scratch folder.
#pragma once

#include "toolkit/qt_toolkit.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tk::testing {

// One message box as it was shown.
struct Shown {
    QString title;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::OK;
    Answer answer = Answer::OK;
};

// One file dialog as it was shown.
struct Dialog {
    bool save = false;
    FileRequest request;
    FileChoice answer;
};

// The state of a fake process, shared between the handle given to the window
// and the test.
struct FakeProcessState {
    ProcessSpec spec;
    bool finished = false;
    int exitCode = 0;
    bool crashed = false;
    // Standard error not yet read by the window; the test appends to it.
    QByteArray stderrText;
    // Set by kill(): the process then counts as finished and crashed.
    bool killed = false;
};

// Creates the QApplication the windows need, once per test program.
void ensureApplication();

class ScriptedToolkit : public Toolkit {
public:
    // Makes sure a QApplication exists, unloads every window so the test
    // starts from fresh ones, and installs itself as the toolkit.  The
    // destructor unloads the windows again and restores the default.
    ScriptedToolkit();
    ~ScriptedToolkit() override;

    // ---- scripting -------------------------------------------------------
    // Answers for message boxes with more than one button, in order.  A box
    // with only "OK" answers OK without taking from the queue.  A question
    // asked with the queue empty is counted in `unanswered` and gets the
    // box's escape answer (Cancel, No or Abort).
    std::deque<Answer> answers;
    // Answers for file dialogs (open and save alike), in order; an empty
    // queue cancels.
    std::deque<FileChoice> files;
    void choose(const QString& path, int filterIndex = 1) { files.push_back({path, filterIndex}); }
    void cancelDialog() { files.push_back({}); }

    // When set, start() refuses to start anything.
    bool failStart = false;
    // When set, start() runs real processes through the Qt toolkit.
    bool realProcesses = false;
    // Fails the next writes of these paths with the given error, once each.
    std::map<QString, std::deque<FileError>> writeFailures;
    // Fails deletions of these paths with the given error, once each.
    std::map<QString, std::deque<FileError>> deleteFailures;
    // Fails reads of these paths with the given error, once each.
    std::map<QString, std::deque<FileError>> readFailures;

    // Called after each message box is logged, before it returns: lets a
    // test change the world while a box is "open" (create a file, ...).
    std::function<void(const Shown&)> onMessage;

    QString folder = "/opt/tzm";  // programFolder()
    // The user's settings (setting/setSetting), fresh for every test.
    std::map<QString, QString> settings;
    QString clock = "10:00:00";   // timeOfDay()

    // ---- what happened ---------------------------------------------------
    std::vector<Shown> shown;
    std::vector<Dialog> dialogs;
    std::vector<std::shared_ptr<FakeProcessState>> processes;
    std::vector<QStringList> writes;  // lines of every writeTextFile
    int unanswered = 0;
    bool busy = false;
    QString cwd;

    // Titles, or "title: text" pairs, of every message shown, in order.
    QStringList titles() const;
    QStringList texts() const;
    void clearLog() { shown.clear(); dialogs.clear(); }

    // ---- Toolkit ---------------------------------------------------------
    Answer message(const QString& text, Buttons buttons, Icon icon, const QString& title) override;
    FileChoice openFile(const FileRequest& request) override;
    FileChoice saveFile(const FileRequest& request) override;
    std::unique_ptr<Process> start(const ProcessSpec& spec) override;
    bool fileExists(const QString& path) override;
    FileError deleteFile(const QString& path) override;
    FileError renameFile(const QString& from, const QString& to) override;
    FileError makeExecutable(const QString& path) override;
    FileError writeTextFile(const QString& path, const QStringList& lines) override;
    FileError writeFile(const QString& path, const QByteArray& bytes) override;
    FileError readFirstLine(const QString& path, QString& line) override;
    FileError readTextFile(const QString& path, QString& text) override;
    QString programFolder() override { return folder; }
    QString currentDirectory() override { return cwd; }
    bool setCurrentDirectory(const QString& path) override { cwd = path; return true; }
    QString timeOfDay() override { return clock; }
    void setBusy(bool b) override { busy = b; }
    QString setting(const QString& key) override {
        auto it = settings.find(key);
        return it == settings.end() ? QString() : it->second;
    }
    void setSetting(const QString& key, const QString& value) override { settings[key] = value; }

private:
    FileChoice dialog(const FileRequest& request, bool save);
    FileError takeFailure(std::map<QString, std::deque<FileError>>& m, const QString& path);
    QtToolkit real_;
};

}  // namespace tk::testing
