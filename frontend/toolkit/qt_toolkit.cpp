#include "toolkit/qt_toolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSaveFile>
#include <QSettings>
#include <QTime>

#include <cerrno>
#include <cstdio>

namespace tk {

namespace {

Toolkit* installed = nullptr;

QtToolkit& defaultToolkit() {
    static QtToolkit qt;
    return qt;
}

// Classifies a failed open of `path` by the system error left behind.
FileError classify(const QString& path, int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return FileError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileError::Access;
    case ETXTBSY:
    case EBUSY:
        return FileError::InUse;
    default:
        break;
    }
    return QFileInfo::exists(path) ? FileError::Other : FileError::NotFound;
}

class QtProcess : public Process {
public:
    explicit QtProcess(QProcess* p) : p_(p) {}
    ~QtProcess() override {
        // A running engine outlives the window that started it: the QProcess
        // is left alive (its destructor would kill the child).
        if (p_->state() != QProcess::NotRunning) return;
        delete p_;
    }
    bool finished() override {
        if (p_->state() == QProcess::NotRunning) return true;
        p_->waitForFinished(0);
        return p_->state() == QProcess::NotRunning;
    }
    int exitCode() override {
        if (!finished() || p_->exitStatus() != QProcess::NormalExit) return -1;
        return p_->exitCode();
    }
    bool crashed() override { return finished() && p_->exitStatus() != QProcess::NormalExit; }
    bool waitForFinished(int msecs) override {
        if (p_->state() == QProcess::NotRunning) return true;
        p_->waitForFinished(msecs);
        return p_->state() == QProcess::NotRunning;
    }
    QByteArray readStandardError() override {
        // Takes in what the pipe holds now, without waiting.
        if (p_->state() != QProcess::NotRunning) p_->waitForReadyRead(0);
        return p_->readAllStandardError();
    }
    void kill() override {
        if (p_->state() != QProcess::NotRunning) p_->kill();
    }

private:
    QProcess* p_;
};

}  // namespace

qint64 Toolkit::fileSize(const QString& path) {
    QFileInfo fi(path);
    return fi.exists() && !fi.isDir() ? fi.size() : -1;
}

QString Toolkit::setting(const QString& key) { return QSettings().value(key).toString(); }

void Toolkit::setSetting(const QString& key, const QString& value) { QSettings().setValue(key, value); }

Toolkit& toolkit() { return installed ? *installed : defaultToolkit(); }

void setToolkit(Toolkit* t) { installed = t; }

QStringList qtNameFilters(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (QString p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p == "*.*") p = "*";
            if (!p.isEmpty()) patterns << p;
        }
        if (patterns.isEmpty()) patterns << "*";
        out << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    if (out.isEmpty()) out << "All Files (*)";
    return out;
}

Answer QtToolkit::message(const QString& text, Buttons buttons, Icon icon, const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    }
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
    switch (buttons) {
    case Buttons::OK: set = QMessageBox::Ok; escape = QMessageBox::Ok; break;
    case Buttons::OKCancel: set = QMessageBox::Ok | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
    case Buttons::YesNo: set = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
    case Buttons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case Buttons::RetryCancel: set = QMessageBox::Retry | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
    case Buttons::AbortRetryIgnore:
        set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        escape = QMessageBox::Abort;
        break;
    }
    box.setStandardButtons(set);
    box.setEscapeButton(escape);
    const int r = box.exec();
    switch (r) {
    case QMessageBox::Ok: return Answer::OK;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Ignore: return Answer::Ignore;
    default: break;
    }
    switch (buttons) {
    case Buttons::OK: return Answer::OK;
    case Buttons::YesNo: return Answer::No;
    case Buttons::AbortRetryIgnore: return Answer::Abort;
    default: return Answer::Cancel;
    }
}

