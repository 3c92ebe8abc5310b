#include <cstdio>
#include <string>
#include <vector>

#include "driver/console.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    meldrix::Console console(stdout);
    const int status = meldrix::runConverter(arguments, console);
    console.flush();
    return status;
}
