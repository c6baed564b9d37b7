#include "ui/win32/AnimatedGifCtrl.h"

#include <olectl.h>
#include <shellapi.h>

#include "app/StringIds.h"
#include "platform/win32/Utf.h"
#include "ui/GifBlocks.h"
#include "ui/win32/OlePicture.h"

namespace {

// The tooltip style the banner was designed with.
constexpr DWORD kToolTipStyle = 0x478;
// The question a click asks while a scan runs.
constexpr UINT kLeaveDuringScanQuestion = 46;

class CLock {
public:
    explicit CLock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
    ~CLock() { LeaveCriticalSection(&m_section); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

std::wstring LoadResourceText(UINT id) {
    const wchar_t* text = nullptr;
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? std::wstring(text, static_cast<std::size_t>(n)) : std::wstring();
}

}  // namespace

CAnimatedGifCtrl::CAnimatedGifCtrl() : m_hStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    InitializeCriticalSection(&m_canvasLock);
}

CAnimatedGifCtrl::~CAnimatedGifCtrl() {
    UnLoad();
    if (m_hStopEvent) CloseHandle(m_hStopEvent);
    DeleteCriticalSection(&m_canvasLock);
}

bool CAnimatedGifCtrl::Attach(HWND hWnd) {
    if (!Subclass(hWnd)) return false;
    SetWindowLongW(hWnd, GWL_STYLE, GetWindowLongW(hWnd, GWL_STYLE) | SS_NOTIFY);
    if (m_strTarget.empty()) {
        const int length = GetWindowTextLengthW(hWnd);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(hWnd, text.data(), length + 1)));
        m_strTarget = text;
    }
    m_hCursor = LoadCursorW(nullptr, IDC_HAND);
    if (m_toolTip.Create(hWnd, kToolTipStyle)) m_toolTip.AddTool(hWnd, kToolId, m_strTipText);
    return true;
}

void CAnimatedGifCtrl::SetTipText(const std::string& text) {
    m_strTipText = text;
    m_toolTip.UpdateTipText(Handle(), kToolId, text);
}

bool CAnimatedGifCtrl::LoadFromResource(HMODULE module, const wchar_t* name, const wchar_t* type) {
    const HRSRC found = FindResourceW(module, name, type);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        UnLoad();
        return false;
    }
    return Load(static_cast<const std::uint8_t*>(data), SizeofResource(module, found));
}

bool CAnimatedGifCtrl::Load(const std::uint8_t* data, std::size_t size) {
    UnLoad();
    if (!data || size == 0 || size > gif::kMaxPictureBytes) return false;

    GifScreen screen;
    if (!ReadGifScreen(data, size, screen)) {
        // Not a GIF: whatever else the system's loader can read, drawn once
        // at its own size.
        m_pPicture = LoadPictureFromMemory(data, size);
        if (!m_pPicture) return false;
        OLE_XSIZE_HIMETRIC width = 0;
        OLE_YSIZE_HIMETRIC height = 0;
        m_pPicture->get_Width(&width);
        m_pPicture->get_Height(&height);
        const HDC dc = GetDC(Handle());
        const int dpiX = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
        const int dpiY = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ReleaseDC(Handle(), dc);
        // Sizes come in hundredths of a millimetre.
        return PrepareCanvas(MulDiv(width, dpiX, 2540), MulDiv(height, dpiY, 2540));
    }

    m_bIsGif = true;
    const std::size_t frames = CountGifFrames(data, size, screen);
    if (frames == 0) return false;
    if (frames == 1) {
        m_pPicture = LoadPictureFromMemory(data, size);
        return m_pPicture && PrepareCanvas(screen.width, screen.height);
    }
    std::size_t pos = screen.firstBlock;
    GifFrame frame;
    while (m_frames.size() < gif::kMaxFrames && ExtractFrame(data, size, screen, pos, frame)) {
        const std::vector<std::uint8_t> single = MakeFrameGif(data, size, screen, frame);
        IPicture* picture = single.empty() ? nullptr : LoadPictureFromMemory(single.data(), single.size());
        // A frame the loader rejects is left out of the animation.
        if (!picture) continue;
        m_frames.push_back({picture, frame.width, frame.height, frame.left, frame.top, frame.delay, frame.disposal});
    }
    return !m_frames.empty() && PrepareCanvas(screen.width, screen.height);
}

