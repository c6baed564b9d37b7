// A strict reader of JSON documents, for tests of the console program's
// report: it refuses what a strict parser would (raw control characters in
// strings, bad escapes, invalid UTF-8, trailing text), so a report that
// reads here is one any script can read.
#pragma once

#include <map>
#include <string>
#include <vector>

struct SJsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // a string, as UTF-8
    std::vector<SJsonValue> items;
    std::vector<std::pair<std::string, SJsonValue>> members;  // in document order

    bool IsNull() const { return type == Type::Null; }
    // The member of that name; a null value when there is none.
    const SJsonValue& operator[](const std::string& name) const;
    const SJsonValue& operator[](std::size_t index) const;
    std::size_t size() const { return type == Type::Array ? items.size() : members.size(); }
};

// False with a message naming the offset of the first fault.
bool ParseJson(const std::string& document, SJsonValue& out, std::string& error);
