// Trace log, platform detection and the system utilities on the simulated machine.
#include <gtest/gtest.h>

#include <thread>

#include "common/support.h"
#include "platform/sim/machine.h"
#include "tests/host/harness.h"

namespace zep {
namespace {

using test::Contains;
using test::LogLines;

struct CommonTest : ::testing::Test {
    sim::Machine m;
    Platform os{m.platform()};
    TraceLog log{m, "\\ZEP_Installer.txt"};
    Support sys{os, log};

    std::vector<std::string> Lines() { return LogLines(m.LogText("ZEP_Installer.txt")); }
};

TEST_F(CommonTest, LogLinesCarryTimeStampAndBlankBlocks) {
    EXPECT_FALSE(m.IsDirectory("C:\\Temp"));
    log.OpenLog();
    EXPECT_TRUE(m.IsDirectory("C:\\Temp"));
    LoggedRoutine routine(log, "CheckOS");
    m.Sleep(3723000);  // 1 h 2 min 3 s later
    log.WriteLog("REGKEY : %s", "A\\B");
    std::string text = m.LogText("ZEP_Installer.txt");
    EXPECT_EQ(text,
              "10:00:00: \r\n\r\n"
              "10:00:00: CheckOS BEGIN\r\n"
              "11:02:03: REGKEY : A\\B\r\n");
}

// The block of a routine ends on every way out, at once where the routine
// ends it early, and never after a process exit inside it (a real exit
// writes nothing more). Its call sites carry the scope's name.
TEST_F(CommonTest, LoggedRoutineEndsItsBlockOnEveryWayOut) {
    log.OpenLog();
    enum Way { Returns, EndsEarly, Exits };
    const struct {
        Way way;
        std::vector<std::string> lines;
    } cases[] = {{Returns, {"", "", "DeleteFilesUsed BEGIN", "step", "DeleteFilesUsed END"}},
                 {EndsEarly, {"", "", "DeleteFilesUsed BEGIN", "DeleteFilesUsed END", "step"}},
                 {Exits, {"", "", "DeleteFilesUsed BEGIN", "step"}}};
    for (const auto& c : cases) {
        size_t before = Lines().size();
        try {
            LoggedRoutine routine(log, "DeleteDriverFiles", "DeleteFilesUsed");
            EXPECT_STREQ(CurrentRoutine(), "DeleteDriverFiles");
            if (c.way == EndsEarly) routine.End();
            log.WriteLog("step");
            if (c.way == Exits) m.exit(0);
        } catch (const sim::ProcessExit&) {
        }
        std::vector<std::string> lines = Lines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + long(before), lines.end()), c.lines)
            << int(c.way);
    }
}

TEST_F(CommonTest, LogCutsMessagesAt1013Characters) {
    log.OpenLog();
    std::string exact(1013, 'x');
    std::string longer(1500, 'y');
    log.WriteLog("%s", exact.c_str());
    log.WriteLog("%s", longer.c_str());
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], exact);
    EXPECT_EQ(lines[1], std::string(1013, 'y'));
    // Each line still ends with CR LF: the text parses back into two lines.
    EXPECT_EQ(m.LogText("ZEP_Installer.txt").size(), 2 * (10 + 1013 + 2));
}

TEST_F(CommonTest, LogDropsLinesBeforeOpenAndStartsAfreshEachRun) {
    log.WriteLog("lost");
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_Installer.txt"));
    {
        TraceLog first(m, "\\ZEP_Installer.txt");
        first.OpenLog();
        first.WriteLog("first run");
    }  // its process has ended
    log.OpenLog();
    log.WriteLog("second run");
    EXPECT_EQ(Lines(), std::vector<std::string>{"second run"});
}

TEST_F(CommonTest, LogFollowsTheWindowsDrive) {
    m.SetWindowsDirectory("D:\\WINNT");
    log.OpenLog();
    log.WriteLog("on D");
    EXPECT_TRUE(m.Exists("D:\\Temp\\ZEP_Installer.txt"));
    EXPECT_FALSE(m.Exists("C:\\Temp\\ZEP_Installer.txt"));
}

TEST_F(CommonTest, LogWithoutTempFolderIsSilent) {
    m.InjectFault(sim::Fault("CreateDirectoryA").For("Temp").Fails(kErrAccessDenied).Always());
    log.OpenLog();
    log.WriteLog("nowhere");
    EXPECT_FALSE(m.Exists("C:\\Temp"));
}

