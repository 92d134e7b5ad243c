// Reading a control file back into the editors.
//
// A control file holds 16 records, one a line, and after them optional
// keyword records ("limits 50 400", "epsg 27700"), one a line.  It is read
// exactly as the engine reads it, under any locale: lines end at a line feed
// (a carriage return before it is dropped; a lone carriage return ends
// nothing); a text record is its whole line, so a title or a path with a
// comma stays intact; a numeric record is read list-directed with the
// engine's rules (engine_numbers.h), continuing on the next line when it
// holds too few values.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
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
    // `text` is the whole file.
    explicit ControlRecords(const QString& text);

    // True when every record has been handed out.
    bool atEnd() const { return next_ >= lines_.size(); }
    // The number of records in the file.
    int count() const { return int(lines_.size()); }

    // The next record as text, whole.
    QString text();
    // The next value of a numeric record as written ("" for a null value).
    QString item();
    // The next value as a real (records 9); a null value is 0.
    double number();
    // The next value as a whole number (records 4, 10 to 16); a null value
    // is 0.
    long whole();
    // The next three values, whole numbers (record 5).
    void three(long& a, long& b, long& c);
    // The lines after the records read so far that hold anything: the
    // keyword records once all 16 have been read.
    QStringList rest() const;

private:
    QString take();
    QList<std::optional<QString>> values(int count);
    QStringList lines_;
    qsizetype next_ = 0;
};

// The value of one item.  Throws control_read_error for text that is no
// number by the engine's rules; an empty item is 0.
double item_value(const QString& item);
long item_whole(const QString& item);

// One keyword record: its keyword and values, separated by blanks or commas.
struct KeywordRecord {
    QString keyword;
    QStringList values;
};
KeywordRecord keyword_record(const QString& line);

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
