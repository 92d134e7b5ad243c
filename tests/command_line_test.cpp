// The engine's command line: options that change nothing of a run's bytes
// (--progress, --threads, a control-file path), the progress lines a watching
// program reads, and --help, --version and refused options.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "../bench/synth.h"
#include "release.h"
#include "support/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::mask_times;
using testing_support::read_file;
using testing_support::tempdir;

struct timed_line {
    std::string text;
    double at;  // seconds since the start
};

struct run {
    std::string out;
    std::vector<timed_line> err;
    int status = -1;
    std::string errText() const {
        std::string t;
        for (const auto& l : err) t += l.text + "\n";
        return t;
    }
};

// Runs the built tzm with `args` in `workdir`, standard input from `input`
// (none: /dev/null); standard error is read line by line as it comes.
run tzm(const std::vector<std::string>& args, const fs::path& workdir, const std::string& input = "") {
    tempdir io;
    const std::string outp = io.file("stdout.txt");
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        if (chdir(workdir.c_str()) != 0) _exit(127);
        if (!freopen(input.empty() ? "/dev/null" : input.c_str(), "r", stdin)) _exit(127);
        if (!freopen(outp.c_str(), "w", stdout)) _exit(127);
        dup2(fds[1], 2);
        std::vector<char*> argv{const_cast<char*>("tzm")};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TZM_EXE, argv.data());
        _exit(127);
    }
    close(fds[1]);
    run r;
    std::string cur;
    char buf[4096];
    for (;;) {
        const ssize_t got = read(fds[0], buf, sizeof buf);
        if (got <= 0) break;
        const double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (ssize_t i = 0; i < got; ++i) {
            if (buf[i] == '\n') {
                r.err.push_back({cur, at});
                cur.clear();
            } else {
                cur += buf[i];
            }
        }
    }
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.out = read_file(outp);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

const std::regex progress_line(R"(progress (reading|calibration|interval|fits|montecarlo|writing) (\d+) (\d+))");

// Checks that every line is a progress line with 0 <= step <= steps and
// returns the phases in the order they first appear.
std::vector<std::string> phases(const run& r) {
    std::vector<std::string> seen;
    for (const auto& l : r.err) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(l.text, m, progress_line)) << l.text;
        if (m.empty()) continue;
        EXPECT_LE(std::stoll(m[2]), std::stoll(m[3])) << l.text;
        if (seen.empty() || seen.back() != m[1]) seen.push_back(m[1]);
    }
    return seen;
}

TEST(CommandLine, OptionsLeaveEveryByteOfTheRunAsItIs) {
    // The Columbus example calibrates by AICc and writes a result file; with
    // the Monte Carlo test it goes through every phase of the progress lines.
    tempdir plain, withProgress, byPath, twoThreads;
    std::vector<std::string> records = lines(read_file(fs::path(EXAMPLES_DIR) / "gaussian.tzm"));
    ASSERT_EQ(records.size(), 16u);
    records[12] = "1";  // the Monte Carlo test
    std::string control;
    for (const auto& r : records) control += r + "\n";
    for (const tempdir* d : {&plain, &withProgress, &byPath, &twoThreads}) {
        fs::copy_file(fs::path(EXAMPLES_DIR) / "columbus.csv", d->path / "columbus.csv");
        d->write("gaussian.tzm", control);
    }
    const std::string ctl = (plain.path / "gaussian.tzm").string();
    const run a = tzm({}, plain.path, ctl);
    const run b = tzm({"--progress"}, withProgress.path, ctl);
    const run c = tzm({"--threads", "1", "--progress", "gaussian.tzm"}, byPath.path);
    const run d = tzm({"--threads=2", (twoThreads.path / "gaussian.tzm").string()}, twoThreads.path);
    ASSERT_EQ(a.status, 0);
    ASSERT_TRUE(a.err.empty()) << a.errText();
    for (const run* r : {&b, &c, &d}) {
        EXPECT_EQ(r->status, 0);
        EXPECT_EQ(mask_times(r->out), mask_times(a.out));
    }
    const std::string results = read_file(plain.path / "gaussian_results.csv");
    ASSERT_FALSE(results.empty());
    for (const tempdir* t : {&withProgress, &byPath, &twoThreads})
        EXPECT_EQ(read_file(t->path / "gaussian_results.csv"), results);
    EXPECT_TRUE(d.err.empty()) << d.errText();

    // The phases in the order of the run, each ending complete.
    std::vector<std::string> outer;
    for (const auto& p : phases(b))
        if (p != "fits" && (outer.empty() || outer.back() != p)) outer.push_back(p);
    EXPECT_EQ(outer, (std::vector<std::string>{"reading", "calibration", "interval", "writing", "montecarlo"}));
    std::map<std::string, std::string> last;
    for (const auto& l : b.err) last[l.text.substr(9, l.text.find(' ', 9) - 9)] = l.text;
    EXPECT_EQ(last["reading"], "progress reading " + std::to_string(fs::file_size(plain.path / "columbus.csv")) +
                                   " " + std::to_string(fs::file_size(plain.path / "columbus.csv")));
    EXPECT_EQ(last["writing"], "progress writing 1 1");
    EXPECT_EQ(last["montecarlo"], "progress montecarlo 99 99");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(last["calibration"], m, progress_line));
    EXPECT_EQ(m[2], m[3]);
    // The number of criterion evaluations is the listing's own count.
    EXPECT_NE(a.out.find("** Convergence after " + std::string(5 - m[2].length(), ' ') + m[2].str() +
                         " function calls"),
              std::string::npos);
    // Every criterion evaluation is announced before it runs: the steps go
    // 0, 1, 2, ... up to the count, and the estimated total never falls
    // below the step.
    std::vector<long long> steps;
    for (const auto& l : b.err) {
        std::smatch c;
        if (std::regex_match(l.text, c, progress_line) && c[1] == "calibration") steps.push_back(std::stoll(c[2]));
    }
    std::vector<long long> expected(std::stoll(m[2]) + 1);
    for (std::size_t k = 0; k < expected.size(); ++k) expected[k] = static_cast<long long>(k);
    EXPECT_EQ(steps, expected);
    // Montecarlo sets are counted one by one, 0 to 99.
    int sets = 0;
    for (const auto& l : b.err) sets += l.text.rfind("progress montecarlo ", 0) == 0;
    EXPECT_EQ(sets, 100);
}

