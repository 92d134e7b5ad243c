#include "support/testing.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace testing_support {

harness::harness(const std::string& control) : in(control) {
    s = std::make_unique<gwr::state>(in, out, err);
}

tempdir::tempdir() {
    std::string templ = (std::filesystem::temp_directory_path() / "gwrtest.XXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path = buf.data();
}

tempdir::~tempdir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string tempdir::write(const std::string& name, const std::string& text) const {
    auto p = path / name;
    std::ofstream f(p, std::ios::binary);
    f << text;
    return p.string();
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

run_result run_tzm(const std::string& control, const std::filesystem::path& workdir) {
    tempdir io;
    std::string ctl = io.write("control.tzm", control);
    std::string outp = io.file("stdout.txt");
    std::string errp = io.file("stderr.txt");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workdir.c_str()) != 0) _exit(127);
        if (!freopen(ctl.c_str(), "r", stdin)) _exit(127);
        if (!freopen(outp.c_str(), "w", stdout)) _exit(127);
        if (!freopen(errp.c_str(), "w", stderr)) _exit(127);
        execl(TZM_EXE, "tzm", static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    run_result r;
    r.out = read_file(outp);
    r.err = read_file(errp);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            v.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) v.push_back(cur);
    return v;
}

std::string mask_times(const std::string& listing) {
    std::string out;
    for (const auto& l : lines(listing)) {
        auto at = l.find(" at: ");
        if (l.rfind("Program ", 0) == 0 && at != std::string::npos)
            out += l.substr(0, at + 5) + "<time>";
        else
            out += l;
        out += '\n';
    }
    return out;
}

void set_calibration(gwr::run_description& d, int icalib) {
    using gwr::criterion;
    static const criterion crit[8] = {criterion::unknown, criterion::given, criterion::cv,  criterion::aicc,
                                      criterion::cv,      criterion::aicc,  criterion::bic, criterion::bic};
    d.crit = icalib >= 0 && icalib <= 7 ? crit[icalib] : criterion::unknown;
    d.sample = icalib == 4 || icalib == 5 || icalib == 7 ? gwr::sampling::sample : gwr::sampling::all;
}

}  // namespace testing_support
