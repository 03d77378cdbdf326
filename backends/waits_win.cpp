#include <windows.h>

#include "backends/waits.h"

void pacingSleep(uint32_t milliseconds) { Sleep(milliseconds); }
