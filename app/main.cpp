#include "app/active_profile.h"
#include "app/run.h"

// The whole update run for the executable's own profile.
static int runUpdate() { return runUpdateWith(ACTIVE_PROFILE); }

int main() { return runUpdate(); }
