// Formatted output under Fortran-style format specifications, and
// list-directed output.
#include "format/format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <stdexcept>

namespace ftn {

namespace {

// ---------------------------------------------------------------------------
// The parsed specification: a tree of descriptors and groups.

struct node {
    enum class type { group, a, i, f, e, l, x, slash, literal };
    type t = type::group;
    int repeat = 1;      // repeat count (group, data descriptor, slash), blanks for x
    int w = -1;          // field width, -1 when not given
    int d = -1;          // decimals / mantissa digits, -1 when not given
    std::string text;    // literal text
    std::vector<node> children;  // group content
};

bool is_data(const node& n) {
    return n.t == node::type::a || n.t == node::type::i || n.t == node::type::f ||
           n.t == node::type::e || n.t == node::type::l;
}

bool has_data(const node& n) {
    if (is_data(n)) return true;
    for (const node& c : n.children)
        if (has_data(c)) return true;
    return false;
}

class parser {
public:
    explicit parser(std::string_view s) : s_(s) {}

    node parse() {
        skip_blanks();
        if (!eat('(')) fail("a format must begin with '('");
        node root = group_body();
        skip_blanks();
        if (pos_ != s_.size()) fail("text after the closing parenthesis");
        return root;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;

    [[noreturn]] void fail(const char* what) const {
        throw std::logic_error(std::string("bad format \"") + std::string(s_) + "\": " + what);
    }
    void skip_blanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool eat(char c) {
        skip_blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    int number() {
        skip_blanks();
        if (pos_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[pos_]))) return -1;
        long v = 0;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
            v = v * 10 + (s_[pos_] - '0');
            if (v > 1000000) fail("number too large");
            ++pos_;
        }
        return static_cast<int>(v);
    }

    // Parses up to and including the matching ')'.
    node group_body() {
        node g;
        g.t = node::type::group;
        bool need_sep = false;  // a descriptor was just read; expect , / or )
        for (;;) {
            skip_blanks();
            if (pos_ >= s_.size()) fail("missing ')'");
            char c = s_[pos_];
            if (c == ')') {
                ++pos_;
                return g;
            }
            if (c == ',') {
                ++pos_;
                need_sep = false;
                continue;
            }
            if (c == '/') {
                ++pos_;
                node n;
                n.t = node::type::slash;
                g.children.push_back(n);
                need_sep = false;
                continue;
            }
            if (need_sep) fail("missing comma between descriptors");
            if (c == '\'' || c == '"') {
                node n;
                n.t = node::type::literal;
                n.text = quoted(c);
                g.children.push_back(std::move(n));
                need_sep = true;
                continue;
            }
            int r = number();
            skip_blanks();
            if (pos_ >= s_.size()) fail("unexpected end");
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(s_[pos_])));
            if (r == 0) fail("zero repeat count");
            if (c == '(') {
                ++pos_;
                node n = group_body();
                n.repeat = r < 0 ? 1 : r;
                g.children.push_back(std::move(n));
                need_sep = true;
                continue;
            }
            if (c == '/') {  // r/ : r record ends
                ++pos_;
                node n;
                n.t = node::type::slash;
                n.repeat = r < 0 ? 1 : r;
                g.children.push_back(n);
                need_sep = false;
                continue;
            }
            ++pos_;
            node n;
            n.repeat = r < 0 ? 1 : r;
            switch (c) {
            case 'x':
                n.t = node::type::x;
                break;
            case 'a':
                n.t = node::type::a;
                n.w = number();
                if (n.w == 0) fail("zero width");
                break;
            case 'i':
            case 'l':
                n.t = c == 'i' ? node::type::i : node::type::l;
                n.w = number();
                if (n.w <= 0) {
                    if (c == 'i') fail("i needs a width");
                    n.w = 1;
                }
                break;
            case 'f':
            case 'e':
                n.t = c == 'f' ? node::type::f : node::type::e;
                n.w = number();
                if (n.w <= 0) fail("f/e need a width");
                if (!eat('.')) fail("f/e need decimals");
                n.d = number();
                if (n.d < 0) fail("f/e need decimals");
                if (c == 'e' && n.d < 1) fail("e needs at least one mantissa digit");
                break;
            default:
                fail("unknown edit descriptor");
            }
            g.children.push_back(std::move(n));
            need_sep = true;
        }
    }

    std::string quoted(char q) {
        std::string out;
        ++pos_;
        for (;;) {
            if (pos_ >= s_.size()) fail("unterminated string");
            char c = s_[pos_++];
            if (c == q) {
                if (pos_ < s_.size() && s_[pos_] == q) {
                    out += q;
                    ++pos_;
                    continue;
                }
                return out;
            }
            out += c;
        }
    }
};

