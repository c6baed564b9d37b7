// What opening a hyperlink needs beyond the system calls: the command line
// of the registered browser when the shell cannot open a target, and the
// texts that explain the shell's error codes to the user.
#pragma once

#include <cstdint>
#include <string>

// The browser's open command with the target in place of its "%1": the line
// is cut at the placeholder ("%1" in double quotes first, else a bare %1)
// and " " + target is appended; a command without one keeps its whole line.
std::string BrowserCommandLine(const std::string& command, const std::string& target);

// "Unable to open hyperlink:\n\n" and the text for the shell's or the
// program starter's result `code`.
std::string HyperlinkErrorMessage(std::intptr_t code);
// The text for `code` alone.
std::string HyperlinkErrorText(std::intptr_t code);
