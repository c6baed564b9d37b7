// The program's version, as the build's project version gives it.
#pragma once

const char* ProgramVersion();
