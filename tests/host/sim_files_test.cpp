// The simulated file system: path forms, WOW64 redirection, junctions,
// sharing and the error codes that the programs' file routines meet.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"

namespace zep::sim {
namespace {

class SimFiles : public ::testing::Test {
protected:
    Machine m;
    Kernel& k = m;
};

TEST_F(SimFiles, PathFormsReachTheSameEntry) {
    // The log folder is named with a doubled separator.
    ASSERT_TRUE(k.CreateDirectoryA("C:\\\\Temp").ok);
    EXPECT_TRUE(m.IsDirectory("C:\\Temp"));
    EXPECT_EQ(k.CreateDirectoryA("c:\\temp\\").error, kErrAlreadyExists);

    m.AddFile("C:\\Package\\Driver64\\ZEP.inf", "x");
    // Relative to the current folder, with "." and "..", any case, forward slashes.
    EXPECT_TRUE(k.GetFileAttributesA(".\\Driver64\\ZEP.inf").ok);
    EXPECT_TRUE(k.GetFileAttributesA("Driver32\\..\\DRIVER64\\.\\zep.INF").ok);
    EXPECT_TRUE(k.GetFileAttributesA("C:/Package/Driver64/ZEP.inf").ok);
    // The name keeps the case it was created with.
    EXPECT_EQ(m.ListDirectory("c:\\package\\driver64"), std::vector<std::string>{"ZEP.inf"});
    // A file named with a trailing separator is not found as a file.
    EXPECT_EQ(k.GetFileAttributesA("C:\\Package\\Driver64\\ZEP.inf\\").error, 123u);

    std::string longPath = "C:\\" + std::string(257, 'a');
    EXPECT_EQ(k.GetFileAttributesA(longPath).error, kErrFilenameExcedRange);
    EXPECT_EQ(k.CreateDirectoryA("C:\\" + std::string(245, 'b')).error, kErrFilenameExcedRange);
    EXPECT_TRUE(k.CreateDirectoryA("C:\\" + std::string(244, 'b')).ok);
}

TEST_F(SimFiles, WindowsOnAnotherDriveTakesItsTreeAlong) {
    m.AddFile("C:\\Windows\\inf\\oem0.inf", "inf");
    m.SetWindowsDirectory("D:\\WINNT");
    EXPECT_EQ(k.GetWindowsDirectoryA().value, "D:\\WINNT");
    EXPECT_EQ(k.GetSystemDirectoryA().value, "D:\\WINNT\\system32");
    EXPECT_TRUE(m.Exists("D:\\WINNT\\inf\\oem0.inf"));
    EXPECT_TRUE(m.IsDirectory("D:\\WINNT\\system32\\spool\\drivers\\x64\\3"));
    EXPECT_FALSE(m.Exists("C:\\Windows"));
    // The log goes to the Temp folder of the Windows drive.
    ASSERT_TRUE(k.CreateDirectoryA("D:\\\\Temp").ok);
    Result<HFile> f = k.CreateFileA("D:\\Temp\\ZEP_Installer.txt", kGenericWrite, 0, kCreateAlways, 0);
    ASSERT_TRUE(f.ok);
    k.WriteFile(f.value, "x");
    k.CloseHandle(f.value);
    EXPECT_EQ(m.LogText("ZEP_Installer.txt"), "x");
}

TEST_F(SimFiles, ThirtyTwoBitProcessIsRedirectedToSysWow64) {
    m.AddFile("C:\\Package\\ZEPMON.dll", "mon");
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\Windows\\system32\\ZEPMON.dll", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\SysWOW64\\ZEPMON.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\ZEPMON.dll"));

    // The spooler's folders and drivers\etc are shared; drivers itself is not.
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\WINDOWS\\System32\\spool\\drivers\\x64\\a.dll", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\spool\\drivers\\x64\\a.dll"));
    m.AddDirectory("C:\\Windows\\system32\\drivers\\etc");
    m.AddDirectory("C:\\Windows\\SysWOW64\\drivers\\etc");
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\Windows\\system32\\drivers\\etc\\hosts", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\drivers\\etc\\hosts"));
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\Windows\\system32\\drivers\\z.sys", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\SysWOW64\\drivers\\z.sys"));
    // Sysnative is the way around it.
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\Windows\\Sysnative\\ZEPMON.dll", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\ZEPMON.dll"));

    EXPECT_EQ(k.GetSystemDirectoryA().value, "C:\\Windows\\system32");
    EXPECT_EQ(k.GetSystemWow64DirectoryA()->value, "C:\\Windows\\SysWOW64");
}

