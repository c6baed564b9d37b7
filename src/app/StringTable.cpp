#include <cstdint>

#include "app/StringIds.h"

namespace {

struct Entry {
    std::uint32_t id;
    const char* text;
};

constexpr Entry kStrings[] = {
#define KC_STRING(id, text) {id, text},
#include "strings.inc"
#undef KC_STRING
};

}  // namespace

const char* BuiltInString(std::uint32_t id) {
    for (const Entry& e : kStrings) {
        if (e.id == id) return e.text;
    }
    return "";
}
