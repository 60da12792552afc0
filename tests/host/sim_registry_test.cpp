// The simulated registry views, key deletion, stale handles, security
// objects and the restart privilege.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"

namespace zep::sim {
namespace {

const std::string kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
const std::string kMonitorKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\ZEP Language Monitor";

class SimRegistry : public ::testing::Test {
protected:
    Machine m;
    Advapi& a = m;

    int32_t Create(const std::string& path, uint32_t sam) {
        Advapi::KeyResult r = a.RegCreateKeyExA(kHKeyLocalMachine, path, 0, sam);
        if (r.status == 0) a.RegCloseKey(r.key);
        return r.status;
    }
};

TEST_F(SimRegistry, SoftwareIsSplitIntoTwoViewsOn64BitWindows) {
    ASSERT_EQ(Create(kUninstall, kKeyWrite), 0);
    EXPECT_TRUE(m.RegKeyExists(kUninstall, /*view64=*/false));
    EXPECT_TRUE(m.RegKeyExists("SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                               "KESTREL Cutomer Display Driver"));
    EXPECT_FALSE(m.RegKeyExists(kUninstall, true));

    ASSERT_EQ(Create(kUninstall, kKeyWrite | kKeyWow64_64Key), 0);
    EXPECT_TRUE(m.RegKeyExists(kUninstall, true));
    // Without the flag the 64-bit key is out of reach, and so is its deletion.
    m.SetRegString(kUninstall, "DisplayName", "x", true);
    EXPECT_EQ(a.SHDeleteKeyA(kHKeyLocalMachine, kUninstall), 0);  // the 32-bit copy
    EXPECT_EQ(a.SHDeleteKeyA(kHKeyLocalMachine, kUninstall), int32_t(kErrFileNotFound));
    EXPECT_TRUE(m.RegKeyExists(kUninstall, true));

    // HKLM\SYSTEM is shared.
    m.AddRegKey(kMonitorKey);
    Advapi::KeyResult r = a.RegOpenKeyExA(kHKeyLocalMachine, kMonitorKey, 0, kKeyRead);
    EXPECT_EQ(r.status, 0);
    a.RegCloseKey(r.key);
}

TEST_F(SimRegistry, HandleRelativeOpensKeepTheHandlesView) {
    m.AddRegKey("SOFTWARE\\Vendor\\Product", true);
    Advapi::KeyResult base = a.RegOpenKeyExA(kHKeyLocalMachine, "SOFTWARE\\Vendor", 0, kKeyRead | kKeyWow64_64Key);
    ASSERT_EQ(base.status, 0);
    Advapi::KeyResult sub = a.RegOpenKeyExA(base.key, "Product", 0, kKeyRead);
    EXPECT_EQ(sub.status, 0);
    a.RegCloseKey(sub.key);
    // Asking for the 32-bit view from there leaves the 64-bit tree.
    EXPECT_EQ(a.RegOpenKeyExA(base.key, "Product", 0, kKeyRead | kKeyWow64_32Key).status,
              int32_t(kErrFileNotFound));
    Result<std::vector<std::string>> subs = a.RegEnumKeys(base.key);
    EXPECT_EQ(subs.value, std::vector<std::string>{"Product"});
    a.RegCloseKey(base.key);
    EXPECT_EQ(a.RegOpenKeyExA(kHKeyLocalMachine, "\\SOFTWARE", 0, kKeyRead).status, 161);
    EXPECT_EQ(a.RegCreateKeyExA(kHKeyLocalMachine, "NEWHIVE\\X", 0, kKeyWrite).status,
              int32_t(kErrAccessDenied));
}

TEST_F(SimRegistry, ThirtyTwoBitWindowsHasOneView) {
    m.SetWindows64(false);
    ASSERT_EQ(Create(kUninstall, kKeyWrite), 0);
    EXPECT_TRUE(m.RegKeyExists(kUninstall));
    EXPECT_FALSE(m.RegKeyExists("SOFTWARE\\Wow6432Node"));
}

TEST_F(SimRegistry, DeleteKeyExRefusesSubkeysAndHonoursTheView) {
    m.SetRegString(kUninstall, "DisplayName", "x", true);
    m.AddRegKey(kUninstall + "\\Sub", true);
    EXPECT_EQ(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall, kKeyWow64_64Key, 0), int32_t(kErrAccessDenied));
    EXPECT_EQ(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall + "\\Sub", kKeyWow64_32Key, 0),
              int32_t(kErrFileNotFound));
    EXPECT_EQ(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall + "\\Sub", kKeyWow64_64Key, 0), 0);
    EXPECT_EQ(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall, kKeyWow64_64Key, 0), 0);
    EXPECT_FALSE(m.RegKeyExists(kUninstall, true));