// ---------------------------------------------------------------------------
// Field editing.

std::string stars(int w) { return std::string(static_cast<size_t>(w), '*'); }

std::string right(const std::string& s, int w) {
    if (static_cast<int>(s.size()) > w) return stars(w);
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

std::string nonfinite(double v) {
    if (std::isnan(v)) return "NaN";
    return v < 0 ? "-Infinity" : "Infinity";
}

std::string edit_a(const std::string& s, int w) {
    if (w < 0) return s;
    if (static_cast<int>(s.size()) >= w) return s.substr(0, static_cast<size_t>(w));
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

std::string edit_i(long long v, int w) { return right(std::to_string(v), w); }

std::string edit_l(bool b, int w) { return right(b ? "T" : "F", w); }

std::string edit_f(double v, int w, int d) {
    if (!std::isfinite(v)) return right(nonfinite(v), w);
    // The value rounded to d decimals as its exact binary value is (the
    // same digits as printf "%.*f"); std::to_chars is much faster.
    char buf[400];
    std::string s;
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
    if (r.ec == std::errc()) {
        s.assign(buf, r.ptr);
    } else {
        int n = std::snprintf(nullptr, 0, "%.*f", d, v);
        s.assign(static_cast<size_t>(n), '\0');
        std::snprintf(s.data(), s.size() + 1, "%.*f", d, v);
    }
    if (d == 0) s += '.';  // the point is written even without decimals ("3.")
    bool neg = s[0] == '-';
    if (neg && s.find_first_of("123456789") == std::string::npos) {
        s.erase(0, 1);  // -0.000 is written as 0.000
        neg = false;
    }
    if (static_cast<int>(s.size()) > w) {
        size_t z = neg ? 1 : 0;
        if (s.compare(z, 2, "0.") == 0) s.erase(z, 1);
    }
    return right(s, w);
}

std::string edit_e(double v, int w, int d) {
    if (!std::isfinite(v)) return right(nonfinite(v), w);
    // Mantissa digits d1..dD (correctly rounded) and the exponent of the
    // 0.d1..dD form.
    char digits[400];
    int exp10 = 0;
    const bool neg = std::signbit(v) && v != 0.0;
    if (v == 0.0 || d > 300) {
        if (v != 0.0) return stars(w);
        std::fill(digits, digits + d, '0');
    } else {
        char buf[400];
        auto r = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(v), std::chars_format::scientific, d - 1);
        *r.ptr = '\0';  // to_chars does not terminate; atoi reads the exponent
        int nd = 0;
        const char* c = buf;
        for (; c < r.ptr && *c != 'e'; ++c)
            if (*c != '.') digits[nd++] = *c;
        exp10 = std::atoi(c + 1) + 1;
    }
    int ae = std::abs(exp10);
    if (ae > 999) return stars(w);
    // sign, "0.", digits, exponent ("E+xx", or "+xxx" past 99)
    std::string s;
    s.reserve(static_cast<size_t>(d) + 8);
    if (neg) s += '-';
    s += "0.";
    s.append(digits, static_cast<size_t>(d));
    if (ae <= 99) s += 'E';
    s += exp10 < 0 ? '-' : '+';
    if (ae > 99) s += static_cast<char>('0' + ae / 100);
    s += static_cast<char>('0' + ae / 10 % 10);
    s += static_cast<char>('0' + ae % 10);
    if (static_cast<int>(s.size()) > w) s.erase(neg ? 1 : 0, 1);  // drop the leading zero
    return right(s, w);
}

[[noreturn]] void mismatch(const char* desc, const item& it) {
    static const char* names[] = {"text", "integer", "real", "logical"};
    throw std::logic_error(std::string("format descriptor ") + desc + " given a " +
                           names[static_cast<int>(it.k)] + " item");
}

// ---------------------------------------------------------------------------
// Running a specification over the items.

class writer {
public:
    writer(const items& list) : list_(list) {}

    std::string run(const node& root) {
        // Index of the last top-level group: where reversion restarts.
        size_t restart = 0;
        for (size_t k = 0; k < root.children.size(); ++k)
            if (root.children[k].t == node::type::group) restart = k;
        bool any_data = has_data(root);
        size_t from = 0;
        for (;;) {
            for (size_t k = from; k < root.children.size(); ++k)
                if (!exec(root.children[k])) return finish();
            if (next_ >= list_.size()) return finish();
            if (!any_data) throw std::logic_error("format has no data descriptor for the items");
            end_record();
            from = restart;
            bool tail_data = false;
            for (size_t k = from; k < root.children.size(); ++k)
                tail_data = tail_data || has_data(root.children[k]);
            if (!tail_data)
                throw std::logic_error("format reverts to a part without data descriptors");
        }
    }

private:
    const items& list_;
    size_t next_ = 0;
    std::string out_;
    // Blanks of x descriptors not yet written: a position to the right only
    // takes effect when something follows it in the same record, so a
    // trailing x never leaves blanks at the end of a line.
    size_t pending_x_ = 0;

    void put(const std::string& text) {
        out_.append(pending_x_, ' ');
        pending_x_ = 0;
        out_ += text;
    }

    void end_record() {
        pending_x_ = 0;
        out_ += '\n';
    }

    std::string finish() {
        end_record();
        return std::move(out_);
    }

    // Executes one node; false when output stops (no item for a data descriptor).
    bool exec(const node& n) {
        switch (n.t) {
        case node::type::group:
            for (int r = 0; r < n.repeat; ++r)
                for (const node& c : n.children)
                    if (!exec(c)) return false;
            return true;
        case node::type::literal:
            put(n.text);
            return true;
        case node::type::x:
            pending_x_ += static_cast<size_t>(n.repeat);
            return true;
        case node::type::slash:
            for (int r = 0; r < n.repeat; ++r) end_record();
            return true;
        default:
            break;
        }
        for (int r = 0; r < n.repeat; ++r) {
            if (next_ >= list_.size()) return false;
            const item& it = list_[next_++];
            switch (n.t) {
            case node::type::a:
                if (it.k != item::kind::text) mismatch("a", it);
                put(edit_a(it.s, n.w));
                break;
            case node::type::i:
                if (it.k != item::kind::integer) mismatch("i", it);
                put(edit_i(it.i, n.w));
                break;
            case node::type::f:
                if (it.k != item::kind::real) mismatch("f", it);
                put(edit_f(it.r, n.w, n.d));
                break;
            case node::type::e:
                if (it.k != item::kind::real) mismatch("e", it);
                put(edit_e(it.r, n.w, n.d));
                break;
            case node::type::l:
                if (it.k != item::kind::logical) mismatch("l", it);
                put(edit_l(it.b, n.w));
                break;
            default:
                break;
            }
        }
        return true;
    }
};

// The list-directed text of one item, with its leading blank.
std::string ld_item(const item& it) {
    switch (it.k) {
    case item::kind::text:
        return it.s;
    case item::kind::integer:
        return " " + std::to_string(it.i);
    case item::kind::logical:
        return it.b ? " T" : " F";
    case item::kind::real:
        break;
    }
    return " " + ldreal(it.r);
}

}  // namespace

