#pragma once

// Keeps the computer from going to sleep while the device is being written,
// and lets it sleep again afterwards. Nothing shows on the console.
void keepSystemAwake();
void allowSystemSleep();