    m.SetHasRegDeleteKeyEx(false);
    EXPECT_FALSE(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall, kKeyWow64_64Key, 0).has_value());

    // SHDeleteKeyA takes the whole tree.
    m.SetWindows64(false);
    m.AddRegKey(kMonitorKey + "\\Deep\\Deeper");
    EXPECT_EQ(a.SHDeleteKeyA(kHKeyLocalMachine, kMonitorKey), 0);
    EXPECT_FALSE(m.RegKeyExists(kMonitorKey));
    EXPECT_EQ(a.SHDeleteKeyA(kHKeyLocalMachine, kMonitorKey), int32_t(kErrFileNotFound));
}

TEST_F(SimRegistry, KeysValuesAndHandles) {
    Advapi::KeyResult k = a.RegCreateKeyExA(kHKeyLocalMachine, kUninstall, 0, kKeyWrite | kKeyWow64_64Key);
    ASSERT_EQ(k.status, 0);
    EXPECT_EQ(k.disposition, kRegCreatedNewKey);
    EXPECT_EQ(a.RegSetValueExA(k.key, "UninstallString", kRegSz, std::string("b\0", 2)), 0);
    EXPECT_EQ(a.RegSetValueExA(k.key, "DisplayName", kRegSz, std::string("a\0", 2)), 0);
    Result<RegValue> v = a.RegQueryValueExA(k.key, "displayname");
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.value.name, "DisplayName");
    EXPECT_EQ(a.RegQueryValueExA(k.key, "Missing").error, kErrFileNotFound);
    EXPECT_EQ(m.RegValueNames(kUninstall, true),
              (std::vector<std::string>{"UninstallString", "DisplayName"}));
    EXPECT_EQ(m.RegString(kUninstall, "DisplayName", true), "a");

    Advapi::KeyResult again = a.RegCreateKeyExA(kHKeyLocalMachine, kUninstall, 0, kKeyWrite | kKeyWow64_64Key);
    EXPECT_EQ(again.disposition, kRegOpenedExistingKey);
    // A handle to a key deleted (even if re-created) is dead.
    EXPECT_EQ(a.RegDeleteKeyExA(kHKeyLocalMachine, kUninstall, kKeyWow64_64Key, 0), 0);
    m.AddRegKey(kUninstall, true);
    EXPECT_EQ(a.RegSetValueExA(k.key, "X", kRegSz, std::string("\0", 1)), err::kKeyDeleted);
    EXPECT_EQ(a.RegQueryValueExA(again.key, "X").error, 1018u);
    EXPECT_EQ(a.RegCloseKey(k.key), 0);
    EXPECT_EQ(a.RegCloseKey(again.key), 0);
    EXPECT_EQ(a.RegCloseKey(k.key), int32_t(kErrInvalidHandle));
    EXPECT_EQ(m.HandleMisuse().size(), 1u);
    EXPECT_EQ(a.RegOpenKeyExA(kHKeyLocalMachine, "SOFTWARE\\Nope", 0, kKeyRead).status,
              int32_t(kErrFileNotFound));
    EXPECT_EQ(m.OpenHandles().keys, 0u);
}

TEST_F(SimRegistry, FolderAclComesFromTheSidAndAcl) {
    Kernel& k = m;
    Result<HSid> everyone = a.AllocateAndInitializeSid(WellKnownSid::Everyone);
    ASSERT_TRUE(everyone.ok);
    ExplicitAccess ea;
    ea.permissions = kGenericAll;
    ea.mode = kSetAccess;
    ea.inheritance = kSubContainersAndObjectsInherit;
    ea.trustee = everyone.value;
    Result<HAcl> acl = a.SetEntriesInAclA({ea});
    ASSERT_TRUE(acl.ok);
    ASSERT_TRUE(k.CreateDirectoryWithDacl("C:\\Windows\\ZEP", acl.value).ok);
    std::vector<Machine::AceRecord> aces = m.DirectoryAcl("C:\\Windows\\ZEP");
    ASSERT_EQ(aces.size(), 1u);
    EXPECT_EQ(aces[0].trustee, "Everyone");
    EXPECT_EQ(aces[0].permissions, kGenericAll);
    EXPECT_EQ(aces[0].inheritance, kSubContainersAndObjectsInherit);
    EXPECT_EQ(m.OpenHandles().sids, 1u);  // not freed yet: a leak if the run ends here

    a.FreeSid(everyone.value);
    a.LocalFree(acl.value);
    EXPECT_TRUE(m.HandleMisuse().empty());
    a.FreeSid(everyone.value);
    EXPECT_EQ(k.CreateDirectoryWithDacl("C:\\Windows\\ZEP2", acl.value).error, 1336u);
    EXPECT_EQ(m.HandleMisuse().size(), 2u);
    EXPECT_EQ(m.OpenHandles().sids + m.OpenHandles().acls, 0u);
}

