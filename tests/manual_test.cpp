// The user manual in docs/ against the programs:
//
//  * every stop code and every message the engine can write is in the
//    manual.  The messages are gathered from the engine's sources, so a new
//    one fails this test until it is documented: the literals that begin
//    with "**" (progress, notice and error lines), the literals written in
//    the block that ends with a stop or an exit, the texts of input and
//    output failures, the notes of stops, and what goes to standard error;
//  * every command-line example runs as shown.  Fenced blocks are marked by
//    a second word after the language:
//        ```text tzm-file NAME   the block is the content of file NAME
//        ```sh tzm-run           commands, run by `sh -e`, which must succeed
//        ```text tzm-output      lines the last run printed (stdout and stderr)
//        ```text tzm-output NAME lines file NAME holds after the runs above
//    Each page runs in a fresh copy of examples/, next to build/bin/tzm (the
//    built engine, also on the PATH).  Expected lines must appear in order;
//    a line "..." stands for lines left out, and a line ending in "..."
//    matches any line that begins with the text before it;
//  * the links between the pages lead somewhere, and the manual page is
//    well-formed roff.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;

const fs::path source_root = fs::path(EXAMPLES_DIR).parent_path();
const fs::path docs_dir = source_root / "docs";

std::vector<fs::path> files_in(const fs::path& dir, const std::string& ext, bool recursive) {
    std::vector<fs::path> out;
    auto take = [&](const fs::directory_entry& e) {
        if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
    };
    if (recursive)
        for (const auto& e : fs::recursive_directory_iterator(dir)) take(e);
    else
        for (const auto& e : fs::directory_iterator(dir)) take(e);
    std::sort(out.begin(), out.end());
    return out;
}

// Runs of blanks and line ends count as one blank, so that a message
// wrapped across lines of the Markdown source still matches.
std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    return out;
}

// ---------------------------------------------------------------------------
// The engine's messages.

struct literal {
    std::string text;
    std::size_t begin;  // position of the opening quote
};

// A C++ source with its string literals (adjacent ones joined, escapes
// decoded) and a copy in which comments and the insides of string and
// character literals are blanked, so that the code can be searched without
// meeting a brace or a keyword inside a text.
struct source {
    std::string name;
    std::string code;
    std::vector<literal> lits;
};

source scan(const fs::path& p) {
    source s{fs::relative(p, source_root).string(), read_file(p), {}};
    std::string& c = s.code;
    bool joinable = false;  // only blanks since the last literal ended
    for (std::size_t i = 0; i < c.size();) {
        if (c.compare(i, 2, "//") == 0) {
            while (i < c.size() && c[i] != '\n') c[i++] = ' ';
        } else if (c.compare(i, 2, "/*") == 0) {
            const std::size_t e = std::min(c.find("*/", i + 2), c.size() - 2) + 2;
            for (; i < e; ++i)
                if (c[i] != '\n') c[i] = ' ';
        } else if (c[i] == '"' || c[i] == '\'') {
            const char q = c[i];
            const std::size_t begin = i++;
            std::string text;
            while (i < c.size() && c[i] != q) {
                if (c[i] == '\\' && i + 1 < c.size()) {
                    const char e = c[i + 1];
                    text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                    c[i++] = ' ';
                } else {
                    text += c[i];
                }
                c[i++] = ' ';
            }
            ++i;
            if (q == '"') {
                if (joinable && !s.lits.empty())
                    s.lits.back().text += text;
                else
                    s.lits.push_back({text, begin});
            }
            joinable = q == '"';
            continue;
        } else {
            if (!std::isspace(static_cast<unsigned char>(c[i]))) joinable = false;
            ++i;
        }
    }
    return s;
}

std::vector<source> engine_sources() {
    std::vector<source> out;
    for (const fs::path& p : files_in(source_root / "engine", ".cpp", true))
        if (p.parent_path().filename() != "format") out.push_back(scan(p));
    return out;
}

// End of the bracketed group that opens at `open` (a "(" or "{").
std::size_t group_end(const std::string& code, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < code.size(); ++i) {
        if (code[i] == '(' || code[i] == '{') ++depth;
        if (code[i] == ')' || code[i] == '}')
            if (--depth == 0) return i;
    }
    return code.size();
}

