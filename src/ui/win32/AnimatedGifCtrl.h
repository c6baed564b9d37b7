// The banner: a static control that shows a picture from the program's
// resources or from a download. An animated GIF is split into its frames,
// each decoded by the system's picture loader, and a thread of the control's
// own draws them one after the other into an off-screen canvas with their
// delays and disposal methods; one-frame GIFs and other pictures are drawn
// once. It is a link too: hand cursor, tooltip, and a click opens its target,
// after a question while a scan runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/win32/SubclassedWnd.h"
#include "ui/win32/ToolTipCtrl.h"

struct IPicture;

class CAnimatedGifCtrl : public CSubclassedWnd {
public:
    // Sent by another thread to change the banner on the thread that owns
    // it. lParam points to a std::wstring (the target) or to a
    // std::vector<std::uint8_t> (a picture, shown in place of the current
    // one; the answer is TRUE when it shows).
    static constexpr UINT kSetTargetMessage = WM_APP + 0x40;
    static constexpr UINT kShowPictureMessage = WM_APP + 0x41;

    CAnimatedGifCtrl();
    ~CAnimatedGifCtrl() override;

    // Takes over the dialog's static control: clicks, cursor, tooltip.
    bool Attach(HWND hWnd);

    bool LoadFromResource(HMODULE module, const wchar_t* name, const wchar_t* type);
    // Replaces what is loaded by the picture in `data`; true when it can be
    // drawn. Every failure leaves the control empty.
    bool Load(const std::uint8_t* data, std::size_t size);
    // Draws a still picture, or starts the animation; false when nothing is
    // loaded.
    bool Start();
    void Stop();
    void UnLoad();

    void SetTarget(const std::wstring& target) { m_strTarget = target; }
    void SetTipText(const std::string& text);
    void SetWarnBeforeOpen(bool warn) { m_bWarnBeforeOpen = warn; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static constexpr UINT_PTR kToolId = 2222;

    struct SFrame {
        IPicture* picture;
        int width, height, left, top;
        int delay;     // hundredths of a second, -1 without a control extension
        int disposal;  // how the frame's area is cleared before the next one
    };

    static DWORD WINAPI AnimationThread(LPVOID self);
    void Animate();
    bool PrepareCanvas(int width, int height);
    void ReleaseCanvas();
    // Both run with the canvas locked.
    bool DrawFrame(const SFrame& frame);
    void ApplyDisposal(const SFrame& frame);
    void FillCanvas(const RECT& area);
    void OnPaint();
    void OnClicked();

    bool m_bWarnBeforeOpen = false;
    HCURSOR m_hCursor = nullptr;  // the system's shared hand
    CToolTipCtrl m_toolTip;
    std::string m_strTipText;
    std::wstring m_strTarget;
    int m_nWidth = 0;
    int m_nHeight = 0;
    COLORREF m_crBackground = RGB(255, 255, 255);
    std::size_t m_nCurrentFrame = 0;
    bool m_bIsGif = false;
    std::atomic<bool> m_bThreadRunning{false};
    std::atomic<bool> m_bStop{false};
    bool m_bReady = false;
    HDC m_hCanvasDC = nullptr;
    HBITMAP m_hCanvasBitmap = nullptr;
    HGDIOBJ m_hCanvasOld = nullptr;
    HDC m_hSaveDC = nullptr;
    HBITMAP m_hSaveBitmap = nullptr;
    HGDIOBJ m_hSaveOld = nullptr;
    HANDLE m_hThread = nullptr;
    HANDLE m_hStopEvent;
    IPicture* m_pPicture = nullptr;
    std::vector<SFrame> m_frames;
    // The animation thread draws into the canvas while the UI thread paints
    // from it; a device context is not for two threads at once.
    CRITICAL_SECTION m_canvasLock;
};
