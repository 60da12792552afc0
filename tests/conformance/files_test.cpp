// Files and folders: the codes the removal and staging routines branch on.
#include <map>

#include "tests/conformance/helpers.h"

namespace zep::conformance {
namespace {

class Files : public ConformanceTest {
protected:
    Kernel& k() { return Os().kernel; }
};

TEST_F(Files, MissingFileGives2AndMissingFolderGives3) {
    std::string file = In("missing.txt");
    std::string inFolder = In("nodir\\missing.txt");

    Result<uint32_t> a = k().GetFileAttributesA(file);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, kErrFileNotFound);
    EXPECT_EQ(a.value, kInvalidFileAttributes);
    a = k().GetFileAttributesA(inFolder);
    EXPECT_EQ(a.error, kErrPathNotFound);

    Status d = k().DeleteFileA(file);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.error, kErrFileNotFound);
    EXPECT_EQ(k().DeleteFileA(inFolder).error, kErrPathNotFound);

    Result<HFile> f = k().CreateFileA(file, kGenericRead, 0, kOpenExisting, 0);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.error, kErrFileNotFound);
    EXPECT_EQ(k().CreateFileA(inFolder, kGenericRead, 0, kOpenExisting, 0).error,
              kErrPathNotFound);
    // Creating a file never creates its folder.
    EXPECT_EQ(k().CreateFileA(inFolder, kGenericWrite, 0, kCreateAlways, 0).error,
              kErrPathNotFound);

    Status c = k().CopyFileA(file, In("copy.txt"), false);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, kErrFileNotFound);
    EXPECT_FALSE(Exists(In("copy.txt")));

    EXPECT_EQ(k().RemoveDirectoryA(In("nodir")).error, kErrFileNotFound);
    EXPECT_EQ(k().CreateDirectoryA(In("nodir\\sub")).error, kErrPathNotFound);
    EXPECT_EQ(k().rename(file, In("other.txt")).error, kErrFileNotFound);
}

TEST_F(Files, ReadOnlyFileRefusesDeleteUntilCleared) {
    std::string ro = In("ro.txt");
    ASSERT_TRUE(PutFile(ro, "old"));
    ASSERT_TRUE(k().SetFileAttributesA(ro, kFileAttributeReadonly).ok);

    Status d = k().DeleteFileA(ro);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.error, kErrAccessDenied);
    EXPECT_EQ(GetFile(ro), "old");

    ASSERT_TRUE(k().SetFileAttributesA(ro, kFileAttributeNormal).ok);
    EXPECT_TRUE(k().DeleteFileA(ro).ok);
    EXPECT_FALSE(Exists(ro));
}

TEST_F(Files, ReadOnlyFileRefusesOverwrite) {
    ZEP_SIM_ONLY("Wine keeps read-only as Unix permissions, which root (this machine) bypasses");
    std::string ro = In("ro.txt");
    ASSERT_TRUE(PutFile(ro, "old"));
    ASSERT_TRUE(PutFile(In("src.txt"), "new"));
    ASSERT_TRUE(k().SetFileAttributesA(ro, kFileAttributeReadonly).ok);

    Status c = k().CopyFileA(In("src.txt"), ro, false);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, kErrAccessDenied);
    EXPECT_EQ(GetFile(ro), "old");

    Result<HFile> w = k().CreateFileA(ro, kGenericWrite, 0, kOpenExisting, 0);
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.error, kErrAccessDenied);
    if (w.ok) k().CloseHandle(w.value);

    ASSERT_TRUE(k().SetFileAttributesA(ro, kFileAttributeNormal).ok);
    EXPECT_TRUE(k().CopyFileA(In("src.txt"), ro, false).ok);
    EXPECT_EQ(GetFile(ro), "new");
}

TEST_F(Files, FileHeldOpenWithoutSharingGives32) {
    std::string held = In("held.dll");
    ASSERT_TRUE(PutFile(held, "in use"));
    ASSERT_TRUE(PutFile(In("src.dll"), "replacement"));
    Result<HFile> h = k().CreateFileA(held, kGenericRead | kGenericWrite, 0, kOpenExisting, 0);
    ASSERT_TRUE(h.ok) << h.error;

    Status c = k().CopyFileA(In("src.dll"), held, false);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, kErrSharingViolation);
    Status d = k().DeleteFileA(held);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.error, kErrSharingViolation);
    Result<HFile> again = k().CreateFileA(held, kGenericRead, kFileShareRead | kFileShareWrite,
                                          kOpenExisting, 0);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, kErrSharingViolation);

    ASSERT_TRUE(k().CloseHandle(h.value).ok);
    EXPECT_TRUE(k().CopyFileA(In("src.dll"), held, false).ok);
    EXPECT_EQ(GetFile(held), "replacement");
}

