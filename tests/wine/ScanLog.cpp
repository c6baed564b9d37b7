#include "ScanLog.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "WineFixtures.h"

std::vector<std::wstring> ScanToTheEnd(CProgramDriver& program) {
    program.Click(kScanButton);
    program.WaitUntilScanning();
    program.Answer(program.WaitForMessageBox("the network-drive question"), IDNO);
    program.Answer(program.WaitForMessageBox("the advice to run the full product"), IDOK);
    program.WaitUntilIdle();
    return program.LogLines();
}

void ExpectScanLog(const std::vector<std::wstring>& log, const SScanLog& expected) {
    std::vector<std::wstring> want{Text(34)};
    const auto append = [&](const std::vector<std::wstring>& lines) {
        want.insert(want.end(), lines.begin(), lines.end());
    };
    append(expected.cleaners);
    want.push_back(Text(35));
    append(expected.registry);
    want.insert(want.end(), {Text(36), Text(37)});
    append(expected.memory);
    want.insert(want.end(), {Text(38), Text(39)});
    const std::size_t disksAt = want.size();
    append(expected.disks);
    want.push_back(Text(40));

    // Up to the disk stage's first line every line is in its place; the
    // disk lines may come in any order, the end line last.
    bool same = log.size() == want.size() && std::equal(want.begin(), want.begin() + disksAt, log.begin()) &&
                log.back() == want.back();
    if (same) {
        std::vector<std::wstring> gotDisks(log.begin() + disksAt, log.end() - 1);
        std::vector<std::wstring> wantDisks(expected.disks);
        std::sort(gotDisks.begin(), gotDisks.end());
        std::sort(wantDisks.begin(), wantDisks.end());
        same = gotDisks == wantDisks;
    }
    if (!same) {
        ADD_FAILURE() << "the result log is not the expected one\nlog:" << Describe(log)
                      << "\nexpected (the disk lines in any order):" << Describe(want);
    }
}

std::wstring ModuleStoppedLine(const std::wstring& tag) { return L"   " + Text(3) + tag; }
std::wstring RunValueDeletedLine(const std::wstring& tag) { return L"   " + Text(8) + tag; }
std::wstring KeyRestoredLine(const std::wstring& tag) { return L"   " + Text(5) + tag; }
std::wstring FileDeletedLine(const std::wstring& path, const std::wstring& tag) { return Text(7) + path + tag; }
std::wstring BodyScheduledLine(const std::wstring& path, const std::wstring& tag) {
    return Text(9) + path + tag + Text(11);
}
std::wstring NameRemovedFromRegistryLine(const std::wstring& family, const std::wstring& name) {
    return Text(9) + family + L": " + name + Text(10);
}
std::wstring NameRemovedFromMemoryLine(const std::wstring& family, const std::wstring& name) {
    return Text(9) + family + L": " + name + Text(43);
}
std::wstring NamedFileDeletedLine(const std::wstring& family, const std::wstring& path) {
    return Text(7) + family + L": " + path;
}
std::wstring BodyStoppedLine(const std::wstring& processName) { return Text(14) + processName + Text(15); }
