#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "GuiSupport.h"
#include "host/HostFilterInterface.h"
#include "plugin/AboutResources.h"
#include "plugin/WebSite.h"

// The about box as the built plug-in carries it: its template and logo as the
// host's loader finds them, and its exported dialog procedure at work on them.
namespace {

using vexo::test::HaveDisplay;
using vexo::test::Watchdog;

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// A control's class by name; the predefined classes may also be given by ordinal.
std::string ClassName(const std::string& nameOrOrdinal) {
    if (nameOrOrdinal == "#128") {
        return "BUTTON";
    }
    if (nameOrOrdinal == "#130") {
        return "STATIC";
    }
    std::string upper = nameOrOrdinal;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

// The plug-in mapped as data only: its resources, none of its code.
class PluginData {
public:
    PluginData() : module_(LoadLibraryExA(VEXO_PLUGIN_FILE, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~PluginData() {
        if (module_) {
            FreeLibrary(module_);
        }
    }
    PluginData(const PluginData&) = delete;
    PluginData& operator=(const PluginData&) = delete;

    // The resource's bytes; empty when there is no such resource.
    std::string Resource(LPCSTR type, LPCSTR name, WORD language) const {
        HRSRC found = module_ ? FindResourceExA(module_, type, name, language) : nullptr;
        HGLOBAL loaded = found ? LoadResource(module_, found) : nullptr;
        const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        return data ? std::string(data, SizeofResource(module_, found)) : std::string();
    }

private:
    HMODULE module_;
};

// Reads the fields of an extended dialog template in order.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}

    template <typename T>
    T Read() {
        T value{};
        if (offset_ + sizeof(T) <= bytes_.size()) {
            std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
        } else {
            overrun_ = true;
        }
        offset_ += sizeof(T);
        return value;
    }

    std::string String() {
        std::string text;
        for (WORD c = Read<WORD>(); c != 0 && !overrun_; c = Read<WORD>()) {
            text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return text;
    }

    // A name or an ordinal: "#n" for an ordinal, the text for a name.
    std::string NameOrOrdinal() {
        const size_t start = offset_;
        const WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            return "#" + std::to_string(Read<WORD>());
        }
        offset_ = start;
        return String();
    }

    void AlignToDword() { offset_ = (offset_ + 3) & ~size_t{3}; }
    bool overrun() const { return overrun_; }
    size_t offset() const { return offset_; }

private:
    const std::string& bytes_;
    size_t offset_ = 0;
    bool overrun_ = false;
};

struct TemplateItem {
    DWORD id;
    std::string windowClass;
    DWORD style;
    DWORD exStyle;
    std::string text;
    short x, y, cx, cy;
};

TEST(PluginAboutTemplate, IsTheExtendedTemplateWithItsTenControls) {
    PluginData plugin;
    const std::string bytes = plugin.Resource(RT_DIALOG, "ABOUTDIALOG", kEnglishUs);
    ASSERT_FALSE(bytes.empty()) << "no English (US) ABOUTDIALOG in " VEXO_PLUGIN_FILE;

    TemplateReader in(bytes);
    EXPECT_EQ(in.Read<WORD>(), 1);       // dlgVer
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF);  // signature: extended form
    in.Read<DWORD>();                    // help id
    EXPECT_EQ(in.Read<DWORD>(), 0u);     // no extended style
    EXPECT_EQ(in.Read<DWORD>(), 0x80C808C0u);
    const WORD count = in.Read<WORD>();
    EXPECT_EQ(count, 10);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 242);
    EXPECT_EQ(in.Read<short>(), 118);
    EXPECT_EQ(in.NameOrOrdinal(), "");  // no menu
    EXPECT_EQ(in.NameOrOrdinal(), "");  // the default dialog class
    EXPECT_EQ(in.String(), "About Pellion Plug-In");
    EXPECT_EQ(in.Read<WORD>(), 10);  // points
    EXPECT_EQ(in.Read<WORD>(), 0);   // weight
    EXPECT_EQ(in.Read<BYTE>(), 0);   // not italic
    EXPECT_EQ(in.Read<BYTE>(), DEFAULT_CHARSET);
    EXPECT_EQ(in.String(), "Arial");

    const std::string button = "BUTTON";
    const std::string label = "STATIC";
    constexpr DWORD kStaticText = WS_CHILD | WS_GROUP | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE;
    const TemplateItem expected[] = {
        {IDC_ABOUT_OK, button, WS_CHILD | BS_DEFPUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 0, "&OK", 185,
         99, 23, 14},
        {IDC_ABOUT_UPDATE, button, WS_CHILD | BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP | WS_VISIBLE,
         0, "Update", 172, 99, 62, 14},
        {0xFFFF, label, WS_CHILD | SS_CENTER | WS_GROUP | WS_VISIBLE, 0,
         "Removes the distortion of fisheye lenses", 32, 77, 175, 9},
        {0xFFFF, label, kStaticText, 0, "Corvane, Inc.", 127, 32, 107, 8},
        {0xFFFF, label, kStaticText, 0, "All rights reserved.", 158, 43, 76, 8},
        {IDC_ABOUT_LOGO, label, WS_CHILD | SS_BITMAP | SS_NOTIFY | WS_VISIBLE, 0,
         "#" + std::to_string(IDB_ABOUT_LOGO), 8, 8, 100, 35},
        {0xFFFF, label, kStaticText, WS_EX_TRANSPARENT, "Pellion Version 1.2.5", 131, 6, 103, 12},
        {IDC_ABOUT_WEBSITE, label, kStaticText | SS_NOTIFY, 0, VEXO_WEB_HOST, 129, 54, 105, 8},
        {IDC_ABOUT_LEARN_MORE, button, WS_CHILD | BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0,
         "&Learn More", 8, 99, 62, 14},
        {0xFFFF, label, kStaticText, 0, "Copyright (c) 2025", 126, 21, 110, 8},
    };
    for (const TemplateItem& e : expected) {
        in.AlignToDword();
        in.Read<DWORD>();  // help id
        const DWORD exStyle = in.Read<DWORD>();
        const DWORD style = in.Read<DWORD>();
        const short x = in.Read<short>(), y = in.Read<short>();
        const short cx = in.Read<short>(), cy = in.Read<short>();
        const DWORD id = in.Read<DWORD>();
        const std::string windowClass = ClassName(in.NameOrOrdinal());
        const std::string text = in.NameOrOrdinal();
        const WORD extra = in.Read<WORD>();
        ASSERT_FALSE(in.overrun()) << "template ends before " << e.text;

        EXPECT_EQ(id & 0xFFFF, e.id & 0xFFFF) << e.text;
        EXPECT_EQ(windowClass, e.windowClass) << e.text;
        EXPECT_EQ(style, e.style) << e.text;
        EXPECT_EQ(exStyle, e.exStyle) << e.text;
        EXPECT_EQ(text, e.text);
        EXPECT_EQ(x, e.x) << e.text;
        EXPECT_EQ(y, e.y) << e.text;
        EXPECT_EQ(cx, e.cx) << e.text;
        EXPECT_EQ(cy, e.cy) << e.text;
        EXPECT_EQ(extra, 0) << e.text;
    }
    EXPECT_LE(in.offset(), bytes.size());
}

TEST(PluginAboutTemplate, LogoIsAnUncompressed24BitBitmapOf175By70) {
    PluginData plugin;
    const std::string bytes =
        plugin.Resource(RT_BITMAP, MAKEINTRESOURCEA(IDB_ABOUT_LOGO), kEnglishUs);
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header.biWidth, 175);
    EXPECT_EQ(header.biHeight, 70);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biClrUsed, 0u);
    const size_t rowBytes = (175 * 3 + 3) & ~3;
    EXPECT_EQ(bytes.size(), sizeof(header) + rowBytes * 70);
}

