#include "control/progress.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <ostream>

#include "control/blocks.h"
#include "gaussian/parallel.h"

namespace gwr::progress {

namespace {

void line(std::ostream& err, const char* phase, long long step, long long steps) {
    char buf[96];
    const int len = std::snprintf(buf, sizeof buf, "progress %s %lld %lld\n", phase, step, steps);
    if (len > 0) err.write(buf, std::min<int>(len, sizeof buf - 1));
    err.flush();
}

}  // namespace

void report(state& s, const char* phase, long long step, long long steps) {
    if (s.progress && s.progress->err) line(*s.progress->err, phase, step, steps);
}

void trials(state& s, int done, double x0, double x1, double x2, double x3, double tol) {
    if (!s.progress) return;
    // Every evaluation after the first two shrinks the bracket by the golden
    // ratio; the search ends when it is within tol of the inner points.
    const double width = std::fabs(x3 - x0);
    const double target = tol * (std::fabs(x1) + std::fabs(x2));
    long long left = 0;
    if (width > target && target > 0.0)
        left = static_cast<long long>(std::ceil(std::log(width / target) / std::log(1.0 / 0.61803399)));
    else if (width > target)
        left = 1;
    if (done < 2) left += 2 - done;
    report(s, "calibration", done, done + left);
}

void reading(state& s, std::istream& in, long long records, bool done) {
    if (!s.progress || (!done && (records & 1023) != 0)) return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(s.files.datfil, ec);
    const long long total = ec ? 0 : static_cast<long long>(size);
    if (done) {
        report(s, "reading", total, total);
        return;
    }
    const auto at = in.tellg();
    if (at >= 0) report(s, "reading", std::min<long long>(at, total), total);
}

loop::loop(state& s, long long total) : sink_(s.progress && s.progress->err ? s.progress : nullptr), total_(total) {}

loop::~loop() {
    if (sink_ && said_) line(*sink_->err, "fits", done_.load(std::memory_order_relaxed), total_);
}

void loop::step() {
    const long long d = done_.fetch_add(1, std::memory_order_relaxed) + 1;
    // Thread 0 is the only writer: lines never interleave, and the other
    // threads only count.
    if (thread_num() != 0) return;
    const clock::time_point now = clock::now();
    if (now - sink_->last < sink_->interval) return;
    sink_->last = now;
    said_ = true;
    line(*sink_->err, "fits", d, total_);
}

}  // namespace gwr::progress