// The first comma of the bracketed group that opens at `open` and closes at
// `close` that is not inside a nested group; `close` when there is none.
std::size_t first_argument_end(const std::string& code, std::size_t open, std::size_t close) {
    int depth = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        if (code[i] == '(' || code[i] == '{') ++depth;
        if (code[i] == ')' || code[i] == '}') --depth;
        if (code[i] == ',' && depth == 0) return i;
    }
    return close;
}

// Start of the innermost block that contains position `p`.
std::size_t block_start(const std::string& code, std::size_t p) {
    int depth = 0;
    for (std::size_t i = p; i-- > 0;) {
        if (code[i] == '}') ++depth;
        if (code[i] == '{' && depth-- == 0) return i;
    }
    return 0;
}

std::vector<std::string> literals_between(const source& s, std::size_t a, std::size_t b) {
    std::vector<std::string> out;
    for (const literal& l : s.lits)
        if (l.begin > a && l.begin < b) out.push_back(l.text);
    return out;
}

bool all_digits(const std::string& t) {
    return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A literal as the manual must show it: without surrounding blanks, quotes
// and separators; empty when it holds too little text to be worth finding.
std::string message_text(const std::string& lit) {
    const std::string strip = " \t\n'\":,";
    const std::size_t a = lit.find_first_not_of(strip);
    if (a == std::string::npos) return {};
    const std::string t = lit.substr(a, lit.find_last_not_of(strip) - a + 1);
    const bool format = t.front() == '(' && t.back() == ')';
    const auto letters = std::count_if(t.begin(), t.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    return format || letters < 3 ? std::string() : squeeze(t);
}

struct engine_messages {
    std::set<std::string> codes;
    std::map<std::string, std::string> texts;  // message -> where it was found
    std::vector<std::string> unresolved;       // stops whose code could not be found
};

engine_messages gather(const std::vector<source>& all) {
    engine_messages m;
    auto add = [&m](const std::string& lit, const std::string& where) {
        const std::string t = message_text(lit);
        if (!t.empty()) m.texts.emplace(t, where);
    };
    const std::regex header(R"((\w+)\s*\(([^()]*)\)\s*(const\s*)?\{)");
    const std::regex stop_throw(R"(throw\s+(stop|exit_status)\s*[({])");
    for (const source& s : all) {
        // Progress, notice and error lines.
        for (const literal& l : s.lits) {
            const std::string t = message_text(l.text);
            if (t.rfind("**", 0) == 0) add(l.text, s.name);
        }
        const std::string& c = s.code;
        for (auto it = std::sregex_iterator(c.begin(), c.end(), stop_throw); it != std::sregex_iterator(); ++it) {
            const std::size_t p = static_cast<std::size_t>(it->position());
            const std::size_t open = p + it->length() - 1;
            const std::size_t close = group_end(c, open);
            // The lines written before the stop, in its block.
            for (const std::string& t : literals_between(s, block_start(c, p), p)) add(t, s.name);
            if ((*it)[1] != "stop") continue;
            // The code is the first argument (an empty one: no code); a note
            // after it goes to standard error as "tzm: <note>".
            const std::size_t first = first_argument_end(c, open, close);
            for (const std::string& t : literals_between(s, first, close)) add(t, s.name);
            const std::vector<std::string> given = literals_between(s, open, first);
            for (const std::string& g : given)
                if (!g.empty()) m.codes.insert(g);
            std::string arg = c.substr(open + 1, first - open - 1);
            arg.erase(std::remove_if(arg.begin(), arg.end(), ::isspace), arg.end());
            if (!given.empty() || arg.empty()) continue;
            // A code passed in by the caller: the literal arguments of every
            // call of the function whose parameter it is.
            std::string fname;
            for (auto h = std::sregex_iterator(c.begin(), c.begin() + static_cast<long>(p), header);
                 h != std::sregex_iterator(); ++h)
                if (!std::regex_match((*h)[1].str(), std::regex("if|for|while|switch|catch")) &&
                    std::regex_search((*h)[2].str(), std::regex("\\b" + arg + "\\b")))
                    fname = (*h)[1];
            bool found = false;
            const std::regex call("\\b" + (fname.empty() ? std::string("$^") : fname) + R"(\s*\()");
            for (const source& o : all)
                for (auto k = std::sregex_iterator(o.code.begin(), o.code.end(), call); k != std::sregex_iterator(); ++k) {
                    const std::size_t q = static_cast<std::size_t>(k->position() + k->length() - 1);
                    for (const std::string& g : literals_between(o, q, group_end(o.code, q)))
                        if (all_digits(g)) m.codes.insert(g), found = true;
                }
            if (!found) m.unresolved.push_back(s.name + ": throw stop(" + arg + ")");
        }
        // Input and output failures (the arguments of io_error), and what
        // goes to standard error (the statement that writes it).
        const std::regex failure(R"(\bio_error\s*\()"), to_stderr(R"((\*\s*s\.err|std::cerr)\s*<<)");
        for (const bool call : {true, false}) {
            const std::regex& r = call ? failure : to_stderr;
            for (auto it = std::sregex_iterator(c.begin(), c.end(), r); it != std::sregex_iterator(); ++it) {
                const std::size_t p = static_cast<std::size_t>(it->position());
                const std::size_t e = call ? group_end(c, p + it->length() - 1) : c.find(';', p);
                for (const std::string& t : literals_between(s, p, e)) add(t, s.name);
            }
        }
    }
    return m;
}

std::string manual_text() {
    std::string all;
    for (const fs::path& p : files_in(docs_dir, ".md", false)) all += read_file(p) + "\n";
    return squeeze(all);
}

TEST(Manual, DocumentsEveryStopCodeAndMessageOfTheEngine) {
    const engine_messages m = gather(engine_sources());
    // The gathering itself: known codes and lines of each kind are found.
    for (const char* code : {"94", "97", "98", "399", "905", "906", "998", "2222", "3333", "8888"})
        EXPECT_TRUE(m.codes.count(code)) << "stop code " << code << " not found in the sources";
    for (const char* text : {"Illegal Kernel Choice", "** It must be >0 objects", "Error reading case",
                             "IRLS Convergence problem", "is not a regular file",
                             "cannot open the data file", "statement executed", "no locations read"})
        EXPECT_TRUE(m.texts.count(text)) << "\"" << text << "\" not found in the sources";
    for (const std::string& u : m.unresolved) ADD_FAILURE() << "stop code not given as a literal: " << u;

    const std::string manual = manual_text();
    for (const std::string& code : m.codes)
        EXPECT_NE(manual.find("STOP " + code + " statement executed"), std::string::npos)
            << "stop code " << code << " is not in docs/ (as \"STOP " << code << " statement executed\")";
    for (const auto& [text, where] : m.texts)
        EXPECT_NE(manual.find(text), std::string::npos) << "message of " << where << " is not in docs/: \"" << text << "\"";
}

// ---------------------------------------------------------------------------
// The examples.

struct block {
    std::string marker;  // tzm-file, tzm-run or tzm-output
    std::string arg;
    std::string body;
    int line;
};

std::vector<block> marked_blocks(const std::string& text) {
    std::vector<block> out;
    const std::vector<std::string> lines = testing_support::lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("```", 0) != 0) continue;
        std::istringstream info(lines[i].substr(3));
        std::string lang, marker, arg;
        info >> lang >> marker >> arg;
        block b{marker, arg, "", static_cast<int>(i + 1)};
        for (++i; i < lines.size() && lines[i].rfind("```", 0) != 0; ++i) b.body += lines[i] + "\n";
        if (marker.rfind("tzm-", 0) == 0) out.push_back(b);
    }
    return out;
}