TEST_F(Files, SharedOpensCoexist) {
    // The trace log is opened shared by both threads at once.
    std::string log = In("log.txt");
    uint32_t share = kFileShareRead | kFileShareWrite;
    Result<HFile> a = k().CreateFileA(log, kGenericRead | kGenericWrite, share, kOpenAlways,
                                      kFileAttributeNormal);
    ASSERT_TRUE(a.ok) << a.error;
    Result<HFile> b = k().CreateFileA(log, kGenericRead | kGenericWrite, share, kOpenAlways,
                                      kFileAttributeNormal);
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_TRUE(k().WriteFile(a.value, "one").ok);
    EXPECT_TRUE(k().SetFilePointer(b.value, 0, kFileEnd).ok);
    EXPECT_TRUE(k().WriteFile(b.value, "two").ok);
    k().CloseHandle(a.value);
    k().CloseHandle(b.value);
    EXPECT_EQ(GetFile(log), "onetwo");
}

TEST_F(Files, CopyWithFailIfExistsGives80AndKeepsTarget) {
    ASSERT_TRUE(PutFile(In("a.txt"), "aaa"));
    ASSERT_TRUE(PutFile(In("b.txt"), "bbb"));
    Status c = k().CopyFileA(In("a.txt"), In("b.txt"), true);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, kErrFileExists);
    EXPECT_EQ(GetFile(In("b.txt")), "bbb");

    EXPECT_TRUE(k().CopyFileA(In("a.txt"), In("b.txt"), false).ok);
    EXPECT_EQ(GetFile(In("b.txt")), "aaa");
    EXPECT_TRUE(k().CopyFileA(In("a.txt"), In("c.txt"), true).ok);
    EXPECT_EQ(GetFile(In("c.txt")), "aaa");
    // Names are compared without regard to letter case.
    EXPECT_EQ(k().CopyFileA(In("a.txt"), In("C.TXT"), true).error, kErrFileExists);
}

TEST_F(Files, CreateDirectoryOverExistingNameGives183) {
    std::string dir = In("dir");
    ASSERT_TRUE(k().CreateDirectoryA(dir).ok);
    Status again = k().CreateDirectoryA(dir);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, kErrAlreadyExists);
    ASSERT_TRUE(PutFile(In("file"), "x"));
    EXPECT_EQ(k().CreateDirectoryA(In("file")).error, kErrAlreadyExists);
    EXPECT_EQ(k().CreateDirectoryA(In("DIR")).error, kErrAlreadyExists);
}

TEST_F(Files, RemoveDirectoryOfNonEmptyFolderGives145) {
    std::string dir = In("dir");
    ASSERT_TRUE(k().CreateDirectoryA(dir).ok);
    ASSERT_TRUE(PutFile(dir + "\\f.txt", "x"));
    Status r = k().RemoveDirectoryA(dir);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, kErrDirNotEmpty);
    EXPECT_TRUE(Exists(dir + "\\f.txt"));

    ASSERT_TRUE(k().DeleteFileA(dir + "\\f.txt").ok);
    EXPECT_TRUE(k().RemoveDirectoryA(dir).ok);
    EXPECT_FALSE(Exists(dir));
    // A file is not a folder.
    ASSERT_TRUE(PutFile(In("plain"), "x"));
    EXPECT_FALSE(k().RemoveDirectoryA(In("plain")).ok);
    EXPECT_TRUE(Exists(In("plain")));
}

