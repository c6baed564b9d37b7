// The index that the maker's site serves beside the banner, "descript.ion":
// its lines, and the names of the banner files derived from its first line.
// Both lines come from the network, so they are checked before they name a
// file on this machine or a target for the shell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace banner {

// The index's name on the site and in the local directory.
inline constexpr char kIndexName[] = "descript.ion";
// Only the first two lines are used; the index is read this far and no further.
constexpr std::size_t kIndexReadLimit = 1024;
// The extensions that replace the last three characters of the first line:
// the site serves the picture under one, the machine keeps it under the other.
inline constexpr char kRemoteExtension[] = "vir";
inline constexpr char kLocalExtension[] = "gif";

}  // namespace banner

// The non-empty pieces of the index between runs of CR and LF, in order. The
// index was read as a C string, so a zero byte ends it; nothing at or past
// `size` is read.
std::vector<std::string> SplitIndexText(const std::uint8_t* data, std::size_t size);

// Line 1 without its last three characters. False when what remains is no
// plain file name (empty, or holding a path separator, a drive colon or a
// control character): such a line could make the download write outside the
// banner directory.
bool BannerStem(const std::string& line1, std::string& stem);

// base + "/" + stem + "vir", and dir + "\" + stem + "gif".
std::string RemoteBannerUrl(const std::string& base, const std::string& stem);
std::string LocalBannerPath(const std::string& dir, const std::string& stem);

// True for an http:// or https:// address: what a click on the banner may
// open. Anything else the shell would run as a program or a document.
bool IsWebAddress(const std::string& target);
