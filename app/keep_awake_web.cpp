// In the browser the page keeps the screen awake (Screen Wake Lock) for the
// whole run; the program has nothing to add.
#include "app/keep_awake.h"

void keepSystemAwake() {}
void allowSystemSleep() {}
