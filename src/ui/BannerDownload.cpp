// The banner thread: fetches the index and the banner picture from the
// maker's site into a directory of the maker's name and puts the picture
// and the index's address on the banner. One attempt per start; every
// failure ends it quietly and leaves the banner as it is.
#include <vector>

#include "app/CleanerDlg.h"
#include "app/StringIds.h"
#include "ui/BannerIndex.h"
#include "ui/GifBlocks.h"

namespace {

const char kAgent[] = "KESTRO_szczepionka";
const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kLocalAppDataValue[] = "Local AppData";
const char kMakerDirName[] = "\\KESTRO";
const char kFallbackDir[] = "c:\\KESTRO";
const char kSitePath[] = "/zelvo";
// The value and the expansion are read into buffers of this size.
constexpr std::uint32_t kPathBufferSize = 260;

// INTERNET_FLAG_RELOAD | INTERNET_FLAG_CACHE_IF_NET_FAIL: always ask the
// site, and take the cached copy when the network fails.
constexpr std::uint32_t kOpenFlags = 0x80010000u;
constexpr std::uint32_t kHttpOk = 200;
// The dialog waits for this thread on its way out, so no call of the
// Internet library may hang for long: a site that does not answer within
// this time counts as unreachable.
constexpr std::uint32_t kInternetTimeoutMs = 10000;
// Asking how much data is there may fail while more is on the way, so the
// transfer asks again, but no more than this many times in a row.
constexpr int kMaxTransferRetries = 5;
// What the library says is there is read in pieces of at most this size.
constexpr std::uint32_t kMaxReadPiece = 64 * 1024;
// The index is read only to kIndexReadLimit; a larger download is no index.
constexpr std::size_t kMaxIndexDownload = 64 * 1024;

// "a\b\" and "a\b" name the same directory; the banner files go below it.
std::string WithoutTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

class CBannerTransfer {
public:
    CBannerTransfer(IPlatform& platform, const std::atomic<bool>& cancel) : m_platform(platform), m_cancel(cancel) {}

    // Downloads `url` into `path` through `session`. The data goes to a
    // file beside it first and replaces `path` only once it is complete, so
    // a broken transfer never leaves half a file, nor loses an earlier copy.
    bool Fetch(InternetHandle session, const std::string& url, const std::string& path, std::size_t maxBytes) {
        // The dialog is going: no new connection that could keep it waiting.
        if (m_cancel) return false;
        InternetHandle request = 0;
        if (m_platform.InternetOpenAddress(session, url, kOpenFlags, request) != ERROR_SUCCESS) return false;
        // The library opens an error page as readily as the file: only the
        // file itself may replace the local copy.
        std::uint32_t status = 0;
        const bool found = m_platform.HttpQueryStatus(request, status) == ERROR_SUCCESS && status == kHttpOk;
        const bool stored = found && StoreAs(request, path, maxBytes);
        m_platform.InternetClose(request);
        return stored;
    }

private:
    bool StoreAs(InternetHandle request, const std::string& path, std::size_t maxBytes) {
        const std::string part = path + ".part";
        m_platform.RemoveFile(part);
        FileHandle file = kInvalidFile;
        if (m_platform.CreateForWrite(part, true, file) != ERROR_SUCCESS) return false;
        const bool complete = Transfer(request, file, maxBytes);
        m_platform.CloseFile(file);
        if (complete && Replace(part, path)) return true;
        m_platform.RemoveFile(part);
        return false;
    }

    bool Replace(const std::string& from, const std::string& to) {
        if (m_platform.RenameFile(from, to, true) == ERROR_SUCCESS) return true;
        // The 9x family cannot replace in one step.
        m_platform.RemoveFile(to);
        return m_platform.RenameFile(from, to, false) == ERROR_SUCCESS;
    }

    // Copies what the request delivers into `file`; true when the data
    // ended (the library reports nothing more available) within maxBytes.
    bool Transfer(InternetHandle request, FileHandle file, std::size_t maxBytes) {
        std::size_t total = 0;
        int failures = 0;
        while (!m_cancel) {
            std::uint32_t available = 0;
            if (m_platform.InternetQueryAvailable(request, available) != ERROR_SUCCESS) {
                if (++failures >= kMaxTransferRetries) return false;
                continue;
            }
            if (available == 0) return true;
            const std::uint32_t want = available < kMaxReadPiece ? available : kMaxReadPiece;
            if (want > maxBytes - total) return false;
            m_buffer.assign(want, 0);
            std::uint32_t read = 0;
            // A read that brings nothing although data was announced is
            // counted like a failed question: it made no progress.
            if (m_platform.InternetRead(request, m_buffer.data(), want, read) != ERROR_SUCCESS || read == 0 ||
                read > want) {
                if (++failures >= kMaxTransferRetries) return false;
                continue;
            }
            failures = 0;
            std::uint32_t written = 0;
            if (m_platform.WriteTo(file, m_buffer.data(), read, written) != ERROR_SUCCESS || written != read) {
                return false;
            }
            total += read;
        }
        return false;
    }

