#pragma once

// The answer of a phase that prints its own messages: go on with the run,
// or stop it.
enum class Outcome { GoOn, Stop };