TEST(CommandLine, ProgressMovesSeveralTimesASecondOnALargeRun) {
    // 20 000 points, fixed Gaussian kernel with a given bandwidth, casewise
    // diagnostics: two long fitting loops and the steps between them.
    tempdir t;
    ASSERT_TRUE(synth::write_data(t.file("big.csv"), 20000, 7));
    const std::string ctl = t.write("big.tzm",
                                    "big.csv\n\n\n4\n2,3,0\nLarge run\nFFFFTT\nfnn\n2.5\n0\n0\n0\n0\n1\n2\n1\n");
    const run r = tzm({"--progress", "--threads", "2"}, t.path, ctl);
    ASSERT_EQ(r.status, 0) << r.errText();
    EXPECT_EQ(phases(r), (std::vector<std::string>{"reading", "fits"}));
    ASSERT_GE(r.err.size(), 4u);
    double gap = 0;
    for (std::size_t i = 1; i < r.err.size(); ++i) gap = std::max(gap, r.err[i].at - r.err[i - 1].at);
    EXPECT_LT(gap, 1.0) << "longest wait between progress lines";
    EXPECT_EQ(r.err.back().text, "progress fits 20000 20000");
    // The same listing without progress.
    const run quiet = tzm({}, t.path, ctl);
    EXPECT_EQ(mask_times(quiet.out), mask_times(r.out));
}

TEST(CommandLine, HelpVersionAndRefusedOptions) {
    tempdir t;
    const run help = tzm({"--help"}, t.path);
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--threads", "--progress", "--version", "CONTROL", "docs"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word << "\n" << help.out;

    const run version = tzm({"--version"}, t.path);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tzm release " TZM_RELEASE ", build " TZM_BUILD "\n");
    // The banner of a run names the same release.
    fs::copy_file(fs::path(EXAMPLES_DIR) / "columbus.csv", t.path / "columbus.csv");
    const run banner = tzm({}, t.path, (fs::path(EXAMPLES_DIR) / "gaussian.tzm").string());
    EXPECT_NE(banner.out.find("*               Release " TZM_RELEASE " "), std::string::npos);
    EXPECT_EQ(lines(banner.out)[2].size(), 49u);

    // Refused: one line on standard error, status 2, nothing on the listing.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--threads", "0"}, {"--frobnicate"}, {"a.tzm", "b.tzm"}, {"missing.tzm"}}) {
        const run r = tzm(args, t.path);
        EXPECT_EQ(r.status, 2) << args[0];
        ASSERT_EQ(r.err.size(), 1u) << r.errText();
        EXPECT_EQ(r.err[0].text.rfind("tzm: ", 0), 0u) << r.err[0].text;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_NE(tzm({"missing.tzm"}, t.path).err[0].text.find("'missing.tzm'"), std::string::npos);
    EXPECT_EQ(tzm({"--threads", "0"}, t.path).err[0].text,
              "tzm: --threads: the number of threads must be at least 1 (tzm --help lists the options)");
}

}  // namespace
