// The simulated machine as a whole: fault injection, call records, version,
// clock, the user, process exit, system texts and the snapshot.
#include <gtest/gtest.h>

#include <thread>

#include "platform/routine.h"
#include "platform/sim/machine.h"

namespace zep::sim {
namespace {

class SimMachine : public ::testing::Test {
protected:
    Machine m;
    Kernel& k = m;
};

TEST_F(SimMachine, FaultsHonourSkipTimesRoutineAndArguments) {
    m.AddFile("C:\\a.txt");
    m.AddFile("C:\\b.txt");
    m.InjectFault(Fault("GetFileAttributesA").For("B.TXT").Fails(kErrSharingViolation).After(1).Times(2));
    EXPECT_TRUE(k.GetFileAttributesA("C:\\a.txt").ok);   // other argument
    EXPECT_TRUE(k.GetFileAttributesA("C:\\b.txt").ok);   // skipped
    EXPECT_EQ(k.GetFileAttributesA("C:\\b.txt").error, 32u);
    EXPECT_EQ(k.GetFileAttributesA("C:\\b.txt").value, kInvalidFileAttributes);
    EXPECT_TRUE(k.GetFileAttributesA("C:\\b.txt").ok);   // times used up

    m.InjectFault(Fault("DeleteFileA").In("RemoveDirectoryTree").Fails(kErrAccessDenied).Always());
    EXPECT_TRUE(k.DeleteFileA("C:\\a.txt").ok);
    {
        RoutineScope scope("RemoveDirectoryTree");
        EXPECT_EQ(k.DeleteFileA("C:\\b.txt").error, 5u);
        EXPECT_EQ(k.DeleteFileA("C:\\b.txt").error, 5u);
    }
    EXPECT_TRUE(m.Exists("C:\\b.txt"));

    std::vector<CallRecord> deletes = m.Calls("DeleteFileA");
    ASSERT_EQ(deletes.size(), 3u);
    EXPECT_EQ(deletes[0].routine, "");
    EXPECT_FALSE(deletes[0].failed);
    EXPECT_EQ(deletes[1].routine, "RemoveDirectoryTree");
    EXPECT_EQ(deletes[1].args, "C:\\b.txt");
    EXPECT_TRUE(deletes[1].failed);
    // A real failure is marked as well.
    EXPECT_FALSE(k.DeleteFileA("C:\\zzz").ok);
    EXPECT_EQ(m.Calls("DeleteFileA").back().error, kErrFileNotFound);
    m.ClearFaults();
    m.ClearCalls();
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(SimMachine, FaultsReachEveryKindOfResult) {
    Advapi& a = m;
    Spooler& sp = m;
    m.AddPrinterDirect("P", "D");
    m.InjectFault(Fault("RegOpenKeyExA").Fails(err::kKeyDeleted));
    EXPECT_EQ(a.RegOpenKeyExA(kHKeyLocalMachine, "SOFTWARE", 0, kKeyRead).status, err::kKeyDeleted);
    m.InjectFault(Fault("RegDeleteKeyExA").Fails(kErrAccessDenied));
    std::optional<int32_t> del = a.RegDeleteKeyExA(kHKeyLocalMachine, "SOFTWARE\\X", kKeyWow64_64Key, 0);
    ASSERT_TRUE(del.has_value());  // present, but failing
    EXPECT_EQ(*del, 5);
    m.InjectFault(Fault("GetPrinterDataA").For("ExtraVersion").Fails(kErrFileNotFound));
    PrinterDefaults d{"RAW", kPrinterAllAccess};
    HPrinter h = sp.OpenPrinterA("P", &d).value;
    m.SetPrinterVersion("P", 1, 1, 0, 0);
    EXPECT_EQ(sp.GetPrinterDataA(h, "ExtraVersion", 4).status, 2u);
    EXPECT_EQ(sp.GetPrinterDataA(h, "ExtraVersion", 4).status, 0u);
    // A failed WinExec starts nothing.
    m.InjectFault(Fault("WinExec").For("spooler").Fails(40));
    EXPECT_EQ(k.WinExec("net stop spooler", kSwHide), 2u);
    EXPECT_TRUE(m.SpoolerRunning());
    EXPECT_TRUE(m.Commands().empty());
    // Never failed: boxes, time, strings.
    m.InjectFault(Fault("").Fails(kErrAccessDenied).Always());
    User& u = m;
    EXPECT_EQ(u.AfxMessageBox("text", kMbOk), kIdOk);
    k.Sleep(10);
    EXPECT_EQ(m.ElapsedMs(), 10u);
    EXPECT_FALSE(k.GetWindowsDirectoryA().ok);
}

TEST_F(SimMachine, VersionStructureSizes) {
    Result<OsVersion> ex = k.GetVersionExA(kOsVersionInfoExSize);
    ASSERT_TRUE(ex.ok);
    EXPECT_EQ(ex.value.major, 6u);
    EXPECT_EQ(ex.value.build, 7601u);
    EXPECT_EQ(ex.value.productType, kVerNtWorkstation);
    EXPECT_EQ(ex.value.servicePackMajor, 1);
    Result<OsVersion> basic = k.GetVersionExA(kOsVersionInfoSize);
    ASSERT_TRUE(basic.ok);
    EXPECT_EQ(basic.value.minor, 1u);
    EXPECT_EQ(basic.value.productType, 0);
    EXPECT_EQ(k.GetVersionExA(100).error, kErrInsufficientBuffer);

    m.SetVersion(versions::kNt4);
    m.SetRefusesExtendedVersionInfo(true);
    EXPECT_EQ(k.GetVersionExA(kOsVersionInfoExSize).error, kErrInsufficientBuffer);
    EXPECT_EQ(k.GetVersionExA(kOsVersionInfoSize).value.major, 4u);

    EXPECT_TRUE(k.IsWow64Process()->value);
    m.SetWindows64(false);
    EXPECT_FALSE(k.IsWow64Process()->value);
    m.SetHasIsWow64Process(false);
    EXPECT_FALSE(k.IsWow64Process().has_value());
    EXPECT_TRUE(m.Calls("IsWow64Process").back().failed);
}

TEST_F(SimMachine, VirtualClockAdvancesOnlyBySleeps) {
    SystemTime t = k.GetLocalTime();
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 8);
    EXPECT_EQ(t.dayOfWeek, 2);  // a Tuesday
    EXPECT_EQ(t.hour, 10);
    k.Sleep(500);
    k.Sleep(14 * 3600 * 1000 + 61 * 1000);  // past midnight
    t = k.GetLocalTime();
    EXPECT_EQ(t.day, 9);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.minute, 1);
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.milliseconds, 500);
    EXPECT_EQ(m.Pauses(), (std::vector<uint32_t>{500, 14 * 3600 * 1000 + 61 * 1000}));
    EXPECT_EQ(m.Ui("pause").front().value, 500);
}

