#include "support/scripted_toolkit.h"

#include <QApplication>

#include "forms.h"

namespace tk::testing {

namespace {

class FakeProcess : public Process {
public:
    explicit FakeProcess(std::shared_ptr<FakeProcessState> s) : s_(std::move(s)) {}
    bool finished() override { return s_->finished; }
    int exitCode() override { return s_->finished && !s_->crashed ? s_->exitCode : -1; }
    bool crashed() override { return s_->finished && s_->crashed; }
    bool waitForFinished(int) override { return s_->finished; }
    QByteArray readStandardError() override {
        QByteArray b;
        b.swap(s_->stderrText);
        return b;
    }
    void kill() override {
        if (s_->finished) return;
        s_->killed = s_->finished = s_->crashed = true;
    }

private:
    std::shared_ptr<FakeProcessState> s_;
};

Answer escapeAnswer(Buttons b) {
    switch (b) {
    case Buttons::OK: return Answer::OK;
    case Buttons::YesNo: return Answer::No;
    case Buttons::AbortRetryIgnore: return Answer::Abort;
    default: return Answer::Cancel;
    }
}

}  // namespace

void ensureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "frontend_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

ScriptedToolkit::ScriptedToolkit() {
    ensureApplication();
    forms::unloadAll();
    setToolkit(this);
}

ScriptedToolkit::~ScriptedToolkit() {
    forms::unloadAll();
    if (&toolkit() == this) setToolkit(nullptr);
}

QStringList ScriptedToolkit::titles() const {
    QStringList out;
    for (const Shown& s : shown) out << s.title;
    return out;
}

QStringList ScriptedToolkit::texts() const {
    QStringList out;
    for (const Shown& s : shown) out << s.text;
    return out;
}

Answer ScriptedToolkit::message(const QString& text, Buttons buttons, Icon icon, const QString& title) {
    Shown s{title, text, icon, buttons, Answer::OK};
    if (buttons != Buttons::OK) {
        if (answers.empty()) {
            ++unanswered;
            s.answer = escapeAnswer(buttons);
        } else {
            s.answer = answers.front();
            answers.pop_front();
        }
    }
    shown.push_back(s);
    if (onMessage) onMessage(s);
    return s.answer;
}

FileChoice ScriptedToolkit::dialog(const FileRequest& request, bool save) {
    FileChoice c;
    if (!files.empty()) {
        c = files.front();
        files.pop_front();
    }
    dialogs.push_back({save, request, c});
    return c;
}

FileChoice ScriptedToolkit::openFile(const FileRequest& request) { return dialog(request, false); }

FileChoice ScriptedToolkit::saveFile(const FileRequest& request) { return dialog(request, true); }

std::unique_ptr<Process> ScriptedToolkit::start(const ProcessSpec& spec) {
    auto st = std::make_shared<FakeProcessState>();
    st->spec = spec;
    processes.push_back(st);
    if (failStart) return nullptr;
    if (realProcesses) return real_.start(spec);
    return std::make_unique<FakeProcess>(st);
}

FileError ScriptedToolkit::takeFailure(std::map<QString, std::deque<FileError>>& m, const QString& path) {
    auto it = m.find(path);
    if (it == m.end() || it->second.empty()) return FileError::None;
    FileError e = it->second.front();
    it->second.pop_front();
    return e;
}

bool ScriptedToolkit::fileExists(const QString& path) { return real_.fileExists(path); }
FileError ScriptedToolkit::deleteFile(const QString& path) {
    if (FileError e = takeFailure(deleteFailures, path); e != FileError::None) return e;
    return real_.deleteFile(path);
}
FileError ScriptedToolkit::renameFile(const QString& from, const QString& to) { return real_.renameFile(from, to); }
FileError ScriptedToolkit::makeExecutable(const QString& path) { return real_.makeExecutable(path); }

FileError ScriptedToolkit::writeTextFile(const QString& path, const QStringList& lines) {
    writes.push_back(lines);
    if (FileError e = takeFailure(writeFailures, path); e != FileError::None) return e;
    return real_.writeTextFile(path, lines);
}

FileError ScriptedToolkit::writeFile(const QString& path, const QByteArray& bytes) {
    if (FileError e = takeFailure(writeFailures, path); e != FileError::None) return e;
    return real_.writeFile(path, bytes);
}

FileError ScriptedToolkit::readFirstLine(const QString& path, QString& line) {
    if (FileError e = takeFailure(readFailures, path); e != FileError::None) return e;
    return real_.readFirstLine(path, line);
}

FileError ScriptedToolkit::readTextFile(const QString& path, QString& text) {
    if (FileError e = takeFailure(readFailures, path); e != FileError::None) return e;
    return real_.readTextFile(path, text);
}

}  // namespace tk::testing
