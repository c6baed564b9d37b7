// The small animation that plays beside the path box during a scan: an
// animation control showing one of the shell's own clips.
#pragma once

#include <windows.h>

class CShellAnimation {
public:
    // Creates the control in `parent` and opens the clip, stopped on its
    // first frame. Returns whether the control exists; it may exist and stay
    // empty when the shell has no such clip.
    bool Create(HWND parent);
    // Both may be called from any thread: they only send messages.
    void Play();
    void Stop();

private:
    HWND m_hWnd = nullptr;  // a child of the dialog, destroyed with it
};
