#include "app/Version.h"

// The build defines it from the CMake project's version for this file alone.
#ifndef KC_PROGRAM_VERSION
#error "KC_PROGRAM_VERSION is set by CMakeLists.txt"
#endif

const char* ProgramVersion() { return KC_PROGRAM_VERSION; }
