// Registry: values, deletion of trees and single keys, the 64-bit view.
#include "tests/conformance/helpers.h"

namespace zep::conformance {
namespace {

const char kBase[] = "SOFTWARE\\ZepConformance";

class Registry : public ConformanceTest {
protected:
    void SetUp() override {
        ConformanceTest::SetUp();
        Clean();
    }
    void TearDown() override {
        Clean();
        ConformanceTest::TearDown();
    }

    Advapi& a() { return Os().advapi; }

    // Deletes a key tree leaf first in one view, so that no case leaves
    // anything behind whatever view it wrote to.
    void DeleteTree(const std::string& path, uint32_t view) {
        Advapi::KeyResult k = a().RegOpenKeyExA(kHKeyLocalMachine, path, 0, kKeyRead | view);
        if (k.status != 0) return;
        Result<std::vector<std::string>> subs = a().RegEnumKeys(k.key);
        a().RegCloseKey(k.key);
        if (subs.ok)
            for (const std::string& s : subs.value) DeleteTree(path + "\\" + s, view);
        a().RegDeleteKeyExA(kHKeyLocalMachine, path, view, 0);
    }
    void Clean() {
        DeleteTree(kBase, kKeyWow64_64Key);
        DeleteTree(kBase, kKeyWow64_32Key);
    }

    // Creates a key below the base (in the 64-bit view) and closes it.
    void Make(const std::string& sub) {
        Advapi::KeyResult k = a().RegCreateKeyExA(kHKeyLocalMachine, std::string(kBase) + sub,
                                                  kRegOptionNonVolatile,
                                                  kKeyAllAccess | kKeyWow64_64Key);
        ASSERT_EQ(k.status, 0) << sub;
        a().RegCloseKey(k.key);
    }
    int32_t OpenStatus(const std::string& sub, uint32_t view = kKeyWow64_64Key) {
        Advapi::KeyResult k =
            a().RegOpenKeyExA(kHKeyLocalMachine, std::string(kBase) + sub, 0, kKeyRead | view);
        if (k.status == 0) a().RegCloseKey(k.key);
        return k.status;
    }
};

TEST_F(Registry, CreateOpenSetQuery) {
    std::string path = std::string(kBase) + "\\Values";
    Advapi::KeyResult k = a().RegCreateKeyExA(kHKeyLocalMachine, path, kRegOptionNonVolatile,
                                              kKeyAllAccess);
    ASSERT_EQ(k.status, 0);
    EXPECT_NE(k.key, HKey::None);
    EXPECT_EQ(k.disposition, kRegCreatedNewKey);

    std::string sz = std::string("C:\\Windows\\ZEP\\ZEP_Uninstaller.exe") + '\0';
    EXPECT_EQ(a().RegSetValueExA(k.key, "UninstallString", kRegSz, sz), 0);
    EXPECT_EQ(a().RegSetValueExA(k.key, "Count", kRegDword, std::string("\x07\0\0\0", 4)), 0);
    EXPECT_EQ(a().RegCloseKey(k.key), 0);

    Advapi::KeyResult again = a().RegCreateKeyExA(kHKeyLocalMachine, path, kRegOptionNonVolatile,
                                                  kKeyAllAccess);
    ASSERT_EQ(again.status, 0);
    EXPECT_EQ(again.disposition, kRegOpenedExistingKey);
    a().RegCloseKey(again.key);

    Advapi::KeyResult r = a().RegOpenKeyExA(kHKeyLocalMachine, path, 0, kKeyRead);
    ASSERT_EQ(r.status, 0);
    Result<RegValue> v = a().RegQueryValueExA(r.key, "uninstallstring");
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.value.type, kRegSz);
    EXPECT_EQ(v.value.data, sz);
    v = a().RegQueryValueExA(r.key, "Count");
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.value.type, kRegDword);
    EXPECT_EQ(v.value.data, std::string("\x07\0\0\0", 4));

    Result<RegValue> missing = a().RegQueryValueExA(r.key, "NoSuchValue");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, kErrFileNotFound);

    Result<std::vector<RegValue>> all = a().RegEnumValues(r.key);
    ASSERT_TRUE(all.ok) << all.error;
    ASSERT_EQ(all.value.size(), 2u);
    std::vector<std::string> names{all.value[0].name, all.value[1].name};
    EXPECT_TRUE(ContainsI(names, "UninstallString"));
    EXPECT_TRUE(ContainsI(names, "Count"));
    EXPECT_EQ(a().RegCloseKey(r.key), 0);

    EXPECT_EQ(OpenStatus("\\NoSuchKey"), int32_t(kErrFileNotFound));
}

