// How a run ends early.
//
// gwr::stop          an error stop: the message lines are already in the
//                    listing; main writes "STOP <code> statement executed" on
//                    standard error when a code is given, and the note as
//                    "tzm: <note>" when there is one, and exits with 3.
// gwr::exit_status   end the process with this status and nothing more
//                    (a data record that is not numbers: status 1).
// gwr::io_error      any other input or output failure: main writes one line
//                    "tzm: <what>" on standard error and exits with 2.
#pragma once

#include <stdexcept>
#include <string>

namespace gwr {

// An error stop (status 3).
struct stop {
    std::string code;  // empty: a stop without code
    std::string note;  // empty: nothing more on standard error
    stop() = default;
    explicit stop(std::string c) : code(std::move(c)) {}
    stop(std::string c, std::string n) : code(std::move(c)), note(std::move(n)) {}
};

// The end of the run with this exit status and nothing more.
struct exit_status {
    int status;
};

// An input or output failure (status 2); what() is the standard-error line.
struct io_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr int io_error_status = 2;  // exit status of an io_error
constexpr int stop_status = 3;      // exit status of an error stop

}  // namespace gwr