TEST_F(CommonTest, LogWritesEachLineInOneWrite) {
    log.OpenLog();
    m.ClearCalls();
    log.WriteLog("one line");
    int writes = 0;
    for (const sim::CallRecord& c : m.Calls()) writes += c.call == "WriteFile";
    EXPECT_EQ(writes, 1);
}

TEST_F(CommonTest, TwoWritersAtOnceLoseNoLine) {
    // The dialog's thread and the worker write at the same time; a line
    // written where a stale seek left the end would overwrite the other's.
    TraceLog other(m, "\\ZEP_Installer.txt");
    other.OpenLog();
    log.OpenLog();
    constexpr int kLines = 300;
    auto write = [](TraceLog* to, const char* who) {
        for (int i = 0; i < kLines; ++i) to->WriteLog("%s %d", who, i);
    };
    std::thread a(write, &log, "worker");
    std::thread b(write, &other, "dialog");
    a.join();
    b.join();
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), size_t(2 * kLines));
    EXPECT_TRUE(Contains(lines, "worker " + std::to_string(kLines - 1)));
    EXPECT_TRUE(Contains(lines, "dialog " + std::to_string(kLines - 1)));
}

// ------------------------------------------------------------------ links in the log's way

// What a standard user can plant in the Temp folder before or while the
// program runs as administrator. The target must never change.
struct LogLinkTest : CommonTest {
    const std::string target = "C:\\Windows\\Protected\\SAM";
    void SetUp() override { m.AddFile(target, "the system's own"); }
    void ExpectTargetUntouched() {
        EXPECT_EQ(m.FileContents(target), "the system's own");
        EXPECT_EQ(m.ListDirectory("C:\\Windows\\Protected"), std::vector<std::string>{"SAM"});
    }
    void ExpectRealLogWith(const std::vector<std::string>& lines) {
        EXPECT_EQ(m.Attributes("C:\\Temp") & kFileAttributeReparsePoint, 0u);
        EXPECT_TRUE(m.IsDirectory("C:\\Temp"));
        EXPECT_EQ(m.Attributes("C:\\Temp\\ZEP_Installer.txt") & kFileAttributeReparsePoint, 0u);
        EXPECT_EQ(Lines(), lines);
    }
};

TEST_F(LogLinkTest, TempFolderThatIsALinkIsReplacedByARealFolder) {
    // A junction, a symbolic link to a folder, a symbolic link to a file.
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        m.AddFile("C:\\Windows\\Protected\\ZEP_Installer.txt", "planted");
        if (kind == 0) m.AddJunction("C:\\Temp", "C:\\Windows\\Protected");
        if (kind == 1) m.AddSymbolicLink("C:\\Temp", "C:\\Windows\\Protected", true);
        if (kind == 2) m.AddSymbolicLink("C:\\Temp", target, false);
        TraceLog run(m, "\\ZEP_Installer.txt");
        run.OpenLog();
        run.WriteLog("line");
        EXPECT_EQ(m.FileContents("C:\\Windows\\Protected\\ZEP_Installer.txt"), "planted");
        m.DeleteFileA("C:\\Windows\\Protected\\ZEP_Installer.txt");
        ExpectTargetUntouched();
        ExpectRealLogWith({"line"});
    }
}

TEST_F(LogLinkTest, LogFileThatIsALinkIsRemovedAndMadeAgain) {
    // Planted before a run: OpenLog deletes the link, not its target.
    m.CreateDirectoryA("C:\\Temp");
    for (bool hard : {false, true}) {
        SCOPED_TRACE(hard);
        m.DeleteFileA("C:\\Temp\\ZEP_Installer.txt");
        if (hard)
            m.AddHardLink("C:\\Temp\\ZEP_Installer.txt", target);
        else
            m.AddSymbolicLink("C:\\Temp\\ZEP_Installer.txt", target, false);
        TraceLog run(m, "\\ZEP_Installer.txt");
        run.OpenLog();
        run.WriteLog("run");
        ExpectTargetUntouched();
        ExpectRealLogWith({"run"});
    }
}

TEST_F(LogLinkTest, WhileTheProgramRunsItsFolderAndFileCannotBeSwapped) {
    log.OpenLog();
    log.WriteLog("one");
    // Neither the file nor the folder can be removed or renamed meanwhile,
    // so no link can take their place.
    EXPECT_EQ(m.DeleteFileA("C:\\Temp\\ZEP_Installer.txt").error, kErrSharingViolation);
    EXPECT_FALSE(m.rename("C:\\Temp\\ZEP_Installer.txt", "C:\\Temp\\old.txt").ok);
    EXPECT_FALSE(m.RemoveDirectoryA("C:\\Temp").ok);
    EXPECT_FALSE(m.rename("C:\\Temp", "C:\\Temp2").ok);
    log.WriteLog("two");
    ExpectTargetUntouched();
    ExpectRealLogWith({"one", "two"});
}

