// What the presentation tests add to the suite's fixtures: windows read back
// pixel by pixel from the screen, pictures made to order, a stand-in browser
// behind the shell's web and mail handlers, the maker's site behind the
// prefix's proxy setting, and the program's banner directory.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ProgramDriver.h"
#include "WineFixtures.h"

// --- pictures of windows ---------------------------------------------------------

// Pixels of a window as the screen shows them, top row first.
struct SPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> rgb;

    COLORREF At(int x, int y) const;
    // Pixels of `area` (in the picture's coordinates) that have colour `c`.
    int Count(const RECT& area, COLORREF c) const;
    // The pixels of `area` alone, for comparing two pictures of it.
    std::vector<COLORREF> Crop(const RECT& area) const;
};

SPixels CaptureWindow(HWND window);
// Saves the window under screenshots/<name>.bmp, says where, and reads the
// file back.
SPixels SaveShot(const CProgramDriver& program, HWND window, const std::string& name);
// The same for a message box, once its text shows.
SPixels SaveMessageBoxShot(const CProgramDriver& program, const SMessageBox& box, const std::string& name);
// Captures the window until `ready` holds for the picture (it has painted
// what the test waits for) or the time is up; returns the last picture.
SPixels WaitForPicture(HWND window, const std::function<bool(const SPixels&)>& ready,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Where `child` lies in a picture of `window`.
RECT ChildArea(HWND window, HWND child);

// --- pictures made to order --------------------------------------------------------

struct SGifFrame {
    int left, top, width, height;
    int colour;  // index into the palette
    int delay;   // hundredths of a second
    int disposal;
};

// A GIF with a palette of up to four colours and solid-coloured frames.
std::string MakeGif(int width, int height, const std::vector<COLORREF>& palette,
                    const std::vector<SGifFrame>& frames);
// A 24-bit BMP of one colour.
std::string MakeBmp(int width, int height, COLORREF colour);

// --- the shell's handlers ------------------------------------------------------------

// A program that stands in for the web browser and the mail program: the
// shell's open commands for http, https and mailto start it, and it leaves
// its command line behind. Nothing a test clicks ever reaches the host.
class CStandInBrowser {
public:
    CStandInBrowser();
    const std::wstring& Program() const { return m_strProgram; }
    bool Launched() const;
    // Waits for a start and returns its command line; the next wait waits
    // for the next start.
    std::string WaitForLaunch(std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));

private:
    CPlantedTree m_dir;
    std::wstring m_strProgram;
    std::vector<std::unique_ptr<CScopedRegValue>> m_handlers;
};

// --- the maker's site ---------------------------------------------------------------

// The prefix's proxy setting, pointed at a port of 127.0.0.1 for the test.
class CScopedProxy {
public:
    explicit CScopedProxy(int port);

private:
    CScopedRegValue m_enable;
    CScopedRegValue m_server;
};

// A port of 127.0.0.1 that nothing listens on: a machine without network.
int ClosedPort();

// The site the ctest fixture serves (tests/wine/banner-site.py), with the
// proxy pointed at it. Files served and requests logged go with the object.
class CBannerSite {
public:
    CBannerSite();
    ~CBannerSite();
    CBannerSite(const CBannerSite&) = delete;
    CBannerSite& operator=(const CBannerSite&) = delete;

    int Port() const { return m_port; }
    // Serves `bytes` as http://<any host>/zelvo/<name>.
    void Serve(const std::string& name, const std::string& bytes);
    // The paths asked for, in order.
    std::vector<std::string> Requests() const;

private:
    std::wstring m_strDir;
    int m_port = 0;
    std::size_t m_logStart = 0;  // where this test's requests begin in the log
    std::vector<std::wstring> m_served;
    std::unique_ptr<CScopedProxy> m_pProxy;
};

// The program's banner directory, "Local AppData" + "\KESTRO". Emptied of
// what an earlier, killed test left, and after the test emptied of what the
// program and the test put there (and removed when it was not there before).
class CBannerDirectory {
public:
    CBannerDirectory();
    ~CBannerDirectory();
    CBannerDirectory(const CBannerDirectory&) = delete;
    CBannerDirectory& operator=(const CBannerDirectory&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    std::wstring File(const std::wstring& name) const { return m_strPath + L"\\" + name; }
    std::vector<std::wstring> Files() const;

private:
    void RemoveFiles() const;

    std::wstring m_strPath;
    bool m_bExisted = false;
};

// Waits until `done` holds or the time is up; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
