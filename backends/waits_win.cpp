#include <windows.h>

#include "backends/waits.h"

void sleepAtLeast(uint32_t milliseconds) { Sleep(milliseconds); }
