// Files the classifier takes for a family, built from the product's own
// rule table so that they follow it when a window changes.
#pragma once

#include <string>
#include <vector>

#include "scan/RuleTable.h"

// Zeros holding the first window of `family` at its offset; empty when the
// table lists no bytes for the family.
std::string RuleWindowBody(int family);

// The product's table with `standIns` placed among its families, higher
// families first as the product orders them, so that a test can hand the
// classifier windows for the families whose bytes are not listed while
// every other family is still known as the product knows it.
std::vector<SignatureRule> RulesWithStandIns(std::vector<SignatureRule> standIns);
