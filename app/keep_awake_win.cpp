#include <windows.h>

#include "app/keep_awake.h"

void keepSystemAwake() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

void allowSystemSleep() { SetThreadExecutionState(ES_CONTINUOUS); }