TEST_F(SimFiles, ThirtyTwoBitWindowsHasNoRedirection) {
    m.SetWindows64(false);
    m.AddFile("C:\\Package\\ZEPMON.dll", "mon");
    ASSERT_TRUE(k.CopyFileA("ZEPMON.dll", "C:\\Windows\\system32\\ZEPMON.dll", false).ok);
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\ZEPMON.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\SysWOW64"));
    std::optional<Result<std::string>> wow = k.GetSystemWow64DirectoryA();
    ASSERT_TRUE(wow.has_value());
    EXPECT_FALSE(wow->ok);
    EXPECT_EQ(wow->error, 120u);
    m.SetHasGetSystemWow64Directory(false);
    EXPECT_FALSE(k.GetSystemWow64DirectoryA().has_value());
}

TEST_F(SimFiles, JunctionIsFollowedOnlyOnTheWayThrough) {
    m.AddFile("C:\\Data\\keep.txt", "precious");
    m.AddJunction("C:\\Windows\\ZEP\\link", "C:\\Data");

    EXPECT_EQ(k.GetFileAttributesA("C:\\Windows\\ZEP\\link").value,
              kFileAttributeDirectory | kFileAttributeReparsePoint);
    EXPECT_EQ(k.GetFileAttributesA("C:\\Windows\\ZEP\\link\\keep.txt").value, kFileAttributeNormal);
    Result<std::vector<FindRecord>> list = k.FindFiles("C:\\Windows\\ZEP\\link\\*.*");
    ASSERT_TRUE(list.ok);
    ASSERT_EQ(list.value.size(), 3u);
    EXPECT_EQ(list.value[2].name, "keep.txt");

    EXPECT_EQ(k.DeleteFileA("C:\\Windows\\ZEP\\link").error, kErrAccessDenied);
    // Attributes set on the link land on the target folder.
    ASSERT_TRUE(k.SetFileAttributesA("C:\\Windows\\ZEP\\link", kFileAttributeHidden).ok);
    EXPECT_EQ(m.Attributes("C:\\Data"), kFileAttributeDirectory | kFileAttributeHidden);
    // Removing the link leaves the target and its content alone.
    ASSERT_TRUE(k.RemoveDirectoryA("C:\\Windows\\ZEP\\link").ok);
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\link"));
    EXPECT_EQ(m.FileContents("C:\\Data\\keep.txt"), "precious");
}

TEST_F(SimFiles, SymbolicAndHardLinksAsTheCallsMeetThem) {
    m.AddFile("C:\\Data\\target.txt", "target");
    m.AddSymbolicLink("C:\\Temp\\link.txt", "C:\\Data\\target.txt", false);
    EXPECT_EQ(k.GetFileAttributesA("C:\\Temp\\link.txt").value & kFileAttributeReparsePoint,
              kFileAttributeReparsePoint);
    // Opened without the flag, the link leads to its target; with it, to itself.
    const uint32_t append = kFileAppendData | kFileReadAttributes;
    Result<HFile> through = k.CreateFileA("C:\\Temp\\link.txt", append, 0, kOpenAlways, 0);
    ASSERT_TRUE(through.ok);
    EXPECT_TRUE(k.WriteFile(through.value, "+").ok);
    k.CloseHandle(through.value);
    EXPECT_EQ(m.FileContents("C:\\Data\\target.txt"), "target+");
    Result<HFile> itself = k.CreateFileA("C:\\Temp\\link.txt", append, 0, kOpenAlways,
                                         kFileFlagOpenReparsePoint);
    ASSERT_TRUE(itself.ok);
    EXPECT_NE(k.GetFileInformationByHandle(itself.value).value.attributes & kFileAttributeReparsePoint, 0u);
    k.CloseHandle(itself.value);
    // Deleting the link leaves the target.
    EXPECT_TRUE(k.DeleteFileA("C:\\Temp\\link.txt").ok);
    EXPECT_EQ(m.FileContents("C:\\Data\\target.txt"), "target+");

    // Two names of one file: a write under one shows under the other.
    m.AddHardLink("C:\\Temp\\second.txt", "C:\\Data\\target.txt");
    Result<HFile> second = k.CreateFileA("C:\\Temp\\second.txt", append, 0, kOpenExisting, 0);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(k.GetFileInformationByHandle(second.value).value.numberOfLinks, 2u);
    EXPECT_TRUE(k.WriteFile(second.value, "2").ok);
    k.CloseHandle(second.value);
    EXPECT_EQ(m.FileContents("C:\\Data\\target.txt"), "target+2");
    EXPECT_TRUE(k.DeleteFileA("C:\\Temp\\second.txt").ok);
    EXPECT_EQ(m.FileContents("C:\\Data\\target.txt"), "target+2");
    Result<HFile> last = k.CreateFileA("C:\\Data\\target.txt", kFileReadAttributes, 0, kOpenExisting, 0);
    EXPECT_EQ(k.GetFileInformationByHandle(last.value).value.numberOfLinks, 1u);
    k.CloseHandle(last.value);
}