std::string rtrim(std::string s) {
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
}

// The first expected line (from 1) that is missing, in order, from
// `actual`; 0 when all are there.
int missing_line(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> have = testing_support::lines(actual);
    const std::vector<std::string> want = testing_support::lines(expected);
    std::size_t at = 0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        const std::string w = rtrim(want[k]);
        if (w.empty() || w == "...") continue;
        const bool prefix = w.size() > 3 && w.compare(w.size() - 3, 3, "...") == 0;
        const std::string stem = rtrim(prefix ? w.substr(0, w.size() - 3) : w);
        while (at < have.size() && (prefix ? rtrim(have[at]).rfind(stem, 0) != 0 : rtrim(have[at]) != w)) ++at;
        if (at == have.size()) return static_cast<int>(k + 1);
        ++at;
    }
    return 0;
}

TEST(Manual, CommandLineExamplesRunAsShown) {
    int runs = 0;
    for (const fs::path& page : files_in(docs_dir, ".md", false)) {
        const std::vector<block> blocks = marked_blocks(read_file(page));
        if (blocks.empty()) continue;
        testing_support::tempdir root;
        const fs::path work = root.path / "examples", bin = root.path / "build" / "bin";
        fs::create_directories(work);
        fs::create_directories(bin);
        for (const auto& e : fs::directory_iterator(source_root / "examples")) {
            const std::string n = e.path().filename().string();
            if (n.find("_results.") == std::string::npos && n.rfind("mapinfo.", 0) != 0)
                fs::copy(e.path(), work / n, fs::copy_options::recursive);
        }
        fs::create_symlink(TZM_EXE, bin / "tzm");
        std::string last_output;
        bool ran = false;
        for (const block& b : blocks) {
            const std::string where = page.filename().string() + ":" + std::to_string(b.line);
            if (b.marker == "tzm-file") {
                ASSERT_FALSE(b.arg.empty()) << where << ": tzm-file needs a file name";
                root.write("examples/" + b.arg, b.body);
            } else if (b.marker == "tzm-run") {
                root.write("run.sh", b.body);
                const std::string cmd = "cd '" + work.string() + "' && PATH='" + bin.string() +
                                        "':\"$PATH\" timeout 300 sh -e ../run.sh > ../out.txt 2>&1";
                const int st = std::system(cmd.c_str());
                last_output = read_file(root.path / "out.txt");
                ran = true;
                ++runs;
                EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0)
                    << where << ": the example fails:\n" << b.body << "output:\n" << last_output;
            } else if (b.marker == "tzm-output") {
                const bool file = !b.arg.empty();
                EXPECT_TRUE(file ? fs::exists(work / b.arg) : ran) << where << ": nothing to compare with";
                const std::string actual = file ? read_file(work / b.arg) : last_output;
                const int k = missing_line(b.body, actual);
                EXPECT_EQ(k, 0) << where << ": line " << k << " of the block is not in "
                                << (file ? b.arg : std::string("the output")) << ":\n"
                                << testing_support::lines(b.body)[std::max(k, 1) - 1] << "\n--- actual:\n"
                                << actual;
            } else {
                ADD_FAILURE() << where << ": unknown marker " << b.marker;
            }
        }
    }
    EXPECT_GT(runs, 10) << "the manual's examples were not found";
}

