#include "engine_numbers.h"

#include <cmath>
#include <cstdlib>

namespace {

bool blank(QChar c) { return c == QChar(' ') || c == QChar('\t') || c == QChar('\r'); }
bool separator(QChar c) { return blank(c) || c == QChar(',') || c == QChar('/'); }
bool digit(QChar c) { return c >= QChar('0') && c <= QChar('9'); }

QString trimmed(const QString& s) {
    qsizetype a = 0, b = s.size();
    while (a < b && blank(s[a])) ++a;
    while (b > a && blank(s[b - 1])) --b;
    return s.mid(a, b - a);
}

}  // namespace

bool engine_int(const QString& field, long& value) {
    const QString s = trimmed(field);
    qsizetype k = 0;
    bool neg = false;
    if (k < s.size() && (s[k] == QChar('+') || s[k] == QChar('-'))) neg = s[k++] == QChar('-');
    if (k >= s.size()) return false;
    long long v = 0;
    for (; k < s.size(); ++k) {
        if (!digit(s[k])) return false;
        v = v * 10 + (s[k].unicode() - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    value = long(v);
    return true;
}

bool engine_real(const QString& field, double& value) {
    const QString s = trimmed(field);
    QByteArray t;
    qsizetype k = 0;
    if (k < s.size() && (s[k] == QChar('+') || s[k] == QChar('-'))) t += char(s[k++].unicode());
    int digits = 0;
    QByteArray mantissa;
    while (k < s.size() && digit(s[k])) mantissa += char(s[k++].unicode()), ++digits;
    QByteArray fraction;
    if (k < s.size() && s[k] == QChar('.')) {
        ++k;
        while (k < s.size() && digit(s[k])) fraction += char(s[k++].unicode()), ++digits;
    }
    if (digits == 0) return false;
    long long exponent = 0;
    if (k < s.size()) {
        const QChar c = s[k];
        if (c != QChar('e') && c != QChar('E') && c != QChar('d') && c != QChar('D')) return false;
        ++k;
        bool eneg = false;
        if (k < s.size() && (s[k] == QChar('+') || s[k] == QChar('-'))) eneg = s[k++] == QChar('-');
        int ed = 0;
        while (k < s.size() && digit(s[k])) {
            if (exponent < 100000) exponent = exponent * 10 + (s[k].unicode() - '0');
            ++k, ++ed;
        }
        if (ed == 0 || k != s.size()) return false;
        if (eneg) exponent = -exponent;
    }
    // The digits as a whole mantissa and a power of ten ("m.f" is "mf"
    // times ten to the minus the length of f): without a decimal point the
    // text means the same to strtod in every locale, and strtod rounds the
    // same decimal number the engine's text stands for.
    t += mantissa + fraction;
    t += 'e';
    t += QByteArray::number(exponent - fraction.size());
    const double v = std::strtod(t.constData(), nullptr);
    if (std::isinf(v) || std::isnan(v)) return false;
    value = v;
    return true;
}

bool engine_list(const QStringList& lines, qsizetype& next, int count, QList<std::optional<QString>>& fields) {
    fields.clear();
    if (count <= 0) {
        if (next >= lines.size()) return false;
        ++next;
        return true;
    }
    bool afterValue = false;
    while (fields.size() < count) {
        if (next >= lines.size()) return false;
        const QString& line = lines[next++];
        qsizetype pos = 0;
        while (fields.size() < count) {
            while (pos < line.size() && blank(line[pos])) ++pos;
            if (pos >= line.size()) break;
            const QChar c = line[pos];
            if (c == QChar(',')) {
                ++pos;
                if (!afterValue) fields.append(std::nullopt);
                afterValue = false;
                continue;
            }
            if (c == QChar('/')) {
                while (fields.size() < count) fields.append(std::nullopt);
                return true;
            }
            // A value, possibly after a repeat count r*.
            long repeat = 1;
            qsizetype start = pos;
            while (pos < line.size() && digit(line[pos])) ++pos;
            if (pos > start && pos < line.size() && line[pos] == QChar('*')) {
                repeat = std::max(1L, line.mid(start, pos - start).toLong());
                ++pos;
                start = pos;
                if (pos >= line.size() || separator(line[pos])) {
                    for (long r = 0; r < repeat && fields.size() < count; ++r) fields.append(std::nullopt);
                    afterValue = true;
                    continue;
                }
            } else {
                pos = start;
            }
            QString value;
            if (line[pos] == QChar('\'') || line[pos] == QChar('"')) {
                const QChar q = line[pos++];
                while (pos < line.size()) {
                    const QChar ch = line[pos++];
                    if (ch == q) {
                        if (pos < line.size() && line[pos] == q) {
                            value += q;
                            ++pos;
                            continue;
                        }
                        break;
                    }
                    value += ch;
                }
            } else {
                while (pos < line.size() && !separator(line[pos])) ++pos;
                value = line.mid(start, pos - start);
            }
            for (long r = 0; r < repeat && fields.size() < count; ++r) fields.append(value);
            afterValue = true;
        }
    }
    return true;
}
