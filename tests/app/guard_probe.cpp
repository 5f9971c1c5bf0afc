// Holds the single-instance guard in a process of its own for the tests: prints "claimed" or
// "refused"; a claimed guard is released when a line arrives on standard input (or it closes).
#include "app/InstanceGuard.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: guard_probe KEY\n");
        return 2;
    }
    InstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    if (!guard.claim()) {
        std::printf("refused\n");
        std::fflush(stdout);
        return 0;
    }
    std::printf("claimed\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    guard.release();
    return 0;
}
