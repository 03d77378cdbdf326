#include "app/active_profile.h"
#include "app/run.h"

int runUpdate() { return runUpdateWith(ACTIVE_PROFILE); }

int main() { return runUpdate(); }
