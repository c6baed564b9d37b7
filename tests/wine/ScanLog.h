// One whole scan of the prefix's machine, and the result log it should leave,
// section by section between the stage lines.
#pragma once

#include <string>
#include <vector>

#include "ProgramDriver.h"

// The findings expected between the stage lines of a complete scan.
struct SScanLog {
    std::vector<std::wstring> cleaners;  // after "Usuwanie plików tymczasowych": the family cleaners
    std::vector<std::wstring> registry;  // between "Sprawdzanie rejestru systemu" and its end line
    std::vector<std::wstring> memory;    // between "Sprawdzanie pamięci komputera" and its end line
    // The disk walk's findings. A directory lists its entries in whatever
    // order the file system keeps them, so these are compared as a set.
    std::vector<std::wstring> disks;
};

// Presses "Skanuj", walks no network drive, acknowledges the advice to run
// the full product, and returns the log once the program is idle again.
std::vector<std::wstring> ScanToTheEnd(CProgramDriver& program);

// Every line in its place: the stage lines, and each section in order
// (the disk section in any order).
void ExpectScanLog(const std::vector<std::wstring>& log, const SScanLog& expected);

// Lines of the result log that the tests build again and again.
std::wstring ModuleStoppedLine(const std::wstring& tag);  // KillProcessByName's line
std::wstring RunValueDeletedLine(const std::wstring& tag);
std::wstring KeyRestoredLine(const std::wstring& tag);
std::wstring FileDeletedLine(const std::wstring& path, const std::wstring& tag);
// The classifier's line for a body it could not delete (it runs).
std::wstring BodyScheduledLine(const std::wstring& path, const std::wstring& tag);
// The autostart checks' and the memory stage's lines about a registered name.
std::wstring NameRemovedFromRegistryLine(const std::wstring& family, const std::wstring& name);
std::wstring NameRemovedFromMemoryLine(const std::wstring& family, const std::wstring& name);
std::wstring NamedFileDeletedLine(const std::wstring& family, const std::wstring& path);
// The memory scan's line for a running body it recognised and stopped.
std::wstring BodyStoppedLine(const std::wstring& processName);
