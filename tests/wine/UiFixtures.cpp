// The sockets header must come before <windows.h>, which UiFixtures.h brings.
#include <winsock2.h>

#include "UiFixtures.h"

#include <wininet.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kSiteBase[] = "http://www.kestro.example/zelvo/";

std::wstring ScreenshotFile(const std::string& name) {
    const std::wstring dir = HostPath(KC_SCREENSHOT_DIR);
    CreateDirectoryChecked(dir);
    return dir + L"\\" + FromUtf8(name) + L".bmp";
}

SPixels ReadBmp(const std::wstring& path) {
    const std::string file = ReadWholeFile(path);
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    if (file.size() < sizeof header + sizeof info) throw std::runtime_error("not a bitmap: " + ToUtf8(path));
    memcpy(&header, file.data(), sizeof header);
    memcpy(&info, file.data() + sizeof header, sizeof info);
    if (header.bfType != 0x4D42 || info.biBitCount != 24 || info.biHeight <= 0) {
        throw std::runtime_error("not a bottom-up 24-bit bitmap: " + ToUtf8(path));
    }
    SPixels pixels;
    pixels.width = info.biWidth;
    pixels.height = info.biHeight;
    const std::size_t stride = (static_cast<std::size_t>(info.biWidth) * 3 + 3) & ~std::size_t{3};
    if (file.size() < header.bfOffBits + stride * static_cast<std::size_t>(info.biHeight)) {
        throw std::runtime_error("a bitmap cut short: " + ToUtf8(path));
    }
    pixels.rgb.resize(static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height));
    for (int y = 0; y < pixels.height; ++y) {
        const auto* row = reinterpret_cast<const BYTE*>(file.data()) + header.bfOffBits +
                          stride * static_cast<std::size_t>(pixels.height - 1 - y);
        for (int x = 0; x < pixels.width; ++x) {
            const BYTE* p = row + x * 3;
            pixels.rgb[static_cast<std::size_t>(y) * pixels.width + x] = RGB(p[2], p[1], p[0]);
        }
    }
    return pixels;
}

// Codes of the LZW stream, least significant bit first.
class CBitWriter {
public:
    void Put(unsigned code, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (m_nBit == 0) m_bytes.push_back(0);
            if (code & (1u << i)) m_bytes.back() |= static_cast<char>(1 << m_nBit);
            m_nBit = (m_nBit + 1) % 8;
        }
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    int m_nBit = 0;
};

void PutU16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// Image data of `count` pixels of one colour, minimum code size 2. A clear
// code before every two pixels keeps the decoder's table, and so the code
// size, from ever growing: simple, and every decoder reads it.
std::string SolidImageData(std::size_t count, int colour) {
    constexpr unsigned kClear = 4, kEnd = 5;
    constexpr int kBits = 3;
    CBitWriter bits;
    for (std::size_t i = 0; i < count; i += 2) {
        bits.Put(kClear, kBits);
        bits.Put(static_cast<unsigned>(colour), kBits);
        if (i + 1 < count) bits.Put(static_cast<unsigned>(colour), kBits);
    }
    bits.Put(kEnd, kBits);
    std::string blocks;
    blocks += static_cast<char>(2);  // LZW minimum code size
    const std::string& data = bits.Bytes();
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        blocks += static_cast<char>(n);
        blocks.append(data, at, n);
    }
    blocks += '\0';
    return blocks;
}

std::string ReadRegistryString(HKEY root, const wchar_t* key, const wchar_t* value) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return {};
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    return status == ERROR_SUCCESS && type == REG_SZ ? ToUtf8(buffer) : std::string();
}

}  // namespace

// --- pictures of windows ---------------------------------------------------------

COLORREF SPixels::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    return rgb[static_cast<std::size_t>(y) * width + x];
}

int SPixels::Count(const RECT& area, COLORREF c) const {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) n += At(x, y) == c ? 1 : 0;
    }
    return n;
}

std::vector<COLORREF> SPixels::Crop(const RECT& area) const {
    std::vector<COLORREF> out;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) out.push_back(At(x, y));
    }
    return out;
}