// ---------------------------------------------------------------------------
// Links and the manual page.

// The anchor a heading gets: lower case, punctuation dropped, blanks as
// hyphens.
std::string slug(const std::string& heading) {
    std::string out;
    for (unsigned char c : heading) {
        if (std::isalnum(c) || c >= 0x80 || c == '_' || c == '-')
            out += static_cast<char>(std::tolower(c));
        else if (c == ' ')
            out += '-';
    }
    return out;
}

std::set<std::string> anchors(const std::string& text) {
    std::set<std::string> out;
    std::map<std::string, int> seen;
    bool fenced = false;
    for (const std::string& l : testing_support::lines(text)) {
        if (l.rfind("```", 0) == 0) fenced = !fenced;
        if (fenced || l.empty() || l[0] != '#') continue;
        const std::string s = slug(l.substr(l.find_first_not_of('#')));
        const std::string base = s.substr(s.find_first_not_of('-'));
        const int n = seen[base]++;
        out.insert(n == 0 ? base : base + "-" + std::to_string(n));
    }
    return out;
}

TEST(Manual, LinksLeadToPagesAndHeadingsAndTheManualPageIsWellFormed) {
    const std::regex link(R"(\]\(([^)\s]+)\))");
    for (const fs::path& page : files_in(docs_dir, ".md", false)) {
        const std::string text = read_file(page);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), link); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[1];
            if (target.rfind("http", 0) == 0) continue;
            const std::size_t hash = target.find('#');
            const std::string file = target.substr(0, hash);
            const fs::path dest = file.empty() ? page : page.parent_path() / file;
            ASSERT_TRUE(fs::exists(dest)) << page.filename() << ": link to a missing file: " << target;
            if (hash != std::string::npos) {
                EXPECT_TRUE(anchors(read_file(dest)).count(target.substr(hash + 1)))
                    << page.filename() << ": link to a missing heading: " << target;
            }
        }
    }
    if (std::system("command -v groff > /dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
    const std::string cmd = "groff -man -ww -z '" + (docs_dir / "tzm.1").string() + "' 2>&1";
    std::string out;
    if (FILE* f = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, f)) out += buf;
        EXPECT_EQ(pclose(f), 0);
    }
    EXPECT_EQ(out, "") << "groff warns about docs/tzm.1";
}

}  // namespace
