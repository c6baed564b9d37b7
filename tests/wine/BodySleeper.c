/* A stand-in for a running worm body: a program that only waits, and whose
   file has a long stretch of data that a test may overwrite with a family's
   rule windows without breaking the program. Built without the C runtime,
   so the stretch is the first thing after a few hundred bytes of code and
   reaches past the furthest window of the rule table (TracePlanter.cpp finds
   it by its opening text and checks that a window fits). */
#include <windows.h>

/* Not static and marked used: the linker must keep all of it in the file. */
__attribute__((used)) const unsigned char g_bodyPadding[60 * 1024] = {'K', 'C', '-', 'B', 'O', 'D', 'Y', '-',
                                                                         'P', 'A', 'D', 'D', 'I', 'N', 'G', '-'};

/* Five minutes: far longer than any scan, and still ending by itself
   should a test that started it die without ending it. */
void BodyMain(void) {
    Sleep(5 * 60 * 1000);
    ExitProcess(0);
}
