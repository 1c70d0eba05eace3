// What the Windows loader and the host find in the built library beyond the
// property list and terminology themselves: language, lookup, version, manifest.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "BuiltResources.h"
#include "PluginDataFile.h"
#include "ResourceReader.h"

namespace vexo::test {
namespace {

constexpr WORD kUSEnglish = 1033;

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

std::vector<WORD> LanguagesOf(const PluginDataFile& module, LPCSTR type, WORD id) {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module.handle(), type, MAKEINTRESOURCEA(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

TEST(ModuleResources, AreInUSEnglishOnly) {
    PluginDataFile module;
    EXPECT_EQ(LanguagesOf(module, "PIPL", 16002), std::vector<WORD>{kUSEnglish});
    EXPECT_EQ(LanguagesOf(module, "AETE", 16003), std::vector<WORD>{kUSEnglish});
    EXPECT_EQ(LanguagesOf(module, MAKEINTRESOURCEA(16), 1), std::vector<WORD>{kUSEnglish});
    EXPECT_EQ(LanguagesOf(module, MAKEINTRESOURCEA(24), 2), std::vector<WORD>{kUSEnglish});
}

TEST(ModuleResources, HostFindsThemByTypeNameInAnyCase) {
    PluginDataFile module;
    for (const char* type : {"PiPL", "pipl", "PIPL"}) {
        EXPECT_NE(FindResourceA(module.handle(), MAKEINTRESOURCEA(16002), type), nullptr) << type;
    }
    for (const char* type : {"aete", "AETE"}) {
        EXPECT_NE(FindResourceA(module.handle(), MAKEINTRESOURCEA(16003), type), nullptr) << type;
    }
}

TEST(ModuleResources, TerminologyLinkLeadsToTheTerminology) {
    PluginDataFile module;
    PropertyList list = ParsePropertyList(module.Resource("PIPL", 16002));
    for (const Property& property : list.properties) {
        if (property.key == "hstm") {
            ByteReader reader(property.data);
            reader.Take(12);
            WORD id = reader.Int16();
            Terminology terminology = ParseTerminology(module.Resource("AETE", id));
            EXPECT_EQ(terminology.suites.size(), 1u);
            return;
        }
    }
    ADD_FAILURE() << "no terminology link";
}

// The files that tools read beside the library hold the very bytes compiled into it.
TEST(ModuleResources, AreTheGeneratedFiles) {
    PluginDataFile module;
    EXPECT_EQ(module.Resource("PIPL", 16002), ReadWholeFile(VEXO_PROPERTY_LIST_FILE));
    EXPECT_EQ(module.Resource("AETE", 16003), ReadWholeFile(VEXO_TERMINOLOGY_FILE));
}

class VersionResource : public testing::Test {
protected:
    void SetUp() override {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(VEXO_PLUGIN_FILE, &ignored);
        ASSERT_NE(size, 0u) << "no version resource";
        info.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(VEXO_PLUGIN_FILE, 0, size, info.data()));
    }

    std::string String(const std::string& name) {
        std::string path = "\\StringFileInfo\\040904B0\\" + name;
        char* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
            text == nullptr) {
            return "(missing)";
        }
        return text;
    }

    std::vector<std::uint8_t> info;
};

TEST_F(VersionResource, FixedPartIsVersion1250OfALibrary) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00050000u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flag";
}

TEST_F(VersionResource, StringsAreInTheUSEnglishUnicodeBlock) {
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translations[0].language, 0x0409);
    EXPECT_EQ(translations[0].codePage, 0x04B0);

    EXPECT_EQ(String("CompanyName"), "Corvane, Inc.");
    EXPECT_EQ(String("FileDescription"), "Corvane' Pellion Plug-In");
    EXPECT_EQ(String("InternalName"), "Vexo Plug-In");
    EXPECT_EQ(String("OriginalFilename"), "Vexo.8bf");
    EXPECT_EQ(String("ProductName"), "Pellion Plug-In");
    EXPECT_EQ(String("FileVersion"), "1.2.5.0");
    EXPECT_EQ(String("ProductVersion"), "1.2.5.0");
}

TEST(Manifest, AsksForTheCallersRightsAndNothingElse) {
    PluginDataFile module;
    Bytes bytes = module.Resource(MAKEINTRESOURCEA(24), 2);
    std::string manifest(bytes.begin(), bytes.end());

    // Every element the manifest opens, in order: no dependency, no compatibility
    // or other settings besides the execution level.
    std::vector<std::string> elements;
    std::regex openingTag(R"(<([A-Za-z][\w:.-]*))");
    for (std::sregex_iterator it(manifest.begin(), manifest.end(), openingTag), end; it != end;
         ++it) {
        elements.push_back((*it)[1]);
    }
    EXPECT_EQ(elements,
              (std::vector<std::string>{"assembly", "trustInfo", "security", "requestedPrivileges",
                                        "requestedExecutionLevel"}));

    std::smatch level;
    ASSERT_TRUE(
        std::regex_search(manifest, level, std::regex(R"(<requestedExecutionLevel\s[^>]*>)")));
    EXPECT_TRUE(std::regex_search(level.str(), std::regex(R"(\blevel="asInvoker")")));
    EXPECT_TRUE(std::regex_search(level.str(), std::regex(R"(\buiAccess="false")")));
}

}  // namespace
}  // namespace vexo::test
