// The compiled resources: string tables equal to the shared lists, the
// languages they are stored in, the icon, the version, and the templates as
// the system builds them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/common_controls.h"
#include "framework/user_win32.h"
#include "resources/resource.h"
#include "resources/string_tables.h"

namespace zep::fw {
namespace {

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);

HMODULE Installer() { return GetModuleHandleA(nullptr); }

HMODULE Uninstaller() {
    static HMODULE module = [] {
        std::string path = ModuleFileName(nullptr);
        path.erase(path.find_last_of('\\') + 1);
        return LoadLibraryA((path + "uninstaller_resources.dll").c_str());
    }();
    return module;
}

bool Has(HMODULE module, LPCSTR type, WORD id, WORD language) {
    return FindResourceExA(module, type, MAKEINTRESOURCEA(id), language) != nullptr;
}

std::vector<BYTE> Data(HMODULE module, LPCSTR type, WORD id) {
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!info) return {};
    HGLOBAL handle = LoadResource(module, info);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(handle));
    return std::vector<BYTE>(bytes, bytes + SizeofResource(module, info));
}

TEST(Resources, InstallerStringsAreTheSharedList) {
    Win32User user;
    for (const auto& [id, text] : InstallerStringTable()) EXPECT_EQ(user.LoadStringA(id), text) << id;
    EXPECT_EQ(user.LoadStringA(22), "");
}

TEST(Resources, UninstallerStringsAreTheSharedList) {
    ASSERT_NE(Uninstaller(), nullptr);
    Win32User user(Uninstaller());
    for (const auto& [id, text] : UninstallerStringTable()) EXPECT_EQ(user.LoadStringA(id), text) << id;
    EXPECT_EQ(user.LoadStringA(1), "");
    EXPECT_EQ(user.LoadStringA(9), "");
    EXPECT_EQ(user.LoadStringA(20).find('\\'), std::string("SOFTWARE").size());
}

TEST(Resources, InstallerLanguages) {
    HMODULE m = Installer();
    for (WORD dialog : {IDD_ZEP_INSTALLER_DIALOG, IDD_MODEL_DIALOG, IDD_PORT_DIALOG}) {
        EXPECT_TRUE(Has(m, RT_DIALOG, dialog, kEnglishUs)) << dialog;
        EXPECT_FALSE(Has(m, RT_DIALOG, dialog, kKorean)) << dialog;
    }
    EXPECT_TRUE(Has(m, RT_GROUP_ICON, IDR_MAINFRAME, kEnglishUs));
    EXPECT_TRUE(Has(m, RT_VERSION, 1, kEnglishUs));
    // Strings 1 to 21 are in blocks 1 and 2 (16 strings a block).
    for (WORD block : {1, 2}) {
        EXPECT_TRUE(Has(m, RT_STRING, block, kKorean)) << block;
        EXPECT_FALSE(Has(m, RT_STRING, block, kEnglishUs)) << block;
    }
}

TEST(Resources, UninstallerIsAllKorean) {
    HMODULE m = Uninstaller();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(Has(m, RT_DIALOG, IDD_ZEP_UNINSTALLER_DIALOG, kKorean));
    EXPECT_TRUE(Has(m, RT_GROUP_ICON, IDR_MAINFRAME, kKorean));
    EXPECT_TRUE(Has(m, RT_VERSION, 1, kKorean));
    EXPECT_TRUE(Has(m, RT_STRING, 2, kKorean));
    EXPECT_FALSE(Has(m, RT_DIALOG, IDD_ZEP_UNINSTALLER_DIALOG, kEnglishUs));
    EXPECT_FALSE(Has(m, RT_STRING, 2, kEnglishUs));
}

TEST(Resources, IconHas32And16PixelImagesOf24Bits) {
    for (HMODULE m : {Installer(), Uninstaller()}) {
        std::vector<BYTE> group = Data(m, RT_GROUP_ICON, IDR_MAINFRAME);
        ASSERT_GE(group.size(), 6u + 2 * 14u);
        WORD count;
        std::memcpy(&count, &group[4], 2);
        ASSERT_EQ(count, 2);
        std::vector<int> sizes;
        for (int i = 0; i < count; ++i) {
            const BYTE* entry = &group[6 + 14 * i];
            WORD bits;
            std::memcpy(&bits, entry + 6, 2);
            EXPECT_EQ(bits, 24);
            EXPECT_EQ(entry[0], entry[1]);
            sizes.push_back(entry[0]);
        }
        EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    }
}

TEST(Resources, VersionIs1100) {
    for (HMODULE m : {Installer(), Uninstaller()}) {
        std::vector<BYTE> version = Data(m, RT_VERSION, 1);
        const DWORD signature = 0xFEEF04BD;
        auto at = std::search(version.begin(), version.end(),
                              reinterpret_cast<const BYTE*>(&signature),
                              reinterpret_cast<const BYTE*>(&signature) + 4);
        ASSERT_NE(at, version.end());
        VS_FIXEDFILEINFO info;
        ASSERT_GE(static_cast<size_t>(version.end() - at), sizeof info);
        std::memcpy(&info, &*at, sizeof info);
        EXPECT_EQ(info.dwFileVersionMS, 0x00010001u);
        EXPECT_EQ(info.dwFileVersionLS, 0u);
        EXPECT_EQ(info.dwProductVersionMS, 0x00010001u);
    }
}

