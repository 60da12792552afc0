// Version, bitness, system folders, error texts and privileges.
#include "tests/conformance/helpers.h"

namespace zep::conformance {
namespace {

class System : public ConformanceTest {
protected:
    Kernel& k() { return Os().kernel; }
};

TEST_F(System, VersionExtendedAndBasicAgree) {
    Result<OsVersion> ex = k().GetVersionExA(kOsVersionInfoExSize);
    ASSERT_TRUE(ex.ok) << ex.error;
    EXPECT_EQ(ex.value.platformId, kVerPlatformWin32Nt);
    EXPECT_GE(ex.value.major, 5u);
    EXPECT_GE(ex.value.productType, kVerNtWorkstation);
    EXPECT_LE(ex.value.productType, kVerNtServer);

    Result<OsVersion> basic = k().GetVersionExA(kOsVersionInfoSize);
    ASSERT_TRUE(basic.ok) << basic.error;
    EXPECT_EQ(basic.value.platformId, ex.value.platformId);
    EXPECT_EQ(basic.value.major, ex.value.major);
    EXPECT_EQ(basic.value.minor, ex.value.minor);
    EXPECT_EQ(basic.value.build, ex.value.build);
    EXPECT_EQ(basic.value.csdVersion, ex.value.csdVersion);
    // The basic structure has no product type.
    EXPECT_EQ(basic.value.productType, 0);

    // Any other structure size is refused.
    Result<OsVersion> bad = k().GetVersionExA(100);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, kErrInsufficientBuffer);
}

TEST_F(System, IsWow64ProcessPresentAndSet) {
    std::optional<Result<bool>> wow = k().IsWow64Process();
    ASSERT_TRUE(wow.has_value());
    ASSERT_TRUE(wow->ok) << wow->error;
    EXPECT_TRUE(wow->value);
}

// The package beside the program is found from this path, whatever the
// current folder is.
TEST_F(System, ProgramFileIsAFullPath) {
    Result<std::string> path = k().GetModuleFileNameA();
    ASSERT_TRUE(path.ok) << path.error;
    ASSERT_GT(path.value.size(), 7u);
    EXPECT_EQ(path.value.substr(1, 2), ":\\") << path.value;
    EXPECT_TRUE(EndsWithI(path.value, ".exe")) << path.value;
}

TEST_F(System, SystemFolders) {
    Result<std::string> win = k().GetWindowsDirectoryA();
    ASSERT_TRUE(win.ok) << win.error;
    Result<std::string> sys = k().GetSystemDirectoryA();
    ASSERT_TRUE(sys.ok) << sys.error;
    std::optional<Result<std::string>> wow = k().GetSystemWow64DirectoryA();
    ASSERT_TRUE(wow.has_value());
    ASSERT_TRUE(wow->ok) << wow->error;

    // No trailing backslash; all three are inside the Windows folder.
    EXPECT_FALSE(EndsWithI(win.value, "\\"));
    EXPECT_TRUE(StartsWithI(sys.value, win.value + "\\")) << sys.value;
    EXPECT_TRUE(EndsWithI(sys.value, "\\system32")) << sys.value;
    EXPECT_TRUE(StartsWithI(wow->value, win.value + "\\")) << wow->value;
    EXPECT_TRUE(EndsWithI(wow->value, "\\syswow64")) << wow->value;
    Result<uint32_t> attr = k().GetFileAttributesA(wow->value);
    ASSERT_TRUE(attr.ok);
    EXPECT_TRUE(attr.value & kFileAttributeDirectory);
}

TEST_F(System, FormatMessageGivesSystemTextWithLineEnd) {
    Result<std::string> text = k().FormatMessageA(kErrFileNotFound, kLangEnglishUs);
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_TRUE(EndsWithI(text.value, ".\r\n")) << text.value;
    EXPECT_GT(text.value.size(), 5u);
    Result<std::string> other = k().FormatMessageA(kErrAccessDenied, kLangEnglishUs);
    ASSERT_TRUE(other.ok) << other.error;
    EXPECT_NE(other.value, text.value);

    // A code without a message fails with ERROR_MR_MID_NOT_FOUND.
    Result<std::string> none = k().FormatMessageA(0x2FFF0000u, kLangEnglishUs);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, 317u);
}

TEST_F(System, FormatMessageKeepsInsertsAsText) {
    // ERROR_BAD_EXE_FORMAT: "%1 is not a valid Win32 application." No
    // arguments are given, so the insert must come back untouched rather
    // than be read from nowhere.
    Result<std::string> text = k().FormatMessageA(193, kLangEnglishUs);
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_NE(text.value.find("%1"), std::string::npos) << text.value;
}

TEST_F(System, FormatMessageWindowsTexts) {
    ZEP_SIM_ONLY("Wine's message table words several system texts differently");
    EXPECT_EQ(k().FormatMessageA(kErrFileNotFound, kLangEnglishUs).value,
              "The system cannot find the file specified.\r\n");
    EXPECT_EQ(k().FormatMessageA(kErrAccessDenied, kLangEnglishUs).value,
              "Access is denied.\r\n");
}

TEST_F(System, ShutdownPrivilegeCanBeEnabled) {
    Advapi& a = Os().advapi;
    Result<Luid> luid = a.LookupPrivilegeValueA("SeShutdownPrivilege");
    ASSERT_TRUE(luid.ok) << luid.error;
    EXPECT_EQ(luid.value.low, 19u);  // SE_SHUTDOWN_PRIVILEGE
    EXPECT_EQ(luid.value.high, 0);

    Result<Luid> bogus = a.LookupPrivilegeValueA("SeNoSuchPrivilege");
    EXPECT_FALSE(bogus.ok);
    EXPECT_EQ(bogus.error, 1313u);  // ERROR_NO_SUCH_PRIVILEGE

    Result<HToken> token = a.OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery);
    ASSERT_TRUE(token.ok) << token.error;
    Status adj = a.AdjustTokenPrivileges(token.value, luid.value, kSePrivilegeEnabled);
    EXPECT_TRUE(adj.ok);
    // An administrator holds it: nothing is left unassigned.
    EXPECT_EQ(adj.error, kErrSuccess);
}

TEST_F(System, WinExecOfMissingProgramGives2) {
    EXPECT_EQ(k().WinExec("zepconf_no_such_program.exe", kSwHide), kErrFileNotFound);
}

TEST_F(System, LocalTimeIsADate) {
    SystemTime t = k().GetLocalTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.day, 31);
    EXPECT_LE(t.dayOfWeek, 6);
    EXPECT_LE(t.hour, 23);
}

// The one-instance rule of the programs reads the second creation's code.
TEST_F(System, NamedMutexTellsASecondCreatorThatItExists) {
    const std::string name = "Global\\zepconf one instance";
    Result<HMutex> first = k().CreateMutexA(name);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.error, kErrSuccess);
    Result<HMutex> second = k().CreateMutexA(name);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.error, kErrAlreadyExists);
    EXPECT_NE(second.value, first.value);
}

}  // namespace
}  // namespace zep::conformance
