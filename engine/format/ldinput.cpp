// List-directed input: value fields separated by commas and/or blanks, with
// null values, repeat counts (r*value, r*) and the slash that ends a read.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "format/format.h"

namespace ftn {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_sep(char c) { return is_blank(c) || c == ',' || c == '/'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads a quoted value starting at line[pos] (the opening quote); a doubled
// quote stands for one.  Returns the content and leaves pos after the
// closing quote (or at the end of the line when it is missing).
std::string quoted(const std::string& line, size_t& pos) {
    char q = line[pos++];
    std::string out;
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == q) {
            if (pos < line.size() && line[pos] == q) {
                out += q;
                ++pos;
                continue;
            }
            break;
        }
        out += c;
    }
    return out;
}

}  // namespace

bool ldread(const std::function<bool(std::string&)>& nextline, int count,
            std::vector<std::optional<std::string>>& fields) {
    fields.clear();
    std::string line;
    if (count <= 0) return nextline(line);  // an empty read passes over one record
    const size_t want = static_cast<size_t>(count);
    // After a value a comma only separates; at the start and after a comma
    // another comma marks a null value.  The end of a line acts as a blank.
    bool after_value = false;
    while (fields.size() < want) {
        if (!nextline(line)) return false;
        size_t pos = 0;
        while (fields.size() < want) {
            while (pos < line.size() && is_blank(line[pos])) ++pos;
            if (pos >= line.size()) break;
            char c = line[pos];
            if (c == ',') {
                ++pos;
                if (!after_value) fields.emplace_back(std::nullopt);
                after_value = false;
                continue;
            }
            if (c == '/') {
                while (fields.size() < want) fields.emplace_back(std::nullopt);
                return true;
            }
            // A value, possibly preceded by a repeat count r*.
            long repeat = 1;
            size_t start = pos;
            while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') ++pos;
            if (pos > start && pos < line.size() && line[pos] == '*') {
                repeat = std::strtol(line.c_str() + start, nullptr, 10);
                if (repeat < 1) repeat = 1;
                ++pos;
                start = pos;
                if (pos >= line.size() || is_sep(line[pos])) {
                    // r* : r null values.
                    for (long r = 0; r < repeat && fields.size() < want; ++r)
                        fields.emplace_back(std::nullopt);
                    after_value = true;
                    continue;
                }
            } else {
                pos = start;
            }
            std::string value;
            if (line[pos] == '\'' || line[pos] == '"') {
                value = quoted(line, pos);
            } else {
                while (pos < line.size() && !is_sep(line[pos])) ++pos;
                value = line.substr(start, pos - start);
            }
            for (long r = 0; r < repeat && fields.size() < want; ++r) fields.emplace_back(value);
            after_value = true;
        }
    }
    return true;
}

bool parse_int(std::string_view field, int& value) {
    std::string_view s = trim(field);
    size_t k = 0;
    bool neg = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) neg = s[k++] == '-';
    if (k >= s.size()) return false;
    long long v = 0;
    for (; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
        v = v * 10 + (s[k] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (neg) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

bool parse_real(std::string_view field, double& value) {
    std::string_view s = trim(field);
    std::string t;
    t.reserve(s.size());
    size_t k = 0;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) t += s[k++];
    int digits = 0;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') t += s[k++], ++digits;
    if (k < s.size() && s[k] == '.') {
        t += s[k++];
        while (k < s.size() && s[k] >= '0' && s[k] <= '9') t += s[k++], ++digits;
    }
    if (digits == 0) return false;
    if (k < s.size()) {
        char c = s[k];
        if (c != 'e' && c != 'E' && c != 'd' && c != 'D') return false;
        t += 'E';
        ++k;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) t += s[k++];
        int ed = 0;
        while (k < s.size() && s[k] >= '0' && s[k] <= '9') t += s[k++], ++ed;
        if (ed == 0 || k != s.size()) return false;
    }
    errno = 0;
    double v = std::strtod(t.c_str(), nullptr);
    if (std::isinf(v)) return false;
    value = v;
    return true;
}

}  // namespace ftn
