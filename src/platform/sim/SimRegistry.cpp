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
    m_hklm = std::make_shared<RegNode>();
    m_hkcu = std::make_shared<RegNode>();
    m_hku = std::make_shared<RegNode>();
    Walk(m_hklm.get(), "SOFTWARE\\Classes", true);
    // The English counter names the system keeps for its performance data.
    static const char kCounters[] =
        "1\0" "1847\0" "2\0" "System\0" "4\0" "Memory\0" "6\0" "% Processor Time\0" "230\0" "Process\0"
        "784\0" "ID Process\0";
    RegNode* perflib = Walk(m_hklm.get(), "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009", true);
    perflib->values.push_back({"Counters", REG_MULTI_SZ, std::vector<std::uint8_t>(kCounters, kCounters + sizeof kCounters)});
}

CSimMachine::RegNode* CSimMachine::Resolve(RegKey key) const {
    if (key == winroot::kLocalMachine) return m_hklm.get();
    if (key == winroot::kCurrentUser) return m_hkcu.get();
    if (key == winroot::kUsers) return m_hku.get();
    // HKEY_CLASSES_ROOT is the machine's class registrations.
    if (key == winroot::kClassesRoot) return Walk(m_hklm.get(), "SOFTWARE\\Classes", false);
    auto it = m_keys.find(key);
    return it == m_keys.end() ? nullptr : it->second.get();
}

std::shared_ptr<CSimMachine::RegNode> CSimMachine::SharedNode(RegNode* node) const {
    if (node == m_hklm.get()) return m_hklm;
    if (node == m_hkcu.get()) return m_hkcu;
    if (node == m_hku.get()) return m_hku;
    return node && node->parent ? node->parent->Shared(node) : nullptr;
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
    m_keys[h] = SharedNode(node);
    return h;
}

std::int32_t CSimMachine::OpenKey(RegKey parent, const std::string& subKey, RegKey& out) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    out = 0;
    if (std::int32_t e = CheckFault("OpenKey", subKey)) return e;
    RegNode* from = Resolve(parent);
    if (!from) return ERROR_INVALID_HANDLE;
    if (from->deleted) return ERROR_KEY_DELETED;
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
    if (from->deleted) return ERROR_KEY_DELETED;
    out = NewHandle(Walk(from, subKey, true));
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::CloseKey(RegKey key) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // Closing a predefined root is allowed and does nothing.
    if (key >= winroot::kClassesRoot && key <= winroot::kPerformanceData) return ERROR_SUCCESS;
    return m_keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::int32_t CSimMachine::QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                     std::uint32_t* size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("QueryValue", name)) return e;
    if (key == winroot::kPerformanceData) return QueryPerformanceData(name, type, data, size);
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
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
    if (node->deleted) return ERROR_KEY_DELETED;
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

std::int32_t CSimMachine::SetKeyDefault(RegKey key, const std::string& subKey, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("SetKeyDefault", subKey)) return e;
    if (type != REG_SZ) return ERROR_INVALID_PARAMETER;  // the call writes text only
    RegNode* from = Resolve(key);
    if (!from) return ERROR_INVALID_HANDLE;
    if (from->deleted) return ERROR_KEY_DELETED;
    RegNode* node = Walk(from, subKey, true);
    std::vector<std::uint8_t> bytes(data, data + size);
    if (bytes.empty() || bytes.back() != 0) bytes.push_back(0);
    if (RegNode::Value* value = node->FindValue("")) {
        value->type = REG_SZ;
        value->data = std::move(bytes);
    } else {
        node->values.push_back({"", REG_SZ, std::move(bytes)});
    }
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::EnumValue(RegKey key, std::uint32_t index, std::string& name, std::uint32_t nameCapacity,
                                    std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegNode::Value& value = node->values[index];
    if (std::int32_t e = CheckFault("EnumValue", value.name)) return e;
    name = value.name;
    if (type) *type = value.type;
    if (value.name.size() + 1 > nameCapacity) return ERROR_MORE_DATA;
    if (!size) return ERROR_SUCCESS;
    const std::uint32_t capacity = *size;
    *size = static_cast<std::uint32_t>(value.data.size());
    if (!data) return ERROR_SUCCESS;
    if (value.data.size() > capacity) return ERROR_MORE_DATA;
    std::copy(value.data.begin(), value.data.end(), data);
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::EnumKey(RegKey key, std::uint32_t index, std::string& name, std::uint32_t nameCapacity) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    if (index >= node->children.size()) return ERROR_NO_MORE_ITEMS;
    name = node->children[index]->name;
    if (std::int32_t e = CheckFault("EnumKey", name)) return e;
    return name.size() + 1 > nameCapacity ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

std::int32_t CSimMachine::DeleteKey(RegKey parent, const std::string& subKey) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("DeleteKey", subKey)) return e;
    RegNode* from = Resolve(parent);
    if (!from) return ERROR_INVALID_HANDLE;
    if (from->deleted) return ERROR_KEY_DELETED;
    RegNode* node = Walk(from, subKey, false);
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (node == from || !node->parent) return ERROR_ACCESS_DENIED;
    // The NT family refuses a key that still has subkeys; the 9x family
    // takes the whole subtree.
    if (m_platformId == VER_PLATFORM_WIN32_NT && !node->children.empty()) return ERROR_ACCESS_DENIED;
    RegNode* owner = node->parent;
    node->MarkDeleted();
    owner->children.erase(std::remove_if(owner->children.begin(), owner->children.end(),
                                         [&](const auto& c) { return c.get() == node; }),
                          owner->children.end());
    return ERROR_SUCCESS;
}

std::int32_t CSimMachine::DeleteValue(RegKey key, const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::int32_t e = CheckFault("DeleteValue", name)) return e;
    RegNode* node = Resolve(key);
    if (!node) return ERROR_INVALID_HANDLE;
    if (node->deleted) return ERROR_KEY_DELETED;
    auto& values = node->values;
    auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return EqualsNoCase(v.name, name); });
    if (it == values.end()) return ERROR_FILE_NOT_FOUND;
    values.erase(it);
    return ERROR_SUCCESS;
}