TEST_F(LogLinkTest, AFileNamedTempMeansNoLog) {
    m.AddFile("C:\\Temp", "a file");
    log.OpenLog();
    log.WriteLog("nowhere");
    EXPECT_EQ(m.FileContents("C:\\Temp"), "a file");
    EXPECT_EQ(m.OpenHandles().files, 0u);
}

TEST(ClassifyOs, KnownSystemsAndEveryOtherCombination) {
    struct Row {
        uint32_t platform, major, minor;
        uint8_t type;
        int code;
    } rows[] = {
        {1, 4, 0, 0, 2000},  {1, 4, 10, 0, 2001}, {1, 4, 90, 0, 2002}, {1, 4, 3, 0, 2010},
        {1, 5, 0, 0, 2010},  {2, 3, 51, 1, 2003}, {2, 4, 0, 1, 2003},  {2, 0, 0, 1, 2003},
        {2, 5, 0, 1, 2004},  {2, 5, 1, 1, 2005},  {2, 5, 2, 1, 2006},  {2, 5, 2, 3, 2006},
        {2, 5, 3, 1, 2010},  {2, 6, 0, 1, 2007},  {2, 6, 0, 3, 2008},  {2, 6, 0, 2, 2008},
        {2, 6, 1, 3, 2009},  {2, 6, 1, 1, 2010},  {2, 6, 2, 1, 2010},  {2, 6, 3, 3, 2010},
        {2, 7, 0, 1, 2010},  {2, 10, 0, 1, 2010}, {0, 0, 0, 0, 2010},  {3, 4, 0, 1, 2010},
        {2, 0xFFFFFFFFu, 0, 1, 2010},  // majors compare unsigned: not "4 or less"
    };
    for (const Row& r : rows) {
        OsVersion v;
        v.platformId = r.platform;
        v.major = r.major;
        v.minor = r.minor;
        v.productType = r.type;
        EXPECT_EQ(ClassifyOs(v), r.code) << r.platform << " " << r.major << "." << r.minor
                                         << " type " << int(r.type);
    }
}

TEST_F(CommonTest, CheckOSLogsItsBlock) {
    m.SetVersion(sim::versions::kWinXp);
    log.OpenLog();
    EXPECT_EQ(sys.CheckOS(), kOsWinXp);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"", "", "CheckOS BEGIN",
                                                 "osvi.dwPlatformID   : 2",
                                                 "osvi.dwMajorVersion : 5",
                                                 "osvi.dwMinorVersion : 1",
                                                 "osvi.dwBuildNumber  : 2600", "CheckOS END"}));
}

TEST_F(CommonTest, CheckOSFallsBackToTheBasicStructure) {
    m.SetVersion(sim::versions::kNt4);
    m.SetRefusesExtendedVersionInfo(true);
    EXPECT_EQ(sys.CheckOS(), kOsNt4);  // classified, not the unknown 2010
    m.InjectFault(sim::Fault("GetVersionExA").Fails(kErrInvalidParameter).Always());
    EXPECT_EQ(sys.CheckOS(), kOsWin7);  // nothing filled: platform 0
}

TEST_F(CommonTest, IsWow64WithAndWithoutTheFunction) {
    log.OpenLog();
    EXPECT_EQ(sys.IsWow64(), 1);
    m.SetWindows64(false);
    EXPECT_EQ(sys.IsWow64(), 0);
    m.SetWindows64(true);
    m.SetHasIsWow64Process(false);
    EXPECT_EQ(sys.IsWow64(), 0);
    m.SetHasIsWow64Process(true);
    m.InjectFault(sim::Fault("IsWow64Process").Fails(kErrAccessDenied));
    EXPECT_EQ(sys.IsWow64(), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"The process is running under WOW64.",
                                                 "The process is not running under WOW64.",
                                                 "The process is not running under WOW64.",
                                                 "The process is not running under WOW64."}));
}