FileChoice QtToolkit::fileDialog(const FileRequest& request, bool save) {
    QFileDialog dialog(QApplication::activeWindow(), request.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (!request.folder.isEmpty() && QFileInfo(request.folder).isDir())
        dialog.setDirectory(request.folder);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (save) {
        // A name typed without an extension gets the one of the selected
        // filter entry (none for "every file").
        auto suffix = [](const QString& nameFilter) {
            const int open = nameFilter.lastIndexOf('(');
            const QString first = nameFilter.mid(open + 1).section(' ', 0, 0).remove(')');
            return first.startsWith("*.") && first.indexOf('*', 1) < 0 ? first.mid(2) : QString();
        };
        dialog.setDefaultSuffix(suffix(filters.first()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, suffix](const QString& f) { dialog.setDefaultSuffix(suffix(f)); });
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return {};
    FileChoice c;
    c.path = QDir::toNativeSeparators(files.first());
    c.filterIndex = filters.indexOf(dialog.selectedNameFilter()) + 1;
    if (c.filterIndex <= 0) c.filterIndex = 1;
    return c;
}

FileChoice QtToolkit::openFile(const FileRequest& request) { return fileDialog(request, false); }

FileChoice QtToolkit::saveFile(const FileRequest& request) { return fileDialog(request, true); }

std::unique_ptr<Process> QtToolkit::start(const ProcessSpec& spec) {
    auto* p = new QProcess();
    p->setProgram(spec.program);
    p->setArguments(spec.arguments);
    if (!spec.workingDirectory.isEmpty()) p->setWorkingDirectory(spec.workingDirectory);
    p->setStandardInputFile(spec.stdinFile.isEmpty() ? QProcess::nullDevice() : spec.stdinFile);
    if (!spec.stdoutFile.isEmpty()) p->setStandardOutputFile(spec.stdoutFile);
    p->setProcessChannelMode(spec.captureStderr ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    p->start();
    if (!p->waitForStarted(10000)) {
        delete p;
        return nullptr;
    }
    return std::make_unique<QtProcess>(p);
}

bool QtToolkit::fileExists(const QString& path) {
    if (path.isEmpty()) return false;
    QFileInfo fi(path);
    return fi.exists() && !fi.isDir();
}

FileError QtToolkit::deleteFile(const QString& path) {
    QFile f(path);
    if (!f.exists()) return FileError::NotFound;
    errno = 0;
    if (f.remove()) return FileError::None;
    return classify(path, errno == 0 ? EACCES : errno);
}

FileError QtToolkit::renameFile(const QString& from, const QString& to) {
    if (!QFile::exists(from)) return FileError::NotFound;
    const QByteArray a = QFile::encodeName(from), b = QFile::encodeName(to);
    // rename(2) replaces the target in one step, so `to` is never missing.
    if (std::rename(a.constData(), b.constData()) == 0) return FileError::None;
    return classify(to, errno);
}

FileError QtToolkit::makeExecutable(const QString& path) {
    QFile f(path);
    if (!f.exists()) return FileError::NotFound;
    if (!f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser))
        return FileError::Access;
    return FileError::None;
}

FileError QtToolkit::writeTextFile(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& l : lines) {
        bytes += l.toUtf8();
        bytes += "\r\n";
    }
    return writeFile(path, bytes);
}

FileError QtToolkit::writeFile(const QString& path, const QByteArray& bytes) {
    // QSaveFile writes a temporary file in the target's folder and renames
    // it over the target on commit; a failure leaves the old file alone.
    QSaveFile f(path);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly)) {
        const int e = errno;
        const QString folder = QFileInfo(path).absolutePath();
        if (!QFileInfo(folder).isDir()) return FileError::NotFound;
        return classify(path, e == 0 ? EACCES : e);
    }
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return FileError::Other;
    }
    errno = 0;
    if (!f.commit()) return errno == EACCES || errno == EPERM || errno == EROFS ? FileError::Access : FileError::Other;
    return FileError::None;
}

FileError QtToolkit::readFirstLine(const QString& path, QString& line) {
    const QFileInfo fi(path);
    if (fi.exists() && !fi.isDir() && !fi.isFile()) return FileError::Other;
    QFile f(path);
    errno = 0;
    if (!f.open(QIODevice::ReadOnly)) return classify(path, errno);
    // The engine keeps 4096 bytes of the line, after taking off the carriage
    // return before its line feed: 4097 bytes decide it.
    QByteArray bytes = f.read(4097);
    const qsizetype lf = bytes.indexOf('\n');
    if (lf >= 0) {
        bytes.truncate(lf);
        if (bytes.endsWith('\r')) bytes.chop(1);
    }
    bytes.truncate(4096);
    line = QString::fromUtf8(bytes);
    return FileError::None;
}

FileError QtToolkit::readTextFile(const QString& path, QString& text) {
    QFile f(path);
    errno = 0;
    if (!f.open(QIODevice::ReadOnly)) return classify(path, errno);
    text = QString::fromUtf8(f.readAll());
    return FileError::None;
}

QString QtToolkit::programFolder() {
    QString d = QCoreApplication::applicationDirPath();
    while (d.size() > 1 && d.endsWith('/')) d.chop(1);
    return d;
}

QString QtToolkit::currentDirectory() { return QDir::currentPath(); }

bool QtToolkit::setCurrentDirectory(const QString& path) { return QDir::setCurrent(path); }

QString QtToolkit::timeOfDay() { return QTime::currentTime().toString("hh:mm:ss"); }

void QtToolkit::setBusy(bool busy) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else {
        while (busyDepth_ > 0) {
            QGuiApplication::restoreOverrideCursor();
            --busyDepth_;
        }
    }
}

}  // namespace tk
