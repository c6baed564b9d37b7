#include "ui/LinkOpen.h"

namespace {

struct SErrorText {
    std::intptr_t code;
    const char* text;
};

// The shell's result codes (SE_ERR_* and the system errors it passes on).
const SErrorText kErrorTexts[] = {
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};

}  // namespace

std::string BrowserCommandLine(const std::string& command, const std::string& target) {
    std::string line = command;
    std::size_t cut = line.find("\"%1\"");
    if (cut == std::string::npos) cut = line.find("%1");
    if (cut != std::string::npos) line.resize(cut);
    return line + " " + target;
}

std::string HyperlinkErrorText(std::intptr_t code) {
    for (const SErrorText& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    // The code as a 32-bit number, the way the system reports it.
    return "Unknown Error (" + std::to_string(static_cast<std::int32_t>(code)) + ") occurred.";
}

std::string HyperlinkErrorMessage(std::intptr_t code) {
    return "Unable to open hyperlink:\n\n" + HyperlinkErrorText(code);
}
