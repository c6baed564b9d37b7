// A key of the simulated registry.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimMachine.h"
#include "sys/Text.h"

struct CSimMachine::RegNode {
    struct Value {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    std::string name;
    RegNode* parent = nullptr;
    // Set when the key is deleted while handles to it are still open: the
    // system answers ERROR_KEY_DELETED through such handles.
    bool deleted = false;
    // Subkeys enumerate in name order ignoring case, as on Windows; values
    // in the order they were created.
    std::vector<std::shared_ptr<RegNode>> children;
    std::vector<Value> values;

    RegNode* Child(const std::string& n) const {
        for (const auto& c : children)
            if (EqualsNoCase(c->name, n)) return c.get();
        return nullptr;
    }
    RegNode* AddChild(const std::string& n) {
        auto node = std::make_shared<RegNode>();
        node->name = n;
        node->parent = this;
        auto at = std::find_if(children.begin(), children.end(),
                               [&](const auto& c) { return CompareNoCase(c->name, n) > 0; });
        return children.insert(at, std::move(node))->get();
    }
    std::shared_ptr<RegNode> Shared(const RegNode* child) const {
        for (const auto& c : children)
            if (c.get() == child) return c;
        return nullptr;
    }
    void MarkDeleted() {
        deleted = true;
        for (auto& c : children) c->MarkDeleted();
    }
    Value* FindValue(const std::string& n) {
        for (auto& v : values)
            if (EqualsNoCase(v.name, n)) return &v;
        return nullptr;
    }
};
