#include "app/keep_awake.h"

// A console program here has no say over the system's sleep.
void keepSystemAwake() {}

void allowSystemSleep() {}