TEST_F(SimFiles, DeletionAtRestartWaitsForTheRestart) {
    m.AddFile("C:\\Windows\\ZEPMON.dll.old", "in use");
    m.HoldOpen("C:\\Windows\\ZEPMON.dll.old", kFileShareRead);
    m.AddFile("C:\\Windows\\SysWOW64\\ZEPMON.dll.old", "32-bit copy");
    EXPECT_EQ(k.MoveFileExA("C:\\Windows\\ZEPMON.dll.old", nullptr, kMovefileDelayUntilReboot).error, 0u);
    // A 32-bit program's system32 is SysWOW64: queued by its real name.
    EXPECT_TRUE(k.MoveFileExA("C:\\Windows\\system32\\ZEPMON.dll.old", nullptr,
                              kMovefileDelayUntilReboot).ok);
    EXPECT_EQ(k.MoveFileExA("C:\\Windows\\missing.old", nullptr, kMovefileDelayUntilReboot).error,
              kErrFileNotFound);
    using Ops = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(m.PendingFileOperations(),
              (Ops{{"\\??\\C:\\Windows\\ZEPMON.dll.old", ""},
                   {"\\??\\C:\\Windows\\SysWOW64\\ZEPMON.dll.old", ""}}));
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEPMON.dll.old"));
    m.RestartWindows();
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEPMON.dll.old"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\SysWOW64\\ZEPMON.dll.old"));
    EXPECT_TRUE(m.PendingFileOperations().empty());
}

TEST_F(SimFiles, SharingAndReadOnlyRefusals) {
    m.AddFile("C:\\Windows\\ZEPMON.dll", "old");
    m.AddFile("C:\\Package\\ZEPMON.dll", "new");
    // The spooler has the monitor loaded: others may read it, nothing more.
    m.HoldOpen("C:\\Windows\\ZEPMON.dll", kFileShareRead);
    EXPECT_EQ(k.CopyFileA("C:\\Package\\ZEPMON.dll", "C:\\Windows\\ZEPMON.dll", false).error,
              kErrSharingViolation);
    EXPECT_EQ(k.DeleteFileA("C:\\Windows\\ZEPMON.dll").error, kErrSharingViolation);
    EXPECT_EQ(k.rename("C:\\Windows\\ZEPMON.dll", "C:\\Windows\\ZEPMON.dll.old").error,
              kErrSharingViolation);
    EXPECT_TRUE(k.CopyFileA("C:\\Windows\\ZEPMON.dll", "C:\\Package\\copy.dll", false).ok);
    m.ReleaseHolds("C:\\Windows\\ZEPMON.dll");
    // Held with delete sharing, the name can go.
    m.HoldOpen("C:\\Windows\\ZEPMON.dll", kFileShareRead | kFileShareDelete);
    EXPECT_TRUE(k.rename("C:\\Windows\\ZEPMON.dll", "C:\\Windows\\ZEPMON.dll.old").ok);
    EXPECT_TRUE(k.CopyFileA("C:\\Package\\ZEPMON.dll", "C:\\Windows\\ZEPMON.dll", false).ok);

    m.AddFile("C:\\Windows\\ro.ini", "x", kFileAttributeReadonly);
    EXPECT_EQ(k.DeleteFileA("C:\\Windows\\ro.ini").error, kErrAccessDenied);
    EXPECT_EQ(k.CopyFileA("C:\\Package\\ZEPMON.dll", "C:\\Windows\\ro.ini", false).error,
              kErrAccessDenied);
    EXPECT_EQ(k.CreateFileA("C:\\Windows\\ro.ini", kGenericWrite, 0, kOpenExisting, 0).error,
              kErrAccessDenied);
    // A copy keeps the read-only attribute, so the next copy onto it fails.
    ASSERT_TRUE(k.CopyFileA("C:\\Windows\\ro.ini", "C:\\Temp2.ini", false).ok);
    EXPECT_EQ(m.Attributes("C:\\Temp2.ini"), kFileAttributeReadonly | kFileAttributeArchive);

    // Two handles: each must share what the other one does.
    Result<HFile> a = k.CreateFileA("C:\\log.txt", kGenericRead | kGenericWrite,
                                    kFileShareRead | kFileShareWrite, kOpenAlways, 0);
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(k.CreateFileA("C:\\log.txt", kGenericRead | kGenericWrite,
                              kFileShareRead | kFileShareWrite, kOpenAlways, 0).ok);
    EXPECT_EQ(k.CreateFileA("C:\\log.txt", kGenericRead, kFileShareRead, kOpenExisting, 0).error,
              kErrSharingViolation);
}

