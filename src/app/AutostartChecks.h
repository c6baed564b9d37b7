// The two decisions of the Run-entry check that read registry data alone,
// apart so that they can be tried on any text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The file name a Run command starts: what follows its last backslash, cut
// back until it ends in a dot and three characters, so "foo.exe /s" gives
// "foo.exe". Text with no such dot is cut away completely.
std::string RunFilePart(const std::string& lowerData);

// The first registration a Run value names, or names.size(). `lowerData` is
// the value's data in lower case.
std::size_t MatchRegistered(const std::vector<std::string>& names, const std::string& valueName,
                            const std::string& lowerData);