    IPlatform& m_platform;
    const std::atomic<bool>& m_cancel;
    std::vector<std::uint8_t> m_buffer;
};

// A session with the system's proxy settings and bounded waits.
bool OpenSession(IPlatform& platform, InternetHandle& session) {
    if (!platform.InternetAvailable()) return false;
    if (platform.InternetOpenSession(kAgent, session) != ERROR_SUCCESS) return false;
    // Without the time-outs the library's own (which may be very long) apply.
    platform.InternetSetTimeouts(session, kInternetTimeoutMs);
    return true;
}

// The whole file, when it can be opened and is no larger than `maxBytes`.
bool ReadWholeFile(IPlatform& platform, const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    FileHandle file = kInvalidFile;
    if (platform.OpenForRead(path, file) != ERROR_SUCCESS) return false;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    bool ok = platform.FileInfo(file, attributes, size) == ERROR_SUCCESS && size <= maxBytes;
    if (ok) {
        out.assign(static_cast<std::size_t>(size), 0);
        std::uint32_t read = 0;
        ok = size == 0 || (platform.ReadAt(file, 0, out.data(), static_cast<std::uint32_t>(size), read) ==
                               ERROR_SUCCESS &&
                           read == size);
    }
    platform.CloseFile(file);
    return ok;
}

}  // namespace

void CCleanerDlg::StartBannerDownload() {
    if (m_pBannerThread) return;
    m_strBannerDir.clear();
    m_strBannerUrl = LoadText(IDS_WEB_ADDRESS) + kSitePath;
    // Without the library there is nothing to download: the built-in
    // banner stays.
    if (!m_platform.InternetAvailable()) return;
    m_pBannerThread = m_platform.StartThread(&CCleanerDlg::BannerThreadProc, this);
}

void CCleanerDlg::BannerThreadProc(void* dialog) { static_cast<CCleanerDlg*>(dialog)->RunBannerDownload(); }

void CCleanerDlg::RunBannerDownload() {
    DetermineBannerDir();
    if (m_strBannerDir.empty()) m_strBannerDir = kFallbackDir;
    // One level; an existing directory is what later runs find.
    m_platform.MakeDirectory(m_strBannerDir);

    std::vector<std::string> lines;
    // An index needs both lines; with fewer the built-in banner stays.
    if (!DownloadIndex(lines) || lines.size() < 2) return;
    if (IsWebAddress(lines[1])) m_view.SetBannerTarget(lines[1]);
    std::string banner = lines[0];
    if (!DownloadBanner(banner)) return;
    std::vector<std::uint8_t> picture;
    if (ReadWholeFile(m_platform, banner, gif::kMaxPictureBytes, picture)) m_view.ShowBannerPicture(picture);
}

bool CCleanerDlg::DetermineBannerDir() {
    RegKey key = 0;
    if (m_platform.OpenKey(winroot::kCurrentUser, kShellFoldersKey, key) != ERROR_SUCCESS) return false;
    std::vector<std::uint8_t> data(kPathBufferSize, 0);
    std::uint32_t type = 0;
    std::uint32_t size = kPathBufferSize;
    if (m_platform.QueryValue(key, kLocalAppDataValue, &type, data.data(), &size) == ERROR_SUCCESS) {
        // The data may or may not carry its terminator.
        std::string dir(data.begin(), data.begin() + (size < kPathBufferSize ? size : kPathBufferSize));
        dir.resize(dir.find('\0') == std::string::npos ? dir.size() : dir.find('\0'));
        if (!dir.empty()) m_strBannerDir = WithoutTrailingBackslash(dir) + kMakerDirName;
    }
    m_platform.CloseKey(key);
    if (m_strBannerDir.empty()) {
        std::string temp;
        const std::uint32_t n = m_platform.ExpandEnvironment("%TEMP%", temp, kPathBufferSize);
        // An undefined variable comes back as written: no directory in it.
        if (n != 0 && n <= kPathBufferSize && !temp.empty() && temp != "%TEMP%") {
            m_strBannerDir = WithoutTrailingBackslash(temp) + kMakerDirName;
        } else {
            m_strBannerDir = kFallbackDir;
        }
    }
    return true;
}

bool CCleanerDlg::DownloadIndex(std::vector<std::string>& lines) {
    InternetHandle session = 0;
    if (!OpenSession(m_platform, session)) return false;
    const std::string local = m_strBannerDir + "\\" + banner::kIndexName;
    CBannerTransfer(m_platform, m_bBannerCancel)
        .Fetch(session, m_strBannerUrl + "/" + banner::kIndexName, local, kMaxIndexDownload);
    m_platform.InternetClose(session);

    // This run's copy, or the one an earlier run left when this download
    // failed.
    FileHandle file = kInvalidFile;
    if (m_platform.OpenForRead(local, file) != ERROR_SUCCESS) return false;
    std::vector<std::uint8_t> text(banner::kIndexReadLimit, 0);
    std::uint32_t read = 0;
    const bool ok = m_platform.ReadAt(file, 0, text.data(), banner::kIndexReadLimit, read) == ERROR_SUCCESS;
    m_platform.CloseFile(file);
    if (!ok) return false;
    const std::vector<std::string> pieces = SplitIndexText(text.data(), read);
    lines.insert(lines.end(), pieces.begin(), pieces.end());
    return true;
}

bool CCleanerDlg::DownloadBanner(std::string& name) {
    std::string stem;
    if (!BannerStem(name, stem)) return false;
    InternetHandle session = 0;
    if (!OpenSession(m_platform, session)) return false;
    const std::string local = LocalBannerPath(m_strBannerDir, stem);
    const bool stored = CBannerTransfer(m_platform, m_bBannerCancel)
                            .Fetch(session, RemoteBannerUrl(m_strBannerUrl, stem), local, gif::kMaxPictureBytes);
    m_platform.InternetClose(session);
    if (stored) name = local;
    return stored;
}