std::string format(std::string_view spec, const items& list) {
    node root = parser(spec).parse();
    return writer(list).run(root);
}

void fwrite(std::ostream& out, std::string_view spec, const items& list) {
    out << format(spec, list);
}

std::string ldreal(double v) {
    if (!std::isfinite(v)) {
        std::string t = nonfinite(v);
        return t[0] == '-' ? t : " " + t;
    }
    if (v == 0.0) return " 0.";
    // "%.9G" of the value; std::to_chars gives the same digits, faster.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::general, 9);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    if (s.find('.') == std::string::npos) {
        size_t e = s.find('E');
        if (e == std::string::npos) s += '.';
        else s.insert(e, 1, '.');
    }
    return (v < 0 ? "-" : " ") + s;
}

std::string ldformat(const items& list, int width) {
    std::string out;
    std::string rec = " ";
    for (const item& it : list) {
        std::string t = ld_item(it);
        if (width > 0 && rec.size() > 1 && rec.size() + t.size() > static_cast<size_t>(width)) {
            out += rec;
            out += '\n';
            rec = " ";
        }
        rec += t;
    }
    out += rec;
    out += '\n';
    return out;
}

void ldwrite(std::ostream& out, const items& list) { out << ldformat(list, 80); }

std::string ldrecord(const items& list) {
    std::string rec = " ";
    for (const item& it : list) rec += ld_item(it);
    return rec;
}

}  // namespace ftn