TEST_F(SimMachine, UserAnswersAndExit) {
    User& u = m;
    EXPECT_EQ(u.AfxMessageBox("Restart now?", kMbYesNo | kMbIconQuestion), kIdNo);
    m.ScriptAnswers({kIdYes});
    EXPECT_EQ(u.AfxMessageBox("Restart now?", kMbYesNo | kMbIconQuestion), kIdYes);
    EXPECT_EQ(u.MessageBoxA(0, "Pick a port", "KESTREL Customer Display installer", kMbOk), kIdOk);
    std::vector<UiEvent> boxes = m.Ui("box");
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].caption, "ZEP_Installer");
    EXPECT_EQ(boxes[1].value, kIdYes);
    EXPECT_EQ(boxes[2].caption, "KESTREL Customer Display installer");

    m.SetStringTable({{17, "ZEP Character Type"}});
    EXPECT_EQ(u.LoadStringA(17), "ZEP Character Type");
    EXPECT_EQ(u.LoadStringA(18), "");

    EXPECT_THROW(k.exit(3), ProcessExit);
    EXPECT_TRUE(m.Exited());
    EXPECT_EQ(m.ExitCode(), 3);
    EXPECT_EQ(m.Ui().back().kind, "exit");
}

TEST_F(SimMachine, SystemErrorTexts) {
    EXPECT_EQ(k.FormatMessageA(3001, kLangEnglishUs).value,
              "The specified printer driver is currently in use.\r\n");
    EXPECT_EQ(k.FormatMessageA(1722, kLangEnglishUs).value, "The RPC server is unavailable.\r\n");
    for (uint32_t code : {2u, 3u, 5u, 6u, 32u, 50u, 80u, 87u, 122u, 126u, 127u, 183u, 1314u, 1796u,
                          1797u, 1798u, 1801u, 1802u, 1805u, 3000u, 3005u, 3006u})
        EXPECT_TRUE(k.FormatMessageA(code, kLangEnglishUs).ok) << code;
    EXPECT_EQ(k.FormatMessageA(123456, kLangEnglishUs).error, 317u);
}

