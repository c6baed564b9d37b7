// A process that only waits: copied under worm-like names, it gives the
// tests real processes to list, open and end.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Sleep(5 * 60 * 1000);
    return 0;
}