TEST_F(Files, FindFilesListsDotEntriesAndAttributes) {
    ASSERT_TRUE(PutFile(In("one.txt"), "1"));
    ASSERT_TRUE(PutFile(In("two.dll"), "2"));
    ASSERT_TRUE(k().CreateDirectoryA(In("sub")).ok);

    Result<std::vector<FindRecord>> all = k().FindFiles(In("*.*"));
    ASSERT_TRUE(all.ok) << all.error;
    std::map<std::string, uint32_t> seen;
    for (const FindRecord& r : all.value) seen[Lower(r.name)] = r.attributes;
    EXPECT_EQ(seen.size(), 5u);
    ASSERT_TRUE(seen.count("."));
    ASSERT_TRUE(seen.count(".."));
    ASSERT_TRUE(seen.count("sub"));
    ASSERT_TRUE(seen.count("one.txt"));
    EXPECT_TRUE(seen["."] & kFileAttributeDirectory);
    EXPECT_TRUE(seen[".."] & kFileAttributeDirectory);
    EXPECT_TRUE(seen["sub"] & kFileAttributeDirectory);
    EXPECT_FALSE(seen["one.txt"] & kFileAttributeDirectory);

    // Names only, never paths; a narrower pattern drops the dot entries.
    Result<std::vector<FindRecord>> txt = k().FindFiles(In("*.txt"));
    ASSERT_TRUE(txt.ok) << txt.error;
    ASSERT_EQ(txt.value.size(), 1u);
    EXPECT_EQ(Lower(txt.value[0].name), "one.txt");

    Result<std::vector<FindRecord>> none = k().FindFiles(In("*.xyz"));
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, kErrFileNotFound);
    Result<std::vector<FindRecord>> noDir = k().FindFiles(In("nodir\\*.*"));
    EXPECT_FALSE(noDir.ok);
    EXPECT_EQ(noDir.error, kErrPathNotFound);
}

TEST_F(Files, AttributeValues) {
    ASSERT_TRUE(PutFile(In("f.txt"), "x"));
    Result<uint32_t> dir = k().GetFileAttributesA(Scratch());
    ASSERT_TRUE(dir.ok);
    EXPECT_TRUE(dir.value & kFileAttributeDirectory);
    EXPECT_FALSE(dir.value & kFileAttributeReadonly);

    // A file just written carries the archive flag only.
    Result<uint32_t> f = k().GetFileAttributesA(In("f.txt"));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.value, kFileAttributeArchive);

    ASSERT_TRUE(k().SetFileAttributesA(In("f.txt"), kFileAttributeReadonly).ok);
    f = k().GetFileAttributesA(In("f.txt"));
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(f.value & kFileAttributeReadonly);
    EXPECT_FALSE(f.value & kFileAttributeDirectory);

    ASSERT_TRUE(k().SetFileAttributesA(In("f.txt"), kFileAttributeNormal).ok);
    f = k().GetFileAttributesA(In("f.txt"));
    ASSERT_TRUE(f.ok);
    EXPECT_FALSE(f.value & kFileAttributeReadonly);
    EXPECT_EQ(k().SetFileAttributesA(In("missing"), kFileAttributeNormal).error,
              kErrFileNotFound);
}

TEST_F(Files, NormalReadsBackAsNormal) {
    ZEP_SIM_ONLY("Wine reports every plain file as ARCHIVE");
    ASSERT_TRUE(PutFile(In("f.txt"), "x"));
    ASSERT_TRUE(k().SetFileAttributesA(In("f.txt"), kFileAttributeNormal).ok);
    Result<uint32_t> f = k().GetFileAttributesA(In("f.txt"));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.value, kFileAttributeNormal);
}

