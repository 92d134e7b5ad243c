#include "open_control.h"

#include <QRegularExpression>

#include "engine_numbers.h"

#include <cmath>
#include <cstdlib>

ControlRecords::ControlRecords(const QString& text)
{
    // Lines end at a line feed, with one carriage return before it dropped;
    // the last line needs no line feed.
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype lf = text.indexOf(QChar('\n'), start);
        if (lf < 0)
            lf = text.size();
        QString line = text.mid(start, lf - start);
        if (line.endsWith(QChar('\r')))
            line.chop(1);
        lines_.append(line);
        start = lf + 1;
    }
}

QString ControlRecords::take()
{
    if (atEnd())
        throw control_read_error("the control file ends before record " +
                                 std::to_string(next_ + 1));
    return lines_[next_++];
}

QString ControlRecords::text() { return take(); }

QList<std::optional<QString>> ControlRecords::values(int count)
{
    QList<std::optional<QString>> fields;
    if (!engine_list(lines_, next_, count, fields))
        throw control_read_error("the control file ends before its numbers are complete");
    return fields;
}

QString ControlRecords::item()
{
    const auto v = values(1);
    return v[0].value_or(QString());
}

double ControlRecords::number() { return item_value(item()); }

long ControlRecords::whole() { return item_whole(item()); }

void ControlRecords::three(long& a, long& b, long& c)
{
    const auto v = values(3);
    a = item_whole(v[0].value_or(QString()));
    b = item_whole(v[1].value_or(QString()));
    c = item_whole(v[2].value_or(QString()));
}

QStringList ControlRecords::rest() const
{
    QStringList out;
    for (qsizetype i = next_; i < lines_.size(); ++i)
        if (!lines_[i].trimmed().isEmpty())
            out.append(lines_[i]);
    return out;
}

double item_value(const QString& item)
{
    if (item.isEmpty())
        return 0.0;
    double v = 0;
    if (!engine_real(item, v))
        throw control_read_error("not a number: " + item.toStdString());
    return v;
}

long item_whole(const QString& item)
{
    if (item.isEmpty())
        return 0;
    long v = 0;
    if (!engine_int(item, v))
        throw control_read_error("not a whole number: " + item.toStdString());
    return v;
}

KeywordRecord keyword_record(const QString& line)
{
    KeywordRecord k;
    const QStringList words = line.split(QRegularExpression("[ \t,\r]+"), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return k;
    k.keyword = words.front();
    k.values = words.mid(1);
    return k;
}

BandwidthField bandwidth_field(const QString& item)
{
    BandwidthField f;
    if (item == QLatin1String("-")) {
        // A sample whose percentage was left empty.
        f.negative = true;
        return f;
    }
    f.value = item_value(item);
    f.negative = f.value < 0;
    f.magnitude = item;
    if (f.magnitude.startsWith(QChar('-')) || f.magnitude.startsWith(QChar('+')))
        f.magnitude.remove(0, 1);
    return f;
}

QList<bool> model_flags(const QString& record, int n)
{
    if (record.size() < n)
        throw control_read_error("the flag string has fewer letters than the data file has variables");
    QList<bool> flags;
    for (int i = 0; i < n; ++i)
        flags.append(record[i] == QChar('T'));
    return flags;
}