TEST_F(SimMachine, SnapshotShowsStateOnly) {
    Machine other;
    EXPECT_EQ(m.Snapshot(), other.Snapshot());
    // Calls, time and what the user saw do not count.
    k.Sleep(100);
    k.GetFileAttributesA("C:\\nope");
    User& u = m;
    u.AfxMessageBox("x", kMbOk);
    EXPECT_EQ(m.Snapshot(), other.Snapshot());

    std::string before = m.Snapshot();
    m.AddFile("C:\\Temp\\a.txt", "1");
    std::string withFile = m.Snapshot();
    EXPECT_NE(withFile, before);
    m.AddFile("C:\\Temp\\a.txt", "2");
    EXPECT_NE(m.Snapshot(), withFile);  // same size, other content
    EXPECT_NE(withFile.find("C:\\Temp\\a.txt file 0x80 size=1"), std::string::npos);

    before = m.Snapshot();
    m.SetRegString("SOFTWARE\\Vendor", "Name", "x", false);
    EXPECT_NE(m.Snapshot().find("[HKLM\\SOFTWARE\\Wow6432Node\\Vendor]"), std::string::npos);
    before = m.Snapshot();
    m.AddJob("none");  // no such printer: nothing changes
    EXPECT_EQ(m.Snapshot(), before);
    m.AddPrinterDirect("P", "D");
    m.AddJob("P");
    EXPECT_NE(m.Snapshot().find("printer \"P\""), std::string::npos);
    m.SetSpoolerRunning(false);
    EXPECT_NE(m.Snapshot().find("running=0"), std::string::npos);
}

TEST_F(SimMachine, CallsFromTwoThreadsAreSerialised) {
    m.AddDirectory("C:\\Temp");
    auto writer = [this](std::string path) {
        for (int i = 0; i < 200; ++i) {
            Result<HFile> f = k.CreateFileA(path, kGenericRead | kGenericWrite,
                                            kFileShareRead | kFileShareWrite, kOpenAlways, 0);
            ASSERT_TRUE(f.ok);
            k.SetFilePointer(f.value, 0, kFileEnd);
            k.WriteFile(f.value, "line\r\n");
            k.CloseHandle(f.value);
        }
    };
    std::thread t1(writer, "C:\\Temp\\one.txt"), t2(writer, "C:\\Temp\\two.txt");
    t1.join();
    t2.join();
    EXPECT_EQ(m.FileContents("C:\\Temp\\one.txt").size(), 1200u);
    EXPECT_EQ(m.FileContents("C:\\Temp\\two.txt").size(), 1200u);
    EXPECT_EQ(m.Calls().size(), 1600u);
    EXPECT_EQ(m.OpenHandles().files, 0u);
}

}  // namespace
}  // namespace zep::sim
