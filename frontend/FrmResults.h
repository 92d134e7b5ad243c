// The listing viewer: shows an engine listing as plain text.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class FrmResults : public QDialog {
    Q_OBJECT
public:
    explicit FrmResults(QWidget* parent = nullptr);

    // Opens the viewer.  A viewer that is not open yet loads the listing
    // named by the run dialog's listing box first (unless `runListing` is
    // false: it then shows an empty text); one that is open already only
    // comes to the front.
    static FrmResults& open_viewer(bool runListing = true);
    // Opens the viewer on the partial listing of a run that was stopped:
    // loaded whether the viewer was open or not, and labelled as partial in
    // its caption until another listing is loaded.
    static FrmResults& open_partial(const QString& path);

    // Loads the file at `path` into the text area, offering to retry while
    // it cannot be read.  An empty path shows an empty text.  True when the
    // file was loaded.
    bool loadListing(const QString& path);

    // The file whose text is shown; empty when none is.
    QString shownFile() const { return shownFile_; }

    QPlainTextEdit* RichTextBox1;
    QPushButton* Command1;  // "View another listing file"
    QPushButton* Command2;  // "Close"

public slots:
    // "View another listing file": choose a listing and load it.
    void Command1_Click();
    // "Close".
    void Command2_Click();

private:
    QString shownFile_;
};
