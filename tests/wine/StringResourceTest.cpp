// The resource section of the built program against the table compiled into
// the core: both come from res/strings.inc, one through windres and one through
// the C++ compiler, and a wrong code page or escape on either path shows here.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "WineFixtures.h"
#include "app/StringIds.h"

namespace {

struct SModuleCloser {
    void operator()(HMODULE h) const { FreeLibrary(h); }
};
using ModulePtr = std::unique_ptr<std::remove_pointer_t<HMODULE>, SModuleCloser>;

ModulePtr LoadProgramAsData() {
    return ModulePtr(LoadLibraryExW(InstalledProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

// The whole resource string, embedded line feeds included; a fixed buffer
// would cut long texts without saying so.
bool LoadResourceString(HMODULE module, UINT id, std::wstring* text) {
    const wchar_t* p = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&p), 0);
    if (length <= 0 || !p) return false;
    text->assign(p, static_cast<std::size_t>(length));
    return true;
}

}  // namespace

TEST(ProgramResources, StringTableMatchesCompiledTexts) {
    ModulePtr module = LoadProgramAsData();
    ASSERT_TRUE(module) << "cannot load " << ToUtf8(InstalledProgramPath()) << ", error " << GetLastError();

    for (UINT id = 1; id <= 47; ++id) {
        SCOPED_TRACE("string " + std::to_string(id));
        std::wstring loaded;
        const bool present = LoadResourceString(module.get(), id, &loaded);
        if (id == 19) {
            EXPECT_FALSE(present) << "the table has no id 19, but the program holds \"" << ToUtf8(loaded) << "\"";
            continue;
        }
        const std::wstring compiled = Text(id);
        ASSERT_FALSE(compiled.empty()) << "the compiled table lacks this id";
        ASSERT_TRUE(present) << "missing from the program's resources";
        EXPECT_TRUE(loaded == compiled) << "the program holds \"" << ToUtf8(loaded) << "\"\nthe core compiled \""
                                        << ToUtf8(compiled) << "\"";
    }
}

TEST(ProgramResources, DialogAndStringsArePolish) {
    ModulePtr module = LoadProgramAsData();
    ASSERT_TRUE(module);
    const WORD polish = MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT);
    EXPECT_TRUE(FindResourceExW(module.get(), RT_DIALOG, MAKEINTRESOURCEW(102), polish))
        << "dialog 102 in Polish";
    // Strings are stored sixteen to a block, block n holding ids 16(n-1)..16n-1.
    for (WORD block = 1; block <= 3; ++block) {
        EXPECT_TRUE(FindResourceExW(module.get(), RT_STRING, MAKEINTRESOURCEW(block), polish))
            << "string block " << block << " in Polish";
    }
}