// ---------------------------------------------------------------- templates

struct Control {
    int id;
    std::string cls;
    std::string text;
    LONG style;
    LONG exStyle;
};

// The dialog manager turns a control's WS_BORDER into a sunken edge.
bool Bordered(const Control& c) { return (c.style & WS_BORDER) || (c.exStyle & WS_EX_CLIENTEDGE); }

struct Built {
    std::string title;
    LONG style = 0, exStyle = 0;
    std::vector<Control> controls;  // in template order
};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

Built Build(HMODULE module, WORD id) {
    EXPECT_TRUE(LoadCommonControls());
    Built out;
    HWND dlg = CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, PlainDialogProc, 0);
    EXPECT_NE(dlg, nullptr) << id;
    if (!dlg) return out;
    char buf[256];
    GetWindowTextA(dlg, buf, sizeof buf);
    out.title = buf;
    out.style = GetWindowLongA(dlg, GWL_STYLE);
    out.exStyle = GetWindowLongA(dlg, GWL_EXSTYLE);
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Control control;
        control.id = static_cast<short>(GetDlgCtrlID(c));
        GetClassNameA(c, buf, sizeof buf);
        control.cls = CharLowerA(buf);
        GetWindowTextA(c, buf, sizeof buf);
        control.text = buf;
        control.style = GetWindowLongA(c, GWL_STYLE);
        control.exStyle = GetWindowLongA(c, GWL_EXSTYLE);
        out.controls.push_back(control);
    }
    DestroyWindow(dlg);
    return out;
}

std::vector<int> Ids(const Built& b) {
    std::vector<int> ids;
    for (const Control& c : b.controls) ids.push_back(c.id);
    return ids;
}

TEST(Templates, MainDialog) {
    Built b = Build(Installer(), IDD_ZEP_INSTALLER_DIALOG);
    EXPECT_EQ(b.title, "KESTREL Customer Display Installation Progress");
    EXPECT_TRUE(b.exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(b.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    ASSERT_EQ(Ids(b), (std::vector<int>{1000, 1003, -1, -1, -1, 1002, -1}));
    EXPECT_EQ(b.controls[0].cls, "msctls_progress32");
    EXPECT_EQ(b.controls[3].text, "Progress Status : ");
    EXPECT_EQ(b.controls[4].text, "KESTREL Customer Display");
    EXPECT_EQ(b.controls[5].text, "Driver Version");
}

TEST(Templates, ModelDialog) {
    Built b = Build(Installer(), IDD_MODEL_DIALOG);
    EXPECT_EQ(b.title, "Select ZEP Model");
    EXPECT_FALSE(b.style & WS_VISIBLE);
    ASSERT_EQ(Ids(b), (std::vector<int>{IDOK, IDC_MODEL_LIST}));
    EXPECT_EQ(b.controls[0].text, "Next");
    EXPECT_TRUE(b.controls[0].style & WS_DISABLED);
    EXPECT_EQ(b.controls[0].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    // (WS_VSCROLL shows only while the items do not fit.)
    const LONG list = LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                      LBS_NOINTEGRALHEIGHT | WS_TABSTOP;
    EXPECT_EQ(b.controls[1].style & list, list);
    EXPECT_TRUE(Bordered(b.controls[1]));
}

TEST(Templates, PortDialogRadioOrder) {
    Built b = Build(Installer(), IDD_PORT_DIALOG);
    EXPECT_EQ(b.title, "Select Port Type");
    ASSERT_EQ(Ids(b), (std::vector<int>{1006, 1008, 1009, 1011, 1007, 1010, 1012, 1013, -1, IDOK,
                                        IDC_CONFIGURE_PORT}));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(b.controls[i].text, "COM" + std::to_string(i + 1));
        EXPECT_EQ(b.controls[i].style & BS_TYPEMASK, BS_AUTORADIOBUTTON);
        EXPECT_EQ((b.controls[i].style & WS_GROUP) != 0, i == 0) << i;
    }
    EXPECT_EQ(b.controls[8].text, "Serial Port");
    EXPECT_FALSE(b.controls[8].style & WS_GROUP);
    EXPECT_EQ(b.controls[9].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(b.controls[10].text, "Configure Port");
}

TEST(Templates, UninstallerDialog) {
    ASSERT_NE(Uninstaller(), nullptr);
    Built b = Build(Uninstaller(), IDD_ZEP_UNINSTALLER_DIALOG);
    EXPECT_EQ(b.title, "Uninstaller");
    EXPECT_TRUE(b.exStyle & WS_EX_APPWINDOW);
    ASSERT_EQ(Ids(b), (std::vector<int>{1001, IDCANCEL, 1006, -1, 1000, 1002}));
    EXPECT_TRUE(b.controls[0].style & WS_DISABLED);
    EXPECT_EQ(b.controls[3].text, "Progress :");
    EXPECT_TRUE(b.controls[4].style & WS_GROUP);
    EXPECT_EQ(b.controls[5].cls, "msctls_progress32");
}

}  // namespace
}  // namespace zep::fw
