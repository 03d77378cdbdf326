#include <windows.h>

#include "midi/pacing_sleep.h"

void pacingSleep(uint32_t milliseconds) { Sleep(milliseconds); }