TEST_F(CommonTest, MyRegDeleteKeyExDeletesTheTreeInThe64BitViewOnly) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test";
    m.SetRegString(key, "DisplayName", "64", true);
    m.SetRegString(key + "\\A\\Deep", "v", "1", true);
    m.AddRegKey(key + "\\B", true);
    m.SetRegString(key, "DisplayName", "32", false);
    m.AddRegKey(key + "\\A", false);
    EXPECT_EQ(sys.MyRegDeleteKeyEx(kHKeyLocalMachine, key, kKeyWow64_64Key, 0), 0);
    EXPECT_FALSE(m.RegKeyExists(key, true));
    EXPECT_TRUE(m.RegKeyExists(key + "\\A", false));
    // Deepest first, each in the 64-bit view.
    std::vector<std::string> deleted;
    for (const sim::CallRecord& c : m.Calls("RegDeleteKeyExA")) deleted.push_back(c.args);
    EXPECT_EQ(deleted, (std::vector<std::string>{"HKLM\\" + key + "\\A\\Deep", "HKLM\\" + key + "\\A",
                                                 "HKLM\\" + key + "\\B", "HKLM\\" + key}));
    // Gone already: deleted.
    EXPECT_EQ(sys.MyRegDeleteKeyEx(kHKeyLocalMachine, key, kKeyWow64_64Key, 0), 0);
}

TEST_F(CommonTest, MyRegDeleteKeyExStopsAtASubkeyThatStays) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test";
    m.AddRegKey(key + "\\Locked", true);
    m.AddRegKey(key + "\\Other", true);
    m.InjectFault(sim::Fault("RegDeleteKeyExA").For("Locked").Fails(kErrAccessDenied));
    EXPECT_EQ(sys.MyRegDeleteKeyEx(kHKeyLocalMachine, key, kKeyWow64_64Key, 0), 5);
    EXPECT_TRUE(m.RegKeyExists(key + "\\Locked", true));
    EXPECT_TRUE(m.RegKeyExists(key, true));

    // A key that cannot be listed is still tried: without subkeys it goes.
    m.InjectFault(sim::Fault("RegEnumKeys").Fails(kErrAccessDenied));
    EXPECT_EQ(sys.MyRegDeleteKeyEx(kHKeyLocalMachine, key + "\\Other", kKeyWow64_64Key, 0), 0);
    EXPECT_FALSE(m.RegKeyExists(key + "\\Other", true));
    EXPECT_EQ(m.OpenHandles().keys, 0u);

    m.SetHasRegDeleteKeyEx(false);
    EXPECT_EQ(sys.MyRegDeleteKeyEx(kHKeyLocalMachine, key, kKeyWow64_64Key, 0), -1);
    EXPECT_TRUE(m.RegKeyExists(key + "\\Locked", true));
}

TEST_F(CommonTest, DeleteKeyTreeCountsAMissingKeyAsDeletedInBothViews) {
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test";
    EXPECT_EQ(sys.DeleteKeyTree(1, key), 0);
    m.InjectFault(sim::Fault("RegDeleteKeyExA").Fails(kErrAccessDenied));
    EXPECT_EQ(sys.DeleteKeyTree(1, key), 5);  // a real failure stays one
    m.SetWindows64(false);
    m.AddRegKey(key + "\\Sub");
    EXPECT_EQ(sys.DeleteKeyTree(0, key), 0);
    EXPECT_FALSE(m.RegKeyExists(key));
    EXPECT_EQ(sys.DeleteKeyTree(0, key), 0);
    EXPECT_EQ(m.Calls("SHDeleteKeyA").back().error, kErrFileNotFound);
    m.InjectFault(sim::Fault("SHDeleteKeyA").Fails(kErrAccessDenied));
    EXPECT_EQ(sys.DeleteKeyTree(0, key), 5);
}

TEST_F(CommonTest, RestartAsksForARebootThatLetsProgramsSave) {
    EXPECT_TRUE(sys.RestartSystem());
    ASSERT_EQ(m.Restarts().size(), 1u);
    EXPECT_EQ(m.Restarts()[0], kEwxReboot | kEwxForceIfHung);
}

TEST_F(CommonTest, RestartWithoutPrivilegeOrTokenFails) {
    m.SetShutdownPrivilege(false);
    EXPECT_FALSE(sys.RestartSystem());
    m.SetShutdownPrivilege(true);
    m.InjectFault(sim::Fault("OpenProcessToken").Fails(kErrAccessDenied));
    EXPECT_FALSE(sys.RestartSystem());
    m.InjectFault(sim::Fault("ExitWindowsEx").Fails(kErrPrivilegeNotHeld));
    EXPECT_FALSE(sys.RestartSystem());
    EXPECT_TRUE(m.Restarts().empty());
}

