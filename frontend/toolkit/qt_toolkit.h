// The toolkit on Qt Widgets: real dialogs, message boxes, processes and files.
#pragma once

#include "toolkit/toolkit.h"

#include <QString>
#include <QStringList>

namespace tk {

// Converts the front end's "description|pattern|description|pattern" filter
// into Qt's name filters, one per pair, in order.  Patterns separated by ";"
// become blank-separated, and "*.*" (every file) becomes "*", so that names
// without a dot are offered too.
QStringList qtNameFilters(const QString& filter);

class QtToolkit : public Toolkit {
public:
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
    QString programFolder() override;
    QString currentDirectory() override;
    bool setCurrentDirectory(const QString& path) override;
    QString timeOfDay() override;
    void setBusy(bool busy) override;

private:
    FileChoice fileDialog(const FileRequest& request, bool save);
    int busyDepth_ = 0;
};

}  // namespace tk
