// The simulated machine's environment variables and its view of the web: a
// table of addresses and what each answers, opened and read the way the
// Internet library hands out a download.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/SimMachine.h"

namespace {

// The Internet library's "name not resolved": the host is unknown.
constexpr std::int32_t kNameNotResolved = 12007;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void CSimMachine::SetEnvironment(const std::string& name, const std::string& value) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (value.empty()) {
        m_environment.erase(Upper(name));
    } else {
        m_environment[Upper(name)] = value;
    }
}

std::uint32_t CSimMachine::ExpandEnvironment(const std::string& text, std::string& out, std::uint32_t capacity) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (CheckFault("ExpandEnvironment", text)) return 0;
    std::string expanded;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            expanded += text[i++];
            continue;
        }
        const auto found = m_environment.find(Upper(text.substr(i + 1, close - i - 1)));
        if (found != m_environment.end()) {
            expanded += found->second;
            i = close + 1;
        } else {
            // Left as written; the closing '%' may open the next name.
            expanded += text.substr(i, close - i);
            i = close;
        }
    }
    const auto needed = static_cast<std::uint32_t>(expanded.size() + 1);
    if (needed <= capacity) out = expanded;
    return needed;
}

void CSimMachine::SetInternetAvailable(bool available) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_bInternetAvailable = available;
}

void CSimMachine::ServeUrl(const std::string& url, const std::string& body, std::uint32_t status) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_web[url] = {body, status};
}

void CSimMachine::SetInternetChunk(std::uint32_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_internetChunk = std::max<std::uint32_t>(bytes, 1);
}

std::vector<std::string> CSimMachine::UrlRequests() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_urlRequests;
}

int CSimMachine::OpenInternetHandleCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return static_cast<int>(m_internet.size());
}

bool CSimMachine::InternetAvailable() {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_bInternetAvailable;
}

std::int32_t CSimMachine::InternetOpenSession(const std::string& agent, InternetHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (!m_bInternetAvailable) return ERROR_PROC_NOT_FOUND;
    if (std::int32_t e = CheckFault("InternetOpenSession", agent)) return e;
    out = m_nextInternet;
    m_nextInternet += 4;
    m_internet[out] = {true, {}, 0};
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::InternetSetTimeouts(InternetHandle session, std::uint32_t) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const auto it = m_internet.find(session);
    if (it == m_internet.end() || !it->second.session) return ERROR_INVALID_HANDLE;
    return CheckFault("InternetSetTimeouts", "");
}

std::int32_t CSimMachine::InternetOpenAddress(InternetHandle session, const std::string& url, std::uint32_t,
                                              InternetHandle& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    const auto it = m_internet.find(session);
    if (it == m_internet.end() || !it->second.session) return ERROR_INVALID_HANDLE;
    m_urlRequests.push_back(url);
    if (std::int32_t e = CheckFault("InternetOpenAddress", url)) return e;
    const auto page = m_web.find(url);
    if (page == m_web.end()) return kNameNotResolved;
    out = m_nextInternet;
    m_nextInternet += 4;
    m_internet[out] = {false, page->second, 0};
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::HttpQueryStatus(InternetHandle request, std::uint32_t& status) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const auto it = m_internet.find(request);
    if (it == m_internet.end() || it->second.session) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("HttpQueryStatus", "")) return e;
    status = it->second.page.status;
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::InternetQueryAvailable(InternetHandle request, std::uint32_t& available) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const auto it = m_internet.find(request);
    if (it == m_internet.end() || it->second.session) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("InternetQueryAvailable", "")) return e;
    const std::size_t left = it->second.page.body.size() - it->second.next;
    available = static_cast<std::uint32_t>(std::min<std::size_t>(left, m_internetChunk));
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::InternetRead(InternetHandle request, std::uint8_t* buffer, std::uint32_t length,
                                       std::uint32_t& read) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    read = 0;
    const auto it = m_internet.find(request);
    if (it == m_internet.end() || it->second.session) return ERROR_INVALID_HANDLE;
    if (std::int32_t e = CheckFault("InternetRead", "")) return e;
    InternetObject& object = it->second;
    const std::size_t n = std::min<std::size_t>(length, object.page.body.size() - object.next);
    std::memcpy(buffer, object.page.body.data() + object.next, n);
    object.next += n;
    read = static_cast<std::uint32_t>(n);
    return ERROR_SUCCESS;
}

void CSimMachine::InternetClose(InternetHandle handle) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_internet.erase(handle);
}