TEST_F(Files, RenameOntoExistingFileFails) {
    ASSERT_TRUE(PutFile(In("from.txt"), "from"));
    ASSERT_TRUE(PutFile(In("to.txt"), "to"));
    Status r = k().rename(In("from.txt"), In("to.txt"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, kErrAlreadyExists);
    EXPECT_EQ(GetFile(In("from.txt")), "from");
    EXPECT_EQ(GetFile(In("to.txt")), "to");

    EXPECT_TRUE(k().rename(In("from.txt"), In("new.txt")).ok);
    EXPECT_FALSE(Exists(In("from.txt")));
    EXPECT_EQ(GetFile(In("new.txt")), "from");
}

TEST_F(Files, CreateWriteAppendRead) {
    std::string path = In("append.txt");
    Result<HFile> f = k().CreateFileA(path, kGenericRead | kGenericWrite, 0, kCreateNew,
                                      kFileAttributeNormal);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_TRUE(k().WriteFile(f.value, "abc").ok);
    EXPECT_TRUE(k().CloseHandle(f.value).ok);

    Result<HFile> dup = k().CreateFileA(path, kGenericWrite, 0, kCreateNew, 0);
    EXPECT_FALSE(dup.ok);
    EXPECT_EQ(dup.error, kErrFileExists);

    // OPEN_ALWAYS keeps the contents; the pointer starts at 0 until moved.
    f = k().CreateFileA(path, kGenericRead | kGenericWrite, 0, kOpenAlways, kFileAttributeNormal);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_TRUE(k().SetFilePointer(f.value, 0, kFileEnd).ok);
    EXPECT_TRUE(k().WriteFile(f.value, "def").ok);
    EXPECT_TRUE(k().SetFilePointer(f.value, 0, kFileBegin).ok);
    EXPECT_TRUE(k().WriteFile(f.value, "A").ok);
    EXPECT_TRUE(k().SetFilePointer(f.value, 1, kFileBegin).ok);
    Result<std::string> r = k().ReadFile(f.value, 100);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.value, "bcdef");
    // At the end a read succeeds with nothing.
    r = k().ReadFile(f.value, 100);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.value, "");
    EXPECT_TRUE(k().CloseHandle(f.value).ok);
    EXPECT_EQ(GetFile(path), "Abcdef");

    // CREATE_ALWAYS empties an existing file.
    f = k().CreateFileA(path, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal);
    ASSERT_TRUE(f.ok) << f.error;
    k().CloseHandle(f.value);
    EXPECT_EQ(GetFile(path), "");

    // Writing through a read-only handle is refused.
    f = k().CreateFileA(path, kGenericRead, 0, kOpenExisting, 0);
    ASSERT_TRUE(f.ok) << f.error;
    Status w = k().WriteFile(f.value, "x");
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.error, kErrAccessDenied);
    k().CloseHandle(f.value);
}

TEST_F(Files, FolderWithEveryoneDaclIsCreated) {
    Advapi& a = Os().advapi;
    Result<HSid> everyone = a.AllocateAndInitializeSid(WellKnownSid::Everyone);
    ASSERT_TRUE(everyone.ok) << everyone.error;
    Result<HSid> admins = a.AllocateAndInitializeSid(WellKnownSid::Administrators);
    ASSERT_TRUE(admins.ok) << admins.error;
    Result<HSid> system = a.AllocateAndInitializeSid(WellKnownSid::LocalSystem);
    ASSERT_TRUE(system.ok) << system.error;

    ExplicitAccess e;
    e.permissions = kGenericAll;
    e.mode = kSetAccess;
    e.inheritance = kSubContainersAndObjectsInherit;
    e.trustee = everyone.value;
    ExplicitAccess s = e;
    s.trustee = system.value;
    Result<HAcl> acl = a.SetEntriesInAclA({e, s});
    ASSERT_TRUE(acl.ok) << acl.error;

    std::string dir = In("product");
    Status c = k().CreateDirectoryWithDacl(dir, acl.value);
    EXPECT_TRUE(c.ok) << c.error;
    Result<uint32_t> attr = k().GetFileAttributesA(dir);
    ASSERT_TRUE(attr.ok);
    EXPECT_TRUE(attr.value & kFileAttributeDirectory);
    EXPECT_EQ(k().CreateDirectoryWithDacl(dir, acl.value).error, kErrAlreadyExists);
    // Files can be placed in it as in any folder.
    EXPECT_TRUE(PutFile(dir + "\\u.exe", "x"));

    a.LocalFree(acl.value);
    a.FreeSid(everyone.value);
    a.FreeSid(admins.value);
    a.FreeSid(system.value);
}

TEST_F(Files, AppendOnlyHandlesWriteAtTheEndWhateverTheOtherWrote) {
    std::string path = In("log.txt");
    ASSERT_TRUE(PutFile(path, "abc"));
    const uint32_t append = kFileAppendData | kFileReadAttributes | kSynchronize;
    const uint32_t share = kFileShareRead | kFileShareWrite;
    Result<HFile> a = k().CreateFileA(path, append, share, kOpenAlways, kFileAttributeNormal);
    Result<HFile> b = k().CreateFileA(path, append, share, kOpenAlways, kFileAttributeNormal);
    ASSERT_TRUE(a.ok) << a.error;
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_TRUE(k().WriteFile(a.value, "1").ok);
    EXPECT_TRUE(k().WriteFile(b.value, "22").ok);
    EXPECT_TRUE(k().WriteFile(a.value, "333").ok);
    k().CloseHandle(a.value);
    k().CloseHandle(b.value);
    EXPECT_EQ(GetFile(path), "abc122333");
}