TEST_F(Registry, RegDeleteKeyExRefusesSubkeysAndMissing) {
    Make("\\Tree\\Leaf");
    std::string tree = std::string(kBase) + "\\Tree";
    std::optional<int32_t> d = a().RegDeleteKeyExA(kHKeyLocalMachine, tree, kKeyWow64_64Key, 0);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(*d, int32_t(kErrAccessDenied));
    EXPECT_EQ(OpenStatus("\\Tree\\Leaf"), 0);

    d = a().RegDeleteKeyExA(kHKeyLocalMachine, tree + "\\Missing", kKeyWow64_64Key, 0);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(*d, int32_t(kErrFileNotFound));

    d = a().RegDeleteKeyExA(kHKeyLocalMachine, tree + "\\Leaf", kKeyWow64_64Key, 0);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(*d, 0);
    EXPECT_EQ(OpenStatus("\\Tree\\Leaf"), int32_t(kErrFileNotFound));
    EXPECT_EQ(*a().RegDeleteKeyExA(kHKeyLocalMachine, tree, kKeyWow64_64Key, 0), 0);
    EXPECT_EQ(OpenStatus("\\Tree"), int32_t(kErrFileNotFound));
}

TEST_F(Registry, SHDeleteKeyRemovesTree) {
    // SHDeleteKeyA works in the caller's own view, so the tree is made there.
    std::string tree = std::string(kBase) + "\\Tree";
    for (const std::string& sub : {tree + "\\A\\Deep", tree + "\\B", std::string(kBase) + "\\Kept"}) {
        Advapi::KeyResult k = a().RegCreateKeyExA(kHKeyLocalMachine, sub, 0, kKeyAllAccess);
        ASSERT_EQ(k.status, 0) << sub;
        a().RegSetValueExA(k.key, "v", kRegSz, std::string("x\0", 2));
        a().RegCloseKey(k.key);
    }

    EXPECT_EQ(a().SHDeleteKeyA(kHKeyLocalMachine, tree), 0);
    Advapi::KeyResult gone = a().RegOpenKeyExA(kHKeyLocalMachine, tree, 0, kKeyRead);
    EXPECT_EQ(gone.status, int32_t(kErrFileNotFound));
    Advapi::KeyResult kept =
        a().RegOpenKeyExA(kHKeyLocalMachine, std::string(kBase) + "\\Kept", 0, kKeyRead);
    EXPECT_EQ(kept.status, 0);
    if (kept.status == 0) a().RegCloseKey(kept.key);

    EXPECT_EQ(a().SHDeleteKeyA(kHKeyLocalMachine, tree), int32_t(kErrFileNotFound));
}

TEST_F(Registry, Wow64_64KeyReachesThe64BitView) {
    std::string path = std::string(kBase) + "\\View";
    Advapi::KeyResult w = a().RegCreateKeyExA(kHKeyLocalMachine, path, 0,
                                              kKeyAllAccess | kKeyWow64_64Key);
    ASSERT_EQ(w.status, 0);
    EXPECT_EQ(a().RegSetValueExA(w.key, "Where", kRegSz, std::string("64\0", 3)), 0);
    a().RegCloseKey(w.key);

    Advapi::KeyResult r = a().RegOpenKeyExA(kHKeyLocalMachine, path, 0,
                                            kKeyRead | kKeyWow64_64Key);
    ASSERT_EQ(r.status, 0);
    Result<RegValue> v = a().RegQueryValueExA(r.key, "Where");
    a().RegCloseKey(r.key);
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.value.data, std::string("64\0", 3));

    // The 32-bit view is a different tree.
    EXPECT_EQ(OpenStatus("\\View", kKeyWow64_32Key), int32_t(kErrFileNotFound));
    // The access mask the removal routines open with carries KEY_WOW64_64KEY.
    EXPECT_EQ(OpenStatus("\\View", 0x2011f), 0);
    // Without it a 32-bit program sees its own view only.
    EXPECT_EQ(OpenStatus("\\View", 0), Program64() ? 0 : int32_t(kErrFileNotFound));
}

TEST_F(Registry, EnumKeysListsChildrenOnly) {
    Make("\\Parent\\One\\Grandchild");
    Make("\\Parent\\Two");
    Advapi::KeyResult k = a().RegOpenKeyExA(kHKeyLocalMachine, std::string(kBase) + "\\Parent",
                                            0, kKeyRead | kKeyWow64_64Key);
    ASSERT_EQ(k.status, 0);
    Result<std::vector<std::string>> subs = a().RegEnumKeys(k.key);
    a().RegCloseKey(k.key);
    ASSERT_TRUE(subs.ok) << subs.error;
    EXPECT_EQ(subs.value.size(), 2u);
    EXPECT_TRUE(ContainsI(subs.value, "One"));
    EXPECT_TRUE(ContainsI(subs.value, "Two"));
}

}  // namespace
}  // namespace zep::conformance