SPixels CaptureWindow(HWND window) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) throw std::runtime_error("no window to capture");
    SPixels pixels;
    pixels.width = rect.right - rect.left;
    pixels.height = rect.bottom - rect.top;
    // The screen, as SaveScreenshot takes it: a window of another process
    // paints nothing into our device contexts under Wine.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const BOOL copied = BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    if (copied && bits) {
        const auto* p = static_cast<const BYTE*>(bits);
        pixels.rgb.resize(static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height));
        for (std::size_t i = 0; i < pixels.rgb.size(); ++i) pixels.rgb[i] = RGB(p[i * 4 + 2], p[i * 4 + 1], p[i * 4]);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (pixels.rgb.empty()) throw std::runtime_error("could not copy the window from the screen");
    return pixels;
}

SPixels SaveShot(const CProgramDriver& program, HWND window, const std::string& name) {
    const std::wstring path = ScreenshotFile(name);
    const SScreenshot shot = program.SaveWindowScreenshot(window, path);
    std::cout << "screenshot: " << KC_SCREENSHOT_DIR << "/" << name << ".bmp (" << shot.width << "x" << shot.height
              << ")\n";
    return ReadBmp(path);
}

SPixels SaveMessageBoxShot(const CProgramDriver& program, const SMessageBox& box, const std::string& name) {
    // The static that holds a message box's text.
    const RECT text = ChildArea(box.hwnd, GetDlgItem(box.hwnd, 0xFFFF));
    WaitUntil([&] { return CaptureWindow(box.hwnd).Count(text, RGB(0, 0, 0)) > 50; }, std::chrono::seconds(5));
    return SaveShot(program, box.hwnd, name);
}

SPixels WaitForPicture(HWND window, const std::function<bool(const SPixels&)>& ready,
                       std::chrono::milliseconds timeout) {
    SPixels shot;
    WaitUntil(
        [&] {
            shot = CaptureWindow(window);
            return ready(shot);
        },
        timeout);
    return shot;
}

RECT ChildArea(HWND window, HWND child) {
    RECT outer{}, inner{};
    GetWindowRect(window, &outer);
    GetWindowRect(child, &inner);
    OffsetRect(&inner, -outer.left, -outer.top);
    return inner;
}

// --- pictures made to order --------------------------------------------------------

std::string MakeGif(int width, int height, const std::vector<COLORREF>& palette,
                    const std::vector<SGifFrame>& frames) {
    std::string gif = "GIF89a";
    PutU16(gif, width);
    PutU16(gif, height);
    gif += static_cast<char>(0x81);  // a global colour table of four entries
    gif += '\0';                     // background colour index
    gif += '\0';                     // pixel aspect ratio
    for (std::size_t i = 0; i < 4; ++i) {
        const COLORREF c = i < palette.size() ? palette[i] : RGB(0, 0, 0);
        gif += static_cast<char>(GetRValue(c));
        gif += static_cast<char>(GetGValue(c));
        gif += static_cast<char>(GetBValue(c));
    }
    if (frames.size() > 1) {
        gif += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";  // loop for ever
        PutU16(gif, 0);
        gif += '\0';
    }
    for (const SGifFrame& frame : frames) {
        gif += "\x21\xF9\x04";                               // graphic control extension
        gif += static_cast<char>((frame.disposal & 7) << 2);  // no transparency
        PutU16(gif, frame.delay);
        gif += '\0';  // transparent colour index
        gif += '\0';  // terminator
        gif += '\x2C';
        PutU16(gif, frame.left);
        PutU16(gif, frame.top);
        PutU16(gif, frame.width);
        PutU16(gif, frame.height);
        gif += '\0';  // no local colour table
        gif += SolidImageData(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height),
                              frame.colour);
    }
    gif += '\x3B';
    return gif;
}

std::string MakeBmp(int width, int height, COLORREF colour) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = static_cast<DWORD>(header.bfOffBits + stride * static_cast<std::size_t>(height));
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string bmp(reinterpret_cast<const char*>(&header), sizeof header);
    bmp.append(reinterpret_cast<const char*>(&info), sizeof info);
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
        row[x * 3] = static_cast<char>(GetBValue(colour));
        row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
        row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
    }
    for (int y = 0; y < height; ++y) bmp += row;
    return bmp;
}

// --- the shell's handlers ------------------------------------------------------------