TEST_F(SimFiles, FolderAndFileErrorCodes) {
    m.AddFile("C:\\Dir\\file.txt");
    m.AddDirectory("C:\\Empty");
    EXPECT_EQ(k.RemoveDirectoryA("C:\\Missing").error, kErrFileNotFound);
    EXPECT_EQ(k.RemoveDirectoryA("C:\\Dir\\file.txt").error, 267u);
    EXPECT_EQ(k.RemoveDirectoryA("C:\\Dir").error, kErrDirNotEmpty);
    EXPECT_EQ(k.RemoveDirectoryA("C:\\Package").error, kErrSharingViolation);  // current folder
    m.AddDirectory("C:\\RoDir");
    ASSERT_TRUE(k.SetFileAttributesA("C:\\RoDir", kFileAttributeReadonly).ok);
    EXPECT_EQ(k.RemoveDirectoryA("C:\\RoDir").error, kErrAccessDenied);
    EXPECT_TRUE(k.RemoveDirectoryA("C:\\Empty").ok);

    EXPECT_EQ(k.CreateDirectoryA("C:\\No\\Such").error, kErrPathNotFound);
    EXPECT_EQ(k.CreateDirectoryA("C:\\Dir\\file.txt").error, kErrAlreadyExists);
    EXPECT_EQ(k.DeleteFileA("C:\\Dir").error, kErrAccessDenied);
    EXPECT_EQ(k.DeleteFileA("C:\\Dir\\nope.txt").error, kErrFileNotFound);
    EXPECT_EQ(k.DeleteFileA("C:\\Nope\\nope.txt").error, kErrPathNotFound);

    EXPECT_EQ(k.CopyFileA("C:\\nope.txt", "C:\\x.txt", false).error, kErrFileNotFound);
    EXPECT_EQ(k.CopyFileA("C:\\Dir\\file.txt", "C:\\Dir\\file.txt", true).error, kErrFileExists);
    EXPECT_EQ(k.CopyFileA("C:\\Dir\\file.txt", "C:\\Nope\\x.txt", false).error, kErrPathNotFound);
    m.AddFile("C:\\Dir\\other.txt");
    EXPECT_EQ(k.rename("C:\\Dir\\file.txt", "C:\\Dir\\other.txt").error, kErrAlreadyExists);
    EXPECT_EQ(k.rename("C:\\Dir\\gone.txt", "C:\\Dir\\new.txt").error, kErrFileNotFound);
}

TEST_F(SimFiles, FindFilesFollowsWindowsPatterns) {
    m.AddFile("C:\\Inf\\b.inf");
    m.AddFile("C:\\Inf\\A.INF");
    m.AddFile("C:\\Inf\\README");
    m.AddDirectory("C:\\Inf\\sub");
    Result<std::vector<FindRecord>> all = k.FindFiles("C:\\Inf\\*.*");
    ASSERT_TRUE(all.ok);
    std::vector<std::string> names;
    for (const FindRecord& r : all.value) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.INF", "b.inf", "README", "sub"}));
    EXPECT_EQ(all.value[5].attributes, kFileAttributeDirectory);

    Result<std::vector<FindRecord>> infs = k.FindFiles("C:\\Inf\\*.inf");
    ASSERT_TRUE(infs.ok);
    EXPECT_EQ(infs.value.size(), 2u);
    EXPECT_EQ(k.FindFiles("C:\\Inf\\*.dll").error, kErrFileNotFound);
    EXPECT_EQ(k.FindFiles("C:\\Nope\\*.*").error, kErrPathNotFound);
    // The drive root has no "." and "..".
    Result<std::vector<FindRecord>> root = k.FindFiles("C:\\*");
    ASSERT_TRUE(root.ok);
    EXPECT_NE(root.value.front().name, ".");
}

