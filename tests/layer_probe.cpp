// Compiled with one layer's include roots and one header (see
// CMakeLists.txt): it compiles only if that layer may include the header.
#include PROBE_INCLUDE
