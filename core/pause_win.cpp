// The press-any-key pause through the command interpreter's "pause".
#include <cstdio>
#include <cstdlib>

#include "core/pause.h"

void platformPause() {
    std::fflush(stdout);
    std::system("pause");
}