TEST_F(SimFiles, CreateDispositionsAndRenamedFolders) {
    m.AddFile("C:\\Dir\\hidden.txt", "h", kFileAttributeHidden);
    EXPECT_EQ(k.CreateFileA("C:\\Dir\\hidden.txt", kGenericWrite, 0, kCreateNew, 0).error, kErrFileExists);
    // Replacing a hidden file needs the hidden attribute asked for again.
    EXPECT_EQ(k.CreateFileA("C:\\Dir\\hidden.txt", kGenericWrite, 0, kCreateAlways, 0).error,
              kErrAccessDenied);
    Result<HFile> h = k.CreateFileA("C:\\Dir\\hidden.txt", kGenericWrite, 0, kCreateAlways,
                                    kFileAttributeHidden);
    ASSERT_TRUE(h.ok);
    k.CloseHandle(h.value);
    EXPECT_EQ(m.FileContents("C:\\Dir\\hidden.txt"), "");
    EXPECT_EQ(k.CreateFileA("C:\\Dir\\none.txt", kGenericRead, 0, kOpenExisting, 0).error,
              kErrFileNotFound);
    EXPECT_EQ(k.CreateFileA("C:\\Dir", kGenericRead, 0, kOpenExisting, 0).error, kErrAccessDenied);

    // A folder moves with its content; while a file in it is open it stays.
    m.AddFile("C:\\Dir\\Sub\\a.txt", "a");
    Result<HFile> open = k.CreateFileA("C:\\Dir\\Sub\\a.txt", kGenericRead, kFileShareRead, kOpenExisting, 0);
    EXPECT_EQ(k.rename("C:\\Dir", "C:\\Moved").error, kErrAccessDenied);
    k.CloseHandle(open.value);
    ASSERT_TRUE(k.rename("C:\\Dir", "C:\\Moved").ok);
    EXPECT_EQ(m.FileContents("C:\\Moved\\Sub\\a.txt"), "a");
    EXPECT_FALSE(m.Exists("C:\\Dir"));
    // A change of case only is a rename too.
    ASSERT_TRUE(k.rename("C:\\Moved\\Sub\\a.txt", "C:\\Moved\\Sub\\A.TXT").ok);
    EXPECT_EQ(m.ListDirectory("C:\\Moved\\Sub"), std::vector<std::string>{"A.TXT"});
}

TEST_F(SimFiles, HandlesWriteReadAndAppend) {
    m.AddDirectory("C:\\Temp");
    Result<HFile> f = k.CreateFileA("C:\\Temp\\log.txt", kGenericRead | kGenericWrite,
                                    kFileShareRead | kFileShareWrite, kOpenAlways,
                                    kFileAttributeNormal);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.error, 0u);
    ASSERT_TRUE(k.WriteFile(f.value, "one\r\n").ok);
    ASSERT_TRUE(k.CloseHandle(f.value).ok);
    EXPECT_EQ(k.CloseHandle(f.value).error, kErrInvalidHandle);
    EXPECT_EQ(m.Attributes("C:\\Temp\\log.txt"), kFileAttributeArchive);

    Result<HFile> g = k.CreateFileA("C:\\Temp\\log.txt", kGenericRead | kGenericWrite,
                                    kFileShareRead | kFileShareWrite, kOpenAlways, 0);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.error, kErrAlreadyExists);  // what GetLastError says after opening an existing file
    ASSERT_TRUE(k.SetFilePointer(g.value, 0, kFileEnd).ok);
    ASSERT_TRUE(k.WriteFile(g.value, "two\r\n").ok);
    ASSERT_TRUE(k.SetFilePointer(g.value, 0, kFileBegin).ok);
    EXPECT_EQ(k.ReadFile(g.value, 100).value, "one\r\ntwo\r\n");
    k.CloseHandle(g.value);
    EXPECT_EQ(m.LogText("log.txt"), "one\r\ntwo\r\n");
    EXPECT_EQ(m.OpenHandles().files, 0u);
}

}  // namespace
}  // namespace zep::sim
