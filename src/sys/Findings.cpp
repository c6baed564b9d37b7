#include "sys/Findings.h"

std::string FamilyOfLine(const std::string& line) {
    std::size_t end = line.size();
    while (end > 0 && line[end - 1] == ')') --end;
    if (end == line.size()) return {};
    const std::size_t open = line.rfind('(', end);
    if (open == std::string::npos) return {};
    return line.substr(open + 1, end - open - 1);
}

std::string RootKeyName(RegKey root) {
    if (root == winroot::kLocalMachine) return "HKEY_LOCAL_MACHINE";
    if (root == winroot::kCurrentUser) return "HKEY_CURRENT_USER";
    if (root == winroot::kClassesRoot) return "HKEY_CLASSES_ROOT";
    if (root == winroot::kUsers) return "HKEY_USERS";
    return "HKEY";
}

Finding FailedStep(ActionKind kind, std::string target, std::string family) {
    Finding finding;
    finding.kind = kind;
    finding.target = std::move(target);
    finding.family = std::move(family);
    finding.succeeded = false;
    return finding;
}
