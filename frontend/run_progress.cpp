#include "run_progress.h"

#include <QList>

#include <algorithm>
#include <cmath>

void RunProgress::feed(const QByteArray& bytes, long second) {
    pending_ += bytes;
    qsizetype nl;
    while ((nl = pending_.indexOf('\n')) >= 0) {
        line(pending_.left(nl), second);
        pending_.remove(0, nl + 1);
    }
}

void RunProgress::begin(const QString& key, long second) {
    if (key == key_) return;
    key_ = key;
    keyStart_ = second;
}

void RunProgress::line(const QByteArray& text, long second) {
    const QList<QByteArray> w = text.split(' ');
    bool ok1 = false, ok2 = false;
    const long long step = w.size() == 4 ? w[2].toLongLong(&ok1) : 0;
    const long long steps = w.size() == 4 ? w[3].toLongLong(&ok2) : 0;
    if (w.size() != 4 || w[0] != "progress" || !ok1 || !ok2 || step < 0 || steps < 0) {
        messages_ += QString::fromUtf8(text) + "\n";
        return;
    }
    const QString phase = QString::fromLatin1(w[1]);
    if (phase == "fits" && outer_) {
        // A fitting loop of the calibration trial or Monte Carlo set in hand.
        done_ = step;
        total_ = steps;
        return;
    }
    phase_ = phase;
    step_ = step;
    steps_ = steps;
    done_ = total_ = 0;
    outer_ = (phase == "calibration" || phase == "interval" || phase == "montecarlo") && step < steps;
    begin(outer_ || phase != "fits" ? phase : "fits " + QString::number(steps), second);
}

double RunProgress::fraction() const {
    if (steps_ <= 0) return 0.0;
    double f = double(step_);
    if (outer_ && total_ > 0) f += double(done_) / double(total_);
    return std::clamp(f / double(steps_), 0.0, 1.0);
}

QString RunProgress::phaseText() const {
    if (phase_ == "reading") return "Reading the data";
    if (phase_ == "writing") return "Writing the result file";
    if (phase_ == "calibration")
        return QString("Calibrating the bandwidth: trial %1 of about %2")
            .arg(std::min(step_ + (outer_ ? 1 : 0), steps_))
            .arg(steps_);
    if (phase_ == "interval")
        return QString("Bandwidth interval: trial %1 of %2").arg(std::min(step_ + (outer_ ? 1 : 0), steps_)).arg(steps_);
    if (phase_ == "montecarlo")
        return QString("Monte Carlo test: set %1 of %2").arg(std::min(step_ + (outer_ ? 1 : 0), steps_)).arg(steps_);
    if (phase_ == "multiscale") return QString("Multiscale back-fitting: round %1").arg(step_ + 1);
    if (phase_ == "inference") return QString("Multiscale inference: block %1 of %2").arg(step_).arg(steps_);
    if (phase_ == "fits") return QString("Local fits: %1 of %2").arg(step_).arg(steps_);
    return phase_;
}

long RunProgress::secondsLeft(long second) const {
    const double f = fraction();
    const long spent = second - keyStart_;
    if (f <= 0.0 || f >= 1.0 || spent < 2) return f >= 1.0 ? 0 : -1;
    return long(std::lround(spent * (1.0 - f) / f));
}

QString RunProgress::leftText(long s) {
    if (s < 0) return "-";
    if (s < 60) return QString("about %1 s").arg(s);
    if (s < 3600) return QString("about %1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
    return QString("about %1 h %2 min").arg(s / 3600).arg((s % 3600) / 60, 2, 10, QChar('0'));
}
