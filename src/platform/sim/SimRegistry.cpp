#include <algorithm>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegNode.h"
#include "sys/Text.h"

namespace {

std::vector<std::string> SplitKey(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

void CSimMachine::InitRegistry() {
    m_hklm = std::make_unique<RegNode>();
    m_hkcu = std::make_unique<RegNode>();
    m_hku = std::make_unique<RegNode>();
    Walk(m_hklm.get(), "SOFTWARE\\Classes", true);
}

CSimMachine::RegNode* CSimMachine::Resolve(RegKey key) const {
    if (key == winroot::kLocalMachine) return m_hklm.get();
    if (key == winroot::kCurrentUser) return m_hkcu.get();
    if (key == winroot::kUsers) return m_hku.get();
    // HKEY_CLASSES_ROOT is the machine's class registrations.
    if (key == winroot::kClassesRoot) return Walk(m_hklm.get(), "SOFTWARE\\Classes", false);
    auto it = m_keys.find(key);
    return it == m_keys.end() ? nullptr : it->second;
}

CSimMachine::RegNode* CSimMachine::Walk(RegNode* from, const std::string& subKey, bool create) const {
    RegNode* node = from;
    for (const std::string& part : SplitKey(subKey)) {
        if (!node) return nullptr;
        RegNode* next = node->Child(part);
        if (!next && create) next = node->AddChild(part);
        node = next;
    }
    return node;
}

RegKey CSimMachine::NewHandle(RegNode* node) {
    const RegKey h = m_nextKey;
    m_nextKey += 4;
    m_keys[h] = node;
    return h;
}

std::int32_t CSimMachine::OpenKey(RegKey parent, const std::string& subKey, RegKey& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (std::int32_t e = CheckFault("OpenKey", subKey)) return e;
    RegNode* from = Resolve(parent);
    if (!from) return ERROR_INVALID_HANDLE;
    RegNode* node = Walk(from, subKey, false);
    if (!node) return ERROR_FILE_NOT_FOUND;
    out = NewHandle(node);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::CreateKey(RegKey parent, const std::string& subKey, RegKey& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (std::int32_t e = CheckFault("CreateKey", subKey)) return e;
    RegNode* from = Resolve(parent);
    if (!from) return ERROR_INVALID_HANDLE;
    out = NewHandle(Walk(from, subKey, true));
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::CloseKey(RegKey key) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::int32_t CSimMachine::QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("QueryValue", name)) return e;
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    RegNode::Value* value = node->FindValue(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const std::uint32_t capacity = *size;
    *size = static_cast<std::uint32_t>(value->data.size());
    if (!data) return ERROR_SUCCESS;
    if (value->data.size() > capacity) return ERROR_MORE_DATA;
    std::copy(value->data.begin(), value->data.end(), data);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("SetValue", name)) return e;
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    std::vector<std::uint8_t> bytes(data, data + size);
    if (RegNode::Value* value = node->FindValue(name)) {
        value->type = type;
        value->data = std::move(bytes);
    } else {
        node->values.push_back({name, type, std::move(bytes)});
    }
    return ERROR_SUCCESS;
}

void CSimMachine::PutValue(RegKey root, const std::string& key, const std::string& name, std::uint32_t type,
                           const std::vector<std::uint8_t>& data) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    RegNode* node = Walk(Resolve(root), key, true);
    if (RegNode::Value* value = node->FindValue(name)) {
        value->type = type;
        value->data = data;
    } else {
        node->values.push_back({name, type, data});
    }
}

void CSimMachine::PutString(RegKey root, const std::string& key, const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    PutValue(root, key, name, REG_SZ, data);
}

void CSimMachine::PutDword(RegKey root, const std::string& key, const std::string& name, std::uint32_t value) {
    PutValue(root, key, name, REG_DWORD,
             {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16), std::uint8_t(value >> 24)});
}

bool CSimMachine::HasKey(RegKey root, const std::string& key) const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return Walk(Resolve(root), key, false) != nullptr;
}

bool CSimMachine::GetValue(RegKey root, const std::string& key, const std::string& name, std::uint32_t& type,
                           std::vector<std::uint8_t>& data) const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    RegNode* node = Walk(Resolve(root), key, false);
    RegNode::Value* value = node ? node->FindValue(name) : nullptr;
    if (!value) return false;
    type = value->type;
    data = value->data;
    return true;
}
