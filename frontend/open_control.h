// Reading a control file back into the editors.
//
// A control file holds 16 records, one a line.  Reading it back takes every
// record as one whole line, exactly as the engine does: a title or a path
// that contains a comma stays intact and later records stay in place.
// Numeric records hold a list of numbers separated by commas or blanks; the
// first one is the record's value (record 5 holds three).
#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>

// A record that cannot be read as asked: a number that is not one, a missing
// record, a flag string that is too short.  The readers report it with the
// front end's unexpected-error message.
struct control_read_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The records of a control file, handed out in order.
class ControlRecords {
public:
    // `text` is the whole file; lines end with LF, CR LF or CR.
    explicit ControlRecords(const QString& text);

    // True when every record has been handed out.
    bool atEnd() const { return next_ >= lines_.size(); }
    // The number of records in the file.
    int count() const { return int(lines_.size()); }

    // The next record as text, whole.
    QString text();
    // The next record's first list item as written ("" for an empty record).
    QString item();
    // The next record's first list item as a number; an empty record is 0.
    double number();
    // The same, which must be a whole number.
    long whole();
    // The next record's first three list items, whole numbers (record 5).
    void three(long& a, long& b, long& c);

private:
    QString take();
    QStringList lines_;
    qsizetype next_ = 0;
};

// The list items of one numeric record: separated by commas and/or blanks,
// as the engine reads them.
QStringList list_items(const QString& record);

// The value of one list item.  Throws control_read_error for text that is no
// number; an empty item is 0.
double item_value(const QString& item);
long item_whole(const QString& item);

// Record 9 of a model file, the bandwidth: a lone minus sign is what the model
// editor writes for a sample whose percentage box was left empty.
struct BandwidthField {
    double value = 0;       // the number
    bool negative = false;  // a sample percentage: below 0, or the lone minus
    QString magnitude;      // the number's text without its sign, as written
};
BandwidthField bandwidth_field(const QString& item);

// The independent-variable flags of record 7: for each of the first `n`
// letters, true when it is an upper-case "T".  Fewer than `n` letters is an
// error.
QList<bool> model_flags(const QString& record, int n);
