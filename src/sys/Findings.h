// Small helpers for composing findings.
#pragma once

#include <string>

#include "app/View.h"
#include "platform/WinDefs.h"

// The family a result-log line names: the text inside its last parentheses
// when the line ends with them ("(I-Worm.NetSky.B)" gives I-Worm.NetSky.B,
// and a doubled "((X))" gives X); empty otherwise.
std::string FamilyOfLine(const std::string& line);

// "HKEY_LOCAL_MACHINE" and its kin, for naming registry targets.
std::string RootKeyName(RegKey root);

// A step that was tried on something found and did not take. It has no
// line (the log says only what was done); front ends that report failures
// and tests read the rest.
Finding FailedStep(ActionKind kind, std::string target, std::string family);
