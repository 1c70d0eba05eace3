// A Windows program that behaves as asked, for the checks of the runner (run-tests):
//
//   wine_run_probe say            prints a line on stdout and one on stderr
//   wine_run_probe quiet STATUS   prints nothing and exits with STATUS

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "say") == 0) {
        std::fputs("to stdout\n", stdout);
        std::fputs("to stderr\n", stderr);
        return 0;
    }
    if (std::strcmp(mode, "quiet") == 0) {
        return argc > 2 ? std::atoi(argv[2]) : 0;
    }
    return 2;
}