TEST_F(Files, FileInformationTellsFoldersLinksAndNames) {
    // Seen here: a 32-bit program on 64-bit Wine (under qemu) that reaches
    // this case after the other file cases now and then corrupts its own
    // memory or waits for ever in it. The 64-bit run shows what the calls do.
    if (!IsSim() && !Program64())
        GTEST_SKIP() << "32-bit Wine under qemu does not come through this case reliably";
    std::string path = In("one.txt");
    ASSERT_TRUE(PutFile(path, "x"));
    Result<HFile> f = k().CreateFileA(path, kFileReadAttributes, kFileShareRead, kOpenExisting,
                                      kFileFlagOpenReparsePoint);
    ASSERT_TRUE(f.ok) << f.error;
    Result<FileInformation> file = k().GetFileInformationByHandle(f.value);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.value.numberOfLinks, 1u);
    EXPECT_EQ(file.value.attributes & (kFileAttributeDirectory | kFileAttributeReparsePoint), 0u);
    Result<HFile> again = k().CreateFileA(path, kFileReadAttributes, kFileShareRead, kOpenExisting, 0);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(k().GetFileInformationByHandle(again.value).value.fileIndex, file.value.fileIndex);
    k().CloseHandle(again.value);
    k().CloseHandle(f.value);

    // A folder opens only with backup semantics.
    EXPECT_EQ(k().CreateFileA(Scratch(), kFileReadData, kFileShareRead, kOpenExisting, 0).error,
              kErrAccessDenied);
    Result<HFile> d = k().CreateFileA(Scratch(), kFileReadData | kFileReadAttributes,
                                      kFileShareRead | kFileShareWrite, kOpenExisting,
                                      kFileFlagBackupSemantics | kFileFlagOpenReparsePoint);
    ASSERT_TRUE(d.ok) << d.error;
    Result<FileInformation> folder = k().GetFileInformationByHandle(d.value);
    ASSERT_TRUE(folder.ok) << folder.error;
    EXPECT_NE(folder.value.attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(folder.value.attributes & kFileAttributeReparsePoint, 0u);
    k().CloseHandle(d.value);
}

TEST_F(Files, AFolderHeldWithoutDeleteSharingStays) {
    std::string dir = In("Temp");
    ASSERT_TRUE(k().CreateDirectoryA(dir).ok);
    Result<HFile> held = k().CreateFileA(dir, kFileReadData | kFileReadAttributes,
                                         kFileShareRead | kFileShareWrite, kOpenExisting,
                                         kFileFlagBackupSemantics | kFileFlagOpenReparsePoint);
    ASSERT_TRUE(held.ok) << held.error;
    // Files come and go in it as usual.
    EXPECT_TRUE(PutFile(dir + "\\log.txt", "x"));
    EXPECT_TRUE(k().DeleteFileA(dir + "\\log.txt").ok);
    Status removed = k().RemoveDirectoryA(dir);
    EXPECT_FALSE(removed.ok);
    EXPECT_EQ(removed.error, kErrSharingViolation);
    EXPECT_FALSE(k().rename(dir, In("Moved")).ok);
    EXPECT_TRUE(Exists(dir));
    k().CloseHandle(held.value);
    EXPECT_TRUE(k().RemoveDirectoryA(dir).ok);
}

TEST_F(Files, DeletionAtRestartIsQueuedAndTheFileStaysUntilThen) {
    std::string old = In("ZEPMON.dll.old");
    ASSERT_TRUE(PutFile(old, "in use"));
    Status queued = k().MoveFileExA(old, nullptr, kMovefileDelayUntilReboot);
    EXPECT_TRUE(queued.ok) << queued.error;
    EXPECT_EQ(GetFile(old), "in use");
}

TEST_F(Files, NoEntriesAndNoOldAclGiveANullAcl) {
    // A NULL ACL in a security descriptor grants everyone everything: the
    // product folder must never be made with one.
    Result<HAcl> acl = Os().advapi.SetEntriesInAclA({});
    ASSERT_TRUE(acl.ok) << acl.error;
    EXPECT_EQ(acl.value, HAcl::None);
    Os().advapi.LocalFree(acl.value);
}

}  // namespace
}  // namespace zep::conformance
