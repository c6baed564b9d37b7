#include "ui/BannerIndex.h"

#include "sys/Text.h"

namespace {

bool IsLineBreak(std::uint8_t c) { return c == '\r' || c == '\n'; }
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::string p(prefix);
    return text.size() > p.size() && EqualsNoCase(std::string_view(text).substr(0, p.size()), p);
}

}  // namespace

std::vector<std::string> SplitIndexText(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < size && data[i] != 0; ++i) {
        if (IsLineBreak(data[i])) {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool BannerStem(const std::string& line1, std::string& stem) {
    // Three characters, not three bytes: a name in UTF-8 keeps whole letters.
    std::size_t end = line1.size();
    for (int k = 0; k < 3 && end > 0; ++k) {
        --end;
        while (end > 0 && IsContinuation(static_cast<unsigned char>(line1[end]))) --end;
    }
    const std::string candidate = line1.substr(0, end);
    if (candidate.empty()) return false;
    for (const char ch : candidate) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' || c == '/' || c == ':' || IsControl(c)) return false;
    }
    stem = candidate;
    return true;
}

std::string RemoteBannerUrl(const std::string& base, const std::string& stem) {
    return base + "/" + stem + banner::kRemoteExtension;
}

std::string LocalBannerPath(const std::string& dir, const std::string& stem) {
    return dir + "\\" + stem + banner::kLocalExtension;
}

bool IsWebAddress(const std::string& target) {
    if (!StartsWithNoCase(target, "http://") && !StartsWithNoCase(target, "https://")) return false;
    for (const char ch : target) {
        if (IsControl(static_cast<unsigned char>(ch))) return false;
    }
    return true;
}