// The host loads the plug-in and the dialog manager calls the exported
// procedure on the plug-in's own template.
TEST(PluginAboutProc, RunsTheBoxFromThePluginsOwnTemplate) {
    if (!HaveDisplay()) {
        GTEST_SKIP() << "no display";
    }
    Watchdog watchdog(40);
    HMODULE plugin = LoadLibraryA(VEXO_PLUGIN_FILE);
    ASSERT_NE(plugin, nullptr) << "error " << GetLastError();
    auto proc = reinterpret_cast<DLGPROC>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "FilterAboutProc")));
    ASSERT_NE(proc, nullptr) << "FilterAboutProc is not exported by that name";

    vexo::test::HostWindow host;
    std::thread driver([] {
        HWND dialog = vexo::test::WaitForWindow("#32770", "About Pellion Plug-In", 10000);
        if (!dialog) {
            ADD_FAILURE() << "the about box did not appear";
            return;
        }
        char text[64] = {};
        GetDlgItemTextA(dialog, IDC_ABOUT_UPDATE, text, sizeof(text));
        EXPECT_STREQ(text, "Check for &Update");
        BITMAP logo = {};
        EXPECT_EQ(GetObjectA(reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(
                                 dialog, IDC_ABOUT_LOGO, STM_GETIMAGE, IMAGE_BITMAP, 0)),
                             sizeof(logo), &logo),
                  static_cast<int>(sizeof(logo)));
        EXPECT_EQ(logo.bmWidth, 175);
        EXPECT_EQ(logo.bmHeight, 70);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const INT_PTR result = DialogBoxParamA(plugin, "ABOUTDIALOG", host.handle(), proc, 0);
    driver.join();
    EXPECT_EQ(result, IDCANCEL);
    FreeLibrary(plugin);
}

// The host's about command: PluginMain's about selector shows the box owned by the
// host's window, and the call succeeds once the user closes it.
TEST(PluginAboutSelector, ShowsTheBoxOwnedByTheHostWindow) {
    if (!HaveDisplay()) {
        GTEST_SKIP() << "no display";
    }
    Watchdog watchdog(40);
    HMODULE plugin = LoadLibraryA(VEXO_PLUGIN_FILE);
    ASSERT_NE(plugin, nullptr) << "error " << GetLastError();
    using Entry = void (*)(int16_t, void*, intptr_t*, int16_t*);
    auto entry =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(plugin, "PluginMain")));
    ASSERT_NE(entry, nullptr) << "PluginMain is not exported by that name";

    vexo::test::HostWindow host;
    HWND owner = nullptr;
    std::thread driver([&owner] {
        HWND dialog = vexo::test::WaitForWindow("#32770", "About Pellion Plug-In", 10000);
        if (!dialog) {
            ADD_FAILURE() << "the about box did not appear";
            return;
        }
        owner = GetWindow(dialog, GW_OWNER);
        char text[64] = {};
        GetDlgItemTextA(dialog, IDC_ABOUT_UPDATE, text, sizeof(text));
        EXPECT_STREQ(text, "Check for &Update");
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    PlatformData platform{reinterpret_cast<intptr_t>(host.handle())};
    AboutRecord about{};
    about.platformData = &platform;
    intptr_t data = 0;
    int16_t result = -1;
    entry(filterSelectorAbout, &about, &data, &result);
    driver.join();
    EXPECT_EQ(result, noErr);
    EXPECT_EQ(owner, host.handle());
    FreeLibrary(plugin);
}

}  // namespace
