// tzm: the engine.  Control file on standard input, listing on standard output.
#include <iostream>

#include "control/control.h"

int main() {
    std::ios::sync_with_stdio(false);
    gwr::state s(std::cin, std::cout, std::cerr);
    return gwr::run(s);
}