bool CAnimatedGifCtrl::PrepareCanvas(int width, int height) {
    if (!Handle() || width <= 0 || height <= 0) return false;
    SetWindowPos(Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const HDC dc = GetDC(Handle());
    if (!dc) return false;
    CLock lock(m_canvasLock);
    m_hCanvasDC = CreateCompatibleDC(dc);
    m_hCanvasBitmap = CreateCompatibleBitmap(dc, width, height);
    ReleaseDC(Handle(), dc);
    if (!m_hCanvasDC || !m_hCanvasBitmap) {
        ReleaseCanvas();
        return false;
    }
    m_hCanvasOld = SelectObject(m_hCanvasDC, m_hCanvasBitmap);
    m_nWidth = width;
    m_nHeight = height;
    m_crBackground = GetSysColor(COLOR_BTNFACE);
    const RECT all{0, 0, width, height};
    FillRect(m_hCanvasDC, &all, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
    m_toolTip.UpdateToolRect(Handle(), kToolId);
    m_bReady = true;
    return true;
}

void CAnimatedGifCtrl::ReleaseCanvas() {
    if (m_hSaveDC) {
        SelectObject(m_hSaveDC, m_hSaveOld);
        DeleteDC(m_hSaveDC);
    }
    if (m_hSaveBitmap) DeleteObject(m_hSaveBitmap);
    if (m_hCanvasDC) {
        if (m_hCanvasOld) SelectObject(m_hCanvasDC, m_hCanvasOld);
        DeleteDC(m_hCanvasDC);
    }
    if (m_hCanvasBitmap) DeleteObject(m_hCanvasBitmap);
    m_hSaveDC = m_hCanvasDC = nullptr;
    m_hSaveBitmap = m_hCanvasBitmap = nullptr;
    m_hSaveOld = m_hCanvasOld = nullptr;
}

bool CAnimatedGifCtrl::Start() {
    if (!m_bReady) return false;
    if (!m_frames.empty()) {
        if (m_hThread) return true;
        m_bStop = false;
        m_hThread = CreateThread(nullptr, 0, &CAnimatedGifCtrl::AnimationThread, this, CREATE_SUSPENDED, nullptr);
        if (!m_hThread) return false;
        ResumeThread(m_hThread);
        return true;
    }
    bool drawn = false;
    {
        CLock lock(m_canvasLock);
        drawn = RenderPicture(m_pPicture, m_hCanvasDC, RECT{0, 0, m_nWidth, m_nHeight});
    }
    if (drawn) InvalidateRect(Handle(), nullptr, FALSE);
    return drawn;
}

void CAnimatedGifCtrl::Stop() {
    m_bStop = true;
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    if (m_hThread) {
        // The thread waits for nothing but the stop event and takes the
        // canvas lock only to draw, so it ends at once. It must have ended
        // before its frames and canvas are released, however long that is.
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hStopEvent) ResetEvent(m_hStopEvent);
    m_bStop = false;
}

void CAnimatedGifCtrl::UnLoad() {
    Stop();
    for (const SFrame& frame : m_frames) frame.picture->Release();
    m_frames.clear();
    if (m_pPicture) m_pPicture->Release();
    m_pPicture = nullptr;
    {
        CLock lock(m_canvasLock);
        ReleaseCanvas();
        m_bReady = false;
    }
    m_nWidth = m_nHeight = 0;
    m_nCurrentFrame = 0;
    m_bIsGif = false;
    m_crBackground = RGB(255, 255, 255);
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

DWORD WINAPI CAnimatedGifCtrl::AnimationThread(LPVOID self) {
    static_cast<CAnimatedGifCtrl*>(self)->Animate();
    return 0;
}

void CAnimatedGifCtrl::Animate() {
    m_bThreadRunning = true;
    {
        CLock lock(m_canvasLock);
        ApplyDisposal(m_frames[m_nCurrentFrame]);
    }
    // A frame's disposal, and the clearing after the last frame, happen in
    // the same step as the drawing of the next frame, so that a paint never
    // shows the canvas half way between two frames.
    const SFrame* shown = nullptr;
    bool wrapped = false;
    while (!m_bStop) {
        const SFrame& frame = m_frames[m_nCurrentFrame];
        bool drawn = false;
        {
            CLock lock(m_canvasLock);
            if (shown) ApplyDisposal(*shown);
            if (wrapped) FillCanvas(RECT{0, 0, m_nWidth, m_nHeight});
            drawn = DrawFrame(frame);
        }
        if (drawn) InvalidateRect(Handle(), nullptr, FALSE);
        if (m_bStop) break;
        WaitForSingleObject(m_hStopEvent, static_cast<DWORD>(FrameWaitMilliseconds(frame.delay)));
        if (m_bStop) break;
        shown = &frame;
        wrapped = ++m_nCurrentFrame >= m_frames.size();
        if (wrapped) m_nCurrentFrame = 0;
    }
    m_bThreadRunning = false;
}

bool CAnimatedGifCtrl::DrawFrame(const SFrame& frame) {
    const RECT area{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
    if (frame.disposal == 3 && !m_hSaveDC) {
        // What lies under the frame comes back when it is cleared.
        m_hSaveDC = CreateCompatibleDC(m_hCanvasDC);
        m_hSaveBitmap = CreateCompatibleBitmap(m_hCanvasDC, frame.width, frame.height);
        if (m_hSaveDC && m_hSaveBitmap) {
            m_hSaveOld = SelectObject(m_hSaveDC, m_hSaveBitmap);
            BitBlt(m_hSaveDC, 0, 0, frame.width, frame.height, m_hCanvasDC, frame.left, frame.top, SRCCOPY);
        } else {
            if (m_hSaveDC) DeleteDC(m_hSaveDC);
            if (m_hSaveBitmap) DeleteObject(m_hSaveBitmap);
            m_hSaveDC = nullptr;
            m_hSaveBitmap = nullptr;
        }
    }
    return RenderPicture(frame.picture, m_hCanvasDC, area);
}

void CAnimatedGifCtrl::ApplyDisposal(const SFrame& frame) {
    const RECT area{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
    if (frame.disposal == 2) {
        FillCanvas(area);
    } else if (frame.disposal == 3 && m_hSaveDC) {
        BitBlt(m_hCanvasDC, frame.left, frame.top, frame.width, frame.height, m_hSaveDC, 0, 0, SRCCOPY);
        SelectObject(m_hSaveDC, m_hSaveOld);
        DeleteDC(m_hSaveDC);
        DeleteObject(m_hSaveBitmap);
        m_hSaveDC = nullptr;
        m_hSaveBitmap = nullptr;
        m_hSaveOld = nullptr;
    }
}

void CAnimatedGifCtrl::FillCanvas(const RECT& area) {
    const HBRUSH brush = CreateSolidBrush(m_crBackground);
    if (!brush) return;
    FillRect(m_hCanvasDC, &area, brush);
    DeleteObject(brush);
}

LRESULT CAnimatedGifCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kSetTargetMessage:
            m_strTarget = *reinterpret_cast<const std::wstring*>(lParam);
            return TRUE;
        case kShowPictureMessage: {
            const auto& data = *reinterpret_cast<const std::vector<std::uint8_t>*>(lParam);
            UnLoad();
            return Load(data.data(), data.size()) && Start() ? TRUE : FALSE;
        }
        case kReflectedMessageBase + WM_COMMAND:
            if (HIWORD(wParam) != STN_CLICKED) return 0;
            OnClicked();
            return 1;
        case WM_MOUSEMOVE:
            InvalidateRect(Handle(), nullptr, TRUE);
            break;
        case WM_SETCURSOR:
            if (!m_hCursor) break;
            SetCursor(m_hCursor);
            return TRUE;
        case WM_ERASEBKGND:
            // The canvas covers the whole control.
            if (m_bReady) return TRUE;
            break;
        case WM_PAINT:
            if (!m_bReady) break;
            OnPaint();
            return 0;
        case WM_DESTROY:
            // The pictures belong to OLE, which the program shuts down after
            // the window has gone but maybe before this object goes.
            UnLoad();
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}

void CAnimatedGifCtrl::OnPaint() {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(Handle(), &ps);
    if (!dc) return;
    {
        CLock lock(m_canvasLock);
        if (m_hCanvasDC) BitBlt(dc, 0, 0, m_nWidth, m_nHeight, m_hCanvasDC, 0, 0, SRCCOPY);
    }
    EndPaint(Handle(), &ps);
}

void CAnimatedGifCtrl::OnClicked() {
    if (m_bWarnBeforeOpen) {
        const std::wstring question = LoadResourceText(kLeaveDuringScanQuestion);
        if (MessageBoxW(GetParent(Handle()), question.c_str(), Widen(kProductTitle).c_str(),
                        MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
            return;
        }
    }
    if (!m_strTarget.empty()) ShellExecuteW(nullptr, L"open", m_strTarget.c_str(), nullptr, nullptr, SW_SHOW);
}
