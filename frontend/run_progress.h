// What the run dialog makes of the engine's standard error: the progress
// lines of `tzm --progress` ("progress PHASE STEP STEPS") become a phase, a
// fraction done and an estimate of the time left; every other line is the
// engine's own message text, kept for the report of a failed run.
#pragma once

#include <QByteArray>
#include <QString>

class RunProgress {
public:
    // Takes the next bytes of standard error (lines may arrive in pieces).
    // `second` is the run's clock in whole seconds, for the estimate.
    void feed(const QByteArray& bytes, long second);
    // The engine's text other than progress lines, as written.
    QString messages() const { return messages_; }

    // True once a progress line has arrived.
    bool started() const { return !phase_.isEmpty(); }
    // How far the current phase is, 0 to 1.
    double fraction() const;
    // The current phase for the user, such as "Local fits: 1200 of 20000".
    QString phaseText() const;
    // Seconds the current phase still needs, judged from its pace since it
    // began; -1 while there is too little to judge from.
    long secondsLeft(long second) const;
    // "about 2 min 05 s", "about 40 s", or "-" when it cannot be judged.
    static QString leftText(long seconds);

private:
    void line(const QByteArray& text, long second);
    void begin(const QString& key, long second);

    QByteArray pending_;
    QString messages_;
    // The phase shown: a top-level phase, or calibration / interval / montecarlo with
    // its steps, whose fitting loops refine the step in progress.
    QString phase_;
    long long step_ = 0, steps_ = 0;
    bool outer_ = false;               // phase_ is calibration, interval or montecarlo, still running
    long long done_ = 0, total_ = 0;  // fits of the loop inside an outer phase
    QString key_;                     // what the time estimate measures
    long keyStart_ = 0;
};
