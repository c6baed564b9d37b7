#include "RuleBodies.h"

#include <algorithm>

std::string RuleWindowBody(int family) {
    std::string body;
    ForEachRule([&](const SignatureRule& rule) {
        if (rule.family != family || !body.empty()) return;
        body.assign(rule.offset + rule.length, '\0');
        body.replace(rule.offset, rule.length, reinterpret_cast<const char*>(rule.bytes), rule.length);
    });
    return body;
}

std::vector<SignatureRule> RulesWithStandIns(std::vector<SignatureRule> standIns) {
    std::stable_sort(standIns.begin(), standIns.end(),
                     [](const SignatureRule& a, const SignatureRule& b) { return a.family > b.family; });
    std::vector<SignatureRule> rules;
    std::size_t next = 0;
    ForEachRule([&](const SignatureRule& rule) {
        while (next < standIns.size() && standIns[next].family > rule.family) rules.push_back(standIns[next++]);
        rules.push_back(rule);
    });
    rules.insert(rules.end(), standIns.begin() + static_cast<std::ptrdiff_t>(next), standIns.end());
    return rules;
}
