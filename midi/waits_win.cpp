#include <windows.h>

#include "midi/waits.h"

void pacingSleep(uint32_t milliseconds) { Sleep(milliseconds); }