TEST_F(SimRegistry, AnEmptyEntryListGivesANullAclThatOpensTheFolderToEveryone) {
    Kernel& k = m;
    Result<HAcl> acl = a.SetEntriesInAclA({});
    ASSERT_TRUE(acl.ok);
    EXPECT_EQ(acl.value, HAcl::None);
    ASSERT_TRUE(k.CreateDirectoryWithDacl("C:\\Windows\\ZEP", acl.value).ok);
    EXPECT_TRUE(m.HasNullDacl("C:\\Windows\\ZEP"));
    EXPECT_NE(m.Snapshot().find("\\ZEP dir 0x10 dacl=null"), std::string::npos);
    ASSERT_TRUE(k.CreateDirectoryA("C:\\Windows\\Plain").ok);
    EXPECT_FALSE(m.HasNullDacl("C:\\Windows\\Plain"));
    a.LocalFree(acl.value);  // LocalFree(NULL) is harmless
    EXPECT_TRUE(m.HandleMisuse().empty());
}

TEST_F(SimRegistry, StringsCompareAsStored) {
    Advapi::KeyResult k = a.RegCreateKeyExA(kHKeyLocalMachine, "SOFTWARE\\Test", 0, kKeyAllAccess);
    ASSERT_EQ(k.status, 0);
    a.RegSetValueExA(k.key, "Right", kRegSz, std::string("text\0", 5));
    a.RegSetValueExA(k.key, "NoNul", kRegSz, "text");
    a.RegSetValueExA(k.key, "TwoNuls", kRegSz, std::string("text\0\0", 6));
    a.RegCloseKey(k.key);
    EXPECT_EQ(m.RegString("SOFTWARE\\Test", "Right", false), "text");
    EXPECT_EQ(m.RegString("SOFTWARE\\Test", "NoNul", false), std::string("text") + Machine::kUnterminated);
    EXPECT_EQ(m.RegString("SOFTWARE\\Test", "TwoNuls", false), std::string("text\0", 5));
    EXPECT_NE(m.Snapshot().find("\"NoNul\" type=1 hex:74657874"), std::string::npos);
}

TEST_F(SimRegistry, RestartNeedsTheEnabledShutdownPrivilege) {
    User& u = m;
    EXPECT_EQ(u.ExitWindowsEx(kEwxReboot, 0).error, kErrPrivilegeNotHeld);
    Result<HToken> token = a.OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery);
    Result<Luid> luid = a.LookupPrivilegeValueA("SeShutdownPrivilege");
    ASSERT_TRUE(luid.ok);
    EXPECT_EQ(a.LookupPrivilegeValueA("SeNoSuchPrivilege").error, 1313u);

    m.SetShutdownPrivilege(false);
    Status adj = a.AdjustTokenPrivileges(token.value, luid.value, kSePrivilegeEnabled);
    EXPECT_TRUE(adj.ok);
    EXPECT_EQ(adj.error, kErrNotAllAssigned);
    EXPECT_EQ(u.ExitWindowsEx(kEwxReboot, 0).error, kErrPrivilegeNotHeld);
    EXPECT_TRUE(m.Restarts().empty());

    m.SetShutdownPrivilege(true);
    adj = a.AdjustTokenPrivileges(token.value, luid.value, kSePrivilegeEnabled);
    EXPECT_EQ(adj.error, 0u);
    EXPECT_TRUE(u.ExitWindowsEx(kEwxReboot | kEwxForce, 0).ok);
    EXPECT_EQ(m.Restarts(), std::vector<uint32_t>{kEwxReboot | kEwxForce});
    EXPECT_EQ(m.Ui("restart").size(), 1u);
}

}  // namespace
}  // namespace zep::sim
