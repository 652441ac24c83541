#include "cli/Commands.h"
#include <cstdlib>

int main(int argc, char** argv) {
    // Without TZ the C library looks at /etc/localtime again for every time it converts:
    // one system call per entry of a bulk extraction. Naming the same file reads it once.
    setenv("TZ", ":/etc/localtime", 0);
    return runCli(argc, argv);
}
