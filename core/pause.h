// The platform's press-any-key pause (pause_posix.cpp, pause_win.cpp).
#pragma once

// Prints the prompt and waits for one key; returns at once without input.
void platformPause();
