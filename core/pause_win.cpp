// The press-any-key pause through the command interpreter's "pause".
#include <cstdio>
#include <cstdlib>

void platformPause() {
    std::fflush(stdout);
    std::system("pause");
}
