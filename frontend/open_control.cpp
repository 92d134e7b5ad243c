#include "open_control.h"

#include <cmath>
#include <cstdlib>

ControlRecords::ControlRecords(const QString& text)
{
    // Split at LF, CR LF or a lone CR.  A final line end closes the last
    // record; it does not open an empty one.
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QChar('\n') || c == QChar('\r')) {
            lines_.append(line);
            line.clear();
            if (c == QChar('\r') && i + 1 < text.size() && text[i + 1] == QChar('\n'))
                ++i;
        } else {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        lines_.append(line);
}

QString ControlRecords::take()
{
    if (atEnd())
        throw control_read_error("the control file ends before record " +
                                 std::to_string(next_ + 1));
    return lines_[next_++];
}

QString ControlRecords::text() { return take(); }

QString ControlRecords::item()
{
    const QStringList items = list_items(take());
    return items.isEmpty() ? QString() : items.front();
}

double ControlRecords::number() { return item_value(item()); }

long ControlRecords::whole() { return item_whole(item()); }

void ControlRecords::three(long& a, long& b, long& c)
{
    const QStringList items = list_items(take());
    if (items.size() < 3)
        throw control_read_error("record 5 holds fewer than three column numbers");
    a = item_whole(items[0]);
    b = item_whole(items[1]);
    c = item_whole(items[2]);
}

QStringList list_items(const QString& record)
{
    // Items are separated by one comma with optional blanks around it, or by
    // blanks alone; two commas in a row enclose an empty item.
    QStringList items;
    qsizetype i = 0;
    const qsizetype n = record.size();
    auto blank = [&](qsizetype k) { return record[k] == QChar(' ') || record[k] == QChar('\t'); };
    while (i < n && blank(i))
        ++i;
    while (i < n) {
        qsizetype start = i;
        while (i < n && record[i] != QChar(',') && !blank(i))
            ++i;
        items.append(record.mid(start, i - start));
        while (i < n && blank(i))
            ++i;
        if (i < n && record[i] == QChar(',')) {
            ++i;
            while (i < n && blank(i))
                ++i;
            if (i >= n)
                break;
        }
    }
    return items;
}

double item_value(const QString& item)
{
    if (item.isEmpty())
        return 0.0;
    const QByteArray bytes = item.toLatin1();
    const char* begin = bytes.constData();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || !std::isfinite(v))
        throw control_read_error("not a number: " + item.toStdString());
    return v;
}

long item_whole(const QString& item)
{
    const double v = item_value(item);
    if (v != std::floor(v) || std::fabs(v) > 2147483647.0)
        throw control_read_error("not a whole number: " + item.toStdString());
    return long(v);
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