CStandInBrowser::CStandInBrowser() : m_dir(L"C:\\kc-fixture-browser"), m_strProgram(m_dir.Root() + L"\\browser.exe") {
    if (!CopyFileW(InstalledMarkerPath().c_str(), m_strProgram.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy the stand-in browser, error " + std::to_string(GetLastError()));
    }
    for (const wchar_t* scheme : {L"http", L"https", L"mailto"}) {
        auto handler = std::make_unique<CScopedRegValue>(
            HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command", L"");
        handler->SetString(L"\"" + m_strProgram + L"\" \"%1\"");
        m_handlers.push_back(std::move(handler));
    }
}

bool CStandInBrowser::Launched() const { return FileExists(m_strProgram + L".ran"); }

std::string CStandInBrowser::WaitForLaunch(std::chrono::milliseconds timeout) {
    const std::wstring ran = m_strProgram + L".ran";
    if (!WaitUntil([&] { return FileExists(ran); }, timeout)) return {};
    const std::string commandLine = ReadWholeFile(ran);
    DeleteFileW(ran.c_str());
    return commandLine;
}

// --- the maker's site ---------------------------------------------------------------

CScopedProxy::CScopedProxy(int port)
    : m_enable(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable"),
      m_server(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer") {
    m_enable.Set(REG_DWORD, {1, 0, 0, 0});
    m_server.SetString(L"127.0.0.1:" + std::to_wstring(port));
}

int ClosedPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no sockets");
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    int port = 0;
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    if (port == 0) throw std::runtime_error("no free port on 127.0.0.1");
    return port;  // bound a moment ago, never listened on
}

CBannerSite::CBannerSite() : m_strDir(HostPath(KC_BANNER_SITE_DIR)) {
    const std::string port = ReadWholeFile(m_strDir + L"\\port");
    try {
        m_port = std::stoi(port);
    } catch (const std::exception&) {
        throw std::runtime_error(std::string("the banner site is not running in ") + KC_BANNER_SITE_DIR +
                                 " (the ctest fixture BannerSite.Start starts it)");
    }
    // Only this test's requests count.
    const std::string log = ReadWholeFile(m_strDir + L"\\requests.log");
    m_logStart = log.size();
    m_pProxy = std::make_unique<CScopedProxy>(m_port);
}

CBannerSite::~CBannerSite() {
    for (const std::wstring& name : m_served) {
        DeleteFileW((m_strDir + L"\\site\\" + name).c_str());
        // The cache keeps nothing the site marks "no-store"; should a
        // system keep it anyway, it goes here.
        DeleteUrlCacheEntryW((FromUtf8(kSiteBase) + name).c_str());
    }
}

void CBannerSite::Serve(const std::string& name, const std::string& bytes) {
    WriteFileChecked(m_strDir + L"\\site\\" + FromUtf8(name), bytes);
    m_served.push_back(FromUtf8(name));
}

std::vector<std::string> CBannerSite::Requests() const {
    const std::string log = ReadWholeFile(m_strDir + L"\\requests.log");
    std::vector<std::string> requests;
    std::istringstream lines(log.size() > m_logStart ? log.substr(m_logStart) : std::string());
    for (std::string line; std::getline(lines, line);) requests.push_back(line);
    return requests;
}

CBannerDirectory::CBannerDirectory() {
    const std::string localAppData = ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, L"Local AppData");
    if (localAppData.size() < 4) throw std::runtime_error("the prefix has no \"Local AppData\" folder");
    m_strPath = FromUtf8(localAppData) + L"\\KESTRO";
    const DWORD attributes = GetFileAttributesW(m_strPath.c_str());
    m_bExisted = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    RemoveFiles();
}

CBannerDirectory::~CBannerDirectory() {
    RemoveFiles();
    if (!m_bExisted) RemoveDirectoryW(m_strPath.c_str());
}

std::vector<std::wstring> CBannerDirectory::Files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((m_strPath + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

void CBannerDirectory::RemoveFiles() const {
    // The directory is the program's own: it holds the index and banners
    // only, and only files are removed, never a folder below it.
    for (const std::wstring& name : Files()) {
        SetFileAttributesW(File(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(File(name).c_str());
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
