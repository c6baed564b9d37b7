// What the family cleaners share: how a Run value becomes a file path, how a
// virus file is removed and logged, and the settings those steps take. The
// steps themselves are CCleanerDlg members (CleanerPattern.cpp); the Run
// command normaliser is also a pure function so it can be tested on strings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/StringIds.h"
#include "platform/WinDefs.h"

// The Run key that every cleaner follows, under HKLM and then HKCU.
inline constexpr const char* kRunKeyParent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr const char* kRunKeyName = "Run";
inline constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// One value of a Run key as it was listed.
struct RunValue {
    int rootIndex = 0;  // 0 HKLM, 1 HKCU: the index ReadRegistryValues and RestoreRegistryValues take
    RegKey root = 0;
    std::string name;
    std::string data;
};
using RunValueVisitor = std::function<void(const RunValue&)>;

// How a Run command loses its arguments.
enum class RunTrimRule {
    // Cut until a "." stands fourth from the end: a three-letter extension.
    Dot,
    // Cut until the text ends in ".exe"; applied only when ".exe" (exact
    // case) occurs, so the cut always finds its end.
    Exe,
};

// Where a command without a drive ("x.exe") is looked for.
enum class RunBaseDir { System, Windows, None };

struct RunCommandOptions {
    bool bExpandPlaceholders = true;  // "%systemroot%" / "%system%"
    RunTrimRule trim = RunTrimRule::Dot;
    RunBaseDir base = RunBaseDir::System;
};

// Steps 2 to 4 of turning Run data into a file path: quote strip, trim,
// base directory (directories without a trailing backslash). Expanding the
// placeholders is the caller's first step (CCleanerDlg::ExpandSystemDirs).
// An empty result names no file and must not be acted on.
std::string NormalizeRunCommand(std::string data, RunTrimRule trim, RunBaseDir base, const std::string& windowsDir,
                                const std::string& systemDir);

// How RemoveVirusFile goes about it. The two named forms are what most
// cleaners use; a few families combine the steps otherwise.
struct RemoveFileOptions {
    bool bResetAttributes = true;  // read-only, hidden and system files refuse deletion
    bool bRestartFallback = true;  // schedule the deletion at restart when it fails now
    bool bWriteLines = true;

    static RemoveFileOptions Full() { return {true, true, true}; }
    static RemoveFileOptions Short() { return {false, false, true}; }
};

// Where the family tag stands in the restart line.
enum class RestartTagOrder {
    TagBeforePath,  // string 9 + tag + path + string 11; the tag ends in a blank
    PathBeforeTag,  // string 9 + path + tag + string 11 (Vesser, Bagle's Run files)
};

struct VirusFileTags {
    std::string deleted;  // after the path in the deletion line
    std::string restart;  // in the restart line, placed by `order`
    RestartTagOrder order = RestartTagOrder::TagBeforePath;
    // The text that opens the deletion line; a few families use string 4.
    std::uint32_t deletedTextId = IDS_VIRUS_FILE_DELETED;
};

enum class RemoveOutcome {
    Deleted,
    Scheduled,   // deletion at the next restart was accepted
    NotRemoved,  // absent, a directory, or both ways refused
};

// The family a tag names ("(I-Worm.NetSky) " and " (I-Worm.NetSky)" both
// give I-Worm.NetSky), for the findings of lines where the tag is not last.
std::string FamilyOfTag(const std::string& tag);
