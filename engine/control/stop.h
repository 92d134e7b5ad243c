// How a run ends early.
//
// gwr::stop          an error stop: the message lines are already in the
//                    listing; main writes "STOP <code> statement executed" on
//                    standard error when a code is given and exits with 0.
// gwr::exit_status   end the process with this status and nothing more
//                    (a data record that is not numbers: status 1).
// gwr::io_error      any other input or output failure: main writes one line
//                    "tzm: <what>" on standard error and exits with 2.
#pragma once

#include <stdexcept>
#include <string>

namespace gwr {

struct stop {
    std::string code;  // empty: a stop without code
    stop() = default;
    explicit stop(std::string c) : code(std::move(c)) {}
};

struct exit_status {
    int status;
};

struct io_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr int io_error_status = 2;

}  // namespace gwr