TEST_F(CommonTest, ReportedDeletionLogsPathAndCode) {
    log.OpenLog();
    EXPECT_FALSE(sys.DeleteFileReported("C:\\Windows\\missing.dll"));
    m.AddFile("C:\\Windows\\here.dll");
    EXPECT_TRUE(sys.DeleteFileReported("C:\\Windows\\here.dll"));
    EXPECT_EQ(Lines(), std::vector<std::string>{"DeleteFile Error : C:\\Windows\\missing.dll , (2)"});
}

TEST_F(CommonTest, DeletingAFileTakesItsOldCopyNowOrAtTheRestart) {
    log.OpenLog();
    m.AddFile("C:\\Windows\\a.dll");
    EXPECT_TRUE(sys.DeleteFileAndOldCopy("C:\\Windows\\a.dll"));  // no ".old": nothing more
    m.AddFile("C:\\Windows\\b.dll.old");
    EXPECT_FALSE(sys.DeleteFileAndOldCopy("C:\\Windows\\b.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\b.dll.old"));
    m.AddFile("C:\\Windows\\c.dll.old");
    m.HoldOpen("C:\\Windows\\c.dll.old", kFileShareRead);
    sys.DeleteFileAndOldCopy("C:\\Windows\\c.dll");
    m.AddFile("C:\\Windows\\d.dll.old");
    m.HoldOpen("C:\\Windows\\d.dll.old", kFileShareRead);
    m.InjectFault(sim::Fault("MoveFileExA").Fails(kErrAccessDenied));
    sys.DeleteFileAndOldCopy("C:\\Windows\\d.dll");
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "DeleteFile Error : C:\\Windows\\b.dll , (2)",
                           "DeleteFile Error : C:\\Windows\\c.dll , (2)",
                           "MOVEFILE_DELAY_UNTIL_REBOOT : C:\\Windows\\c.dll.old",
                           "DeleteFile Error : C:\\Windows\\d.dll , (2)",
                           "MoveFileEx failed : C:\\Windows\\d.dll.old (5)"}));
    m.RestartWindows();
    EXPECT_FALSE(m.Exists("C:\\Windows\\c.dll.old"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\d.dll.old"));
}

TEST_F(CommonTest, RemoveDirectoryTreeDeletesEverythingWithOrWithoutTrailingBackslash) {
    for (const char* given : {"C:\\Windows\\ZEP", "C:\\Windows\\ZEP\\"}) {
        m.AddFile("C:\\Windows\\ZEP\\a.txt", "a", kFileAttributeReadonly);
        m.AddFile("C:\\Windows\\ZEP\\sub\\deep\\b.txt", "b", kFileAttributeReadonly);
        m.AddDirectory("C:\\Windows\\ZEP\\empty");
        sys.RemoveDirectoryTree(given);
        EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP")) << given;
    }
    sys.RemoveDirectoryTree("C:\\Windows\\Nothing");  // missing: nothing happens
    EXPECT_TRUE(m.IsDirectory("C:\\Windows"));
}

TEST_F(CommonTest, RemoveDirectoryTreeKeepsFilesInUseAndTheirParents) {
    m.AddFile("C:\\Windows\\ZEP\\busy\\held.dll");
    m.AddFile("C:\\Windows\\ZEP\\busy\\free.dll");
    m.AddFile("C:\\Windows\\ZEP\\other.txt");
    m.HoldOpen("C:\\Windows\\ZEP\\busy\\held.dll", 0);
    sys.RemoveDirectoryTree("C:\\Windows\\ZEP");
    EXPECT_TRUE(m.Exists("C:\\Windows\\ZEP\\busy\\held.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\busy\\free.dll"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP\\other.txt"));
}

TEST_F(CommonTest, RemoveDirectoryTreeNeverFollowsJunctions) {
    m.AddFile("C:\\Windows\\System32\\drivers\\keep.sys", "system");
    // A junction inside the tree, and a tree that is itself a junction.
    m.AddFile("C:\\Windows\\ZEP\\file.txt");
    m.AddJunction("C:\\Windows\\ZEP\\link", "C:\\Windows\\System32\\drivers");
    sys.RemoveDirectoryTree("C:\\Windows\\ZEP");
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\System32\\drivers\\keep.sys"));

    m.AddJunction("C:\\KESTREL Printer Driver\\ZEP", "C:\\Windows\\System32\\drivers");
    sys.RemoveDirectoryTree("C:\\KESTREL Printer Driver\\ZEP");
    EXPECT_FALSE(m.Exists("C:\\KESTREL Printer Driver\\ZEP"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\System32\\drivers\\keep.sys"));
}

TEST_F(CommonTest, RemoveDirectoryTreeRefusesDriveRootsAndTheSystemFolders) {
    log.OpenLog();
    m.AddFile("C:\\Package\\keep.txt", "the current folder: what \"C:\" names");
    m.AddFile("C:\\Windows\\win.ini", "windows");
    m.AddFile("C:\\Windows\\system32\\kernel32.dll", "system");
    m.ClearCalls();
    const std::vector<std::string> refused = {"",   "\\",         "C:",           "C:\\",
                                              "d:", "c:\\windows\\", "C:\\WINDOWS\\System32"};
    for (const std::string& path : refused) sys.RemoveDirectoryTree(path);
    std::vector<std::string> expected;
    for (const std::string& path : refused) expected.push_back("RemoveDirectoryTree refused : " + path);
    EXPECT_EQ(Lines(), expected);
    for (const char* call : {"DeleteFileA", "RemoveDirectoryA", "SetFileAttributesA", "FindFiles"})
        EXPECT_TRUE(m.Calls(call).empty()) << call;
    EXPECT_TRUE(m.Exists("C:\\Package\\keep.txt"));

    // A folder beside them, or below them, is not refused.
    m.AddFile("C:\\Windows\\ZEP\\x.txt");
    m.AddFile("C:\\WindowsZEP\\y.txt");
    sys.RemoveDirectoryTree("C:\\Windows\\ZEP");
    sys.RemoveDirectoryTree("C:\\WindowsZEP\\");
    EXPECT_FALSE(m.Exists("C:\\Windows\\ZEP"));
    EXPECT_FALSE(m.Exists("C:\\WindowsZEP"));
    EXPECT_EQ(Lines().size(), refused.size());
}

TEST_F(CommonTest, DeletePrinterJobsEmptiesTheQueueAndWaits) {
    m.AddPrinterDirect("P", "Other Driver");
    for (int i = 0; i < 3; ++i) m.AddJob("P");
    Result<HPrinter> h = m.OpenPrinterA("P", nullptr);
    ASSERT_TRUE(h.ok);
    uint64_t before = m.ElapsedMs();
    sys.DeletePrinterJobs(h.value);
    EXPECT_TRUE(m.FindPrinter("P")->jobs.empty());
    EXPECT_EQ(m.ElapsedMs() - before, 1000u);
    int deletes = 0;
    for (const sim::CallRecord& c : m.Calls())
        if (c.call == "SetJobA") deletes += c.args.find("|5") != std::string::npos;
    EXPECT_EQ(deletes, 3);

    before = m.ElapsedMs();
    sys.DeletePrinterJobs(h.value);  // no jobs: no wait
    EXPECT_EQ(m.ElapsedMs(), before);
}

TEST_F(CommonTest, DeletePrinterJobsTakesAtMostAThousand) {
    m.AddPrinterDirect("P", "Other Driver");
    for (int i = 0; i < 1003; ++i) m.AddJob("P");
    Result<HPrinter> h = m.OpenPrinterA("P", nullptr);
    sys.DeletePrinterJobs(h.value);
    EXPECT_EQ(m.FindPrinter("P")->jobs.size(), 3u);
}

TEST_F(CommonTest, SpoolerCommandsAndTheirWaits) {
    sys.StopSpooler(1500);
    EXPECT_FALSE(m.SpoolerRunning());
    sys.StartSpooler(2000);
    EXPECT_TRUE(m.SpoolerRunning());
    EXPECT_EQ(m.Commands(), (std::vector<std::string>{"net stop spooler", "net start spooler"}));
    EXPECT_EQ(m.Pauses(), (std::vector<uint32_t>{1500, 2000}));
}

TEST_F(CommonTest, SystemErrorBoxJoinsHeadingAndSystemText) {
    sys.ShowSystemErrorBox("EnumPrinters Error Code: %d\n\n", 1722, kMbIconExclamation);
    std::vector<sim::UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "EnumPrinters Error Code: 1722\n\nThe RPC server is unavailable.\r\n");
    EXPECT_EQ(boxes[0].style, kMbOk | kMbIconExclamation);
}

}  // namespace
}  // namespace zep
