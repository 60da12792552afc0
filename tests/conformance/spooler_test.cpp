// The local print spooler: folders, ports, forms, monitors, print processors,
// drivers and printers, and the codes the programs branch on.
#include "tests/conformance/helpers.h"

namespace zep::conformance {
namespace {

const char kEnvX64[] = "Windows x64";
const char kEnvX86[] = "Windows NT x86";
const char kDriver[] = "ZepConformance Driver";
const char kPrinter[] = "ZepConformance Printer";
const char kMonitor[] = "ZepConformance Monitor";
const char kProcessor[] = "ZepConformance Processor";
const char* const kDriverFiles[] = {"ZEPCONF.DLL", "ZEPCONF.GPD", "ZEPCONFUI.DLL"};

class Spool : public ConformanceTest {
protected:
    void TearDown() override {
        RemoveDriverAndPrinter();
        ConformanceTest::TearDown();
    }

    Spooler& s() { return Os().spooler; }

    // Stages placeholder driver files and registers a driver made of them.
    ::testing::AssertionResult AddDriver(const char* environment = kEnvX64) {
        Result<std::string> dir = s().GetPrinterDriverDirectoryA(nullptr, environment);
        if (!dir.ok) return ::testing::AssertionFailure() << "driver folder: " << dir.error;
        for (const char* f : kDriverFiles) {
            ::testing::AssertionResult put = PutFile(dir.value + "\\" + f, "placeholder");
            if (!put) return put;
        }
        DriverInfo3 d;
        d.version = 3;
        d.name = kDriver;
        d.environment = environment;
        d.driverPath = kDriverFiles[0];
        d.dataFile = kDriverFiles[1];
        d.configFile = kDriverFiles[2];
        d.defaultDataType = "RAW";
        Status add = s().AddPrinterDriverA(nullptr, d);
        if (!add.ok) return ::testing::AssertionFailure() << "AddPrinterDriverA: " << add.error;
        return ::testing::AssertionSuccess();
    }

    PrinterInfo2 PrinterRecord(const std::string& processor = "WinPrint") {
        PrinterInfo2 p;
        p.printerName = kPrinter;
        p.portName = "FILE:";
        p.driverName = kDriver;
        p.printProcessor = processor;
        p.datatype = "RAW";
        p.attributes = kPrinterAttributeRawOnly;
        p.priority = 1;
        return p;
    }

    // Removes what a case may have left, whatever state it stopped in.
    void RemoveDriverAndPrinter() {
        PrinterDefaults all{"RAW", kPrinterAllAccess};
        for (int i = 0; i < 4; ++i) {
            Result<HPrinter> h = s().OpenPrinterA(kPrinter, &all);
            if (!h.ok) break;
            s().DeletePrinter(h.value);
            s().ClosePrinter(h.value);
        }
        for (const char* env : {kEnvX64, kEnvX86}) {
            s().DeletePrinterDriverExA(nullptr, env, kDriver, 0, 0);
            Result<std::string> dir = s().GetPrinterDriverDirectoryA(nullptr, env);
            if (!dir.ok) continue;
            for (const char* f : kDriverFiles) {
                Os().kernel.DeleteFileA(dir.value + "\\" + f);
                Os().kernel.DeleteFileA(dir.value + "\\3\\" + f);
            }
        }
    }

    static bool HasPrinter(const std::vector<PrinterInfo2>& list, const std::string& name) {
        for (const PrinterInfo2& p : list)
            if (p.printerName == name) return true;
        return false;
    }
};

TEST_F(Spool, DirectoriesEndInTheEnvironmentFolder) {
    Result<std::string> d64 = s().GetPrinterDriverDirectoryA(nullptr, kEnvX64);
    ASSERT_TRUE(d64.ok) << d64.error;
    EXPECT_TRUE(EndsWithI(d64.value, "\\spool\\drivers\\x64")) << d64.value;
    Result<std::string> d86 = s().GetPrinterDriverDirectoryA(nullptr, kEnvX86);
    ASSERT_TRUE(d86.ok) << d86.error;
    EXPECT_TRUE(EndsWithI(d86.value, "\\spool\\drivers\\w32x86")) << d86.value;

    Result<std::string> p64 = s().GetPrintProcessorDirectoryA(nullptr, kEnvX64);
    ASSERT_TRUE(p64.ok) << p64.error;
    EXPECT_TRUE(EndsWithI(p64.value, "\\spool\\prtprocs\\x64")) << p64.value;
    Result<std::string> p86 = s().GetPrintProcessorDirectoryA(nullptr, kEnvX86);
    ASSERT_TRUE(p86.ok) << p86.error;
    EXPECT_TRUE(EndsWithI(p86.value, "\\spool\\prtprocs\\w32x86")) << p86.value;

    // Without an environment the caller's own is used.
    std::string own = Program64() ? "\\x64" : "\\w32x86";
    Result<std::string> d = s().GetPrinterDriverDirectoryA(nullptr, nullptr);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_TRUE(EndsWithI(d.value, "\\spool\\drivers" + own)) << d.value;
    Result<std::string> p = s().GetPrintProcessorDirectoryA(nullptr, nullptr);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(EndsWithI(p.value, "\\spool\\prtprocs" + own)) << p.value;

    // Both live in the system folder.
    Result<std::string> sys = Os().kernel.GetSystemDirectoryA();
    ASSERT_TRUE(sys.ok);
    EXPECT_TRUE(StartsWithI(d64.value, sys.value + "\\")) << d64.value;

    Result<std::string> bad = s().GetPrinterDriverDirectoryA(nullptr, "Windows ZepConformance");
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, kErrInvalidEnvironment);
}

TEST_F(Spool, PortsIncludeCom1) {
    Result<std::vector<std::string>> ports = s().EnumPortsA(nullptr);
    ASSERT_TRUE(ports.ok) << ports.error;
    EXPECT_TRUE(ContainsI(ports.value, "COM1:"));
    EXPECT_TRUE(ContainsI(ports.value, "LPT1:"));
    EXPECT_TRUE(ContainsI(ports.value, "FILE:"));
}

// The local port monitor's commands for a COM port's settings, as the
// system's Configure Port uses them: read, set, read back, and a
// configuration no serial port takes refused. The port is put back.
TEST_F(Spool, ComPortSettingsThroughThePortMonitor) {
    PrinterDefaults admin{nullptr, kServerAccessAdminister};
    Result<HPrinter> xcv = s().OpenPrinterA(",XcvPort COM2:", &admin);
    ASSERT_TRUE(xcv.ok) << xcv.error;
    std::optional<Result<CommConfig>> before = s().XcvDataGetDefaultCommConfig(xcv.value, "COM2");
    ASSERT_TRUE(before);
    ASSERT_TRUE(before->ok) << before->error;
    EXPECT_NE(before->value.baudRate, 0u);

    CommConfig next = before->value;
    next.baudRate = 19200;
    next.parity = kEvenParity;
    next.byteSize = 7;
    next.stopBits = kTwoStopBits;
    std::optional<Status> set = s().XcvDataSetDefaultCommConfig(xcv.value, next);
    ASSERT_TRUE(set);
    EXPECT_TRUE(set->ok) << set->error;
    std::optional<Result<CommConfig>> after = s().XcvDataGetDefaultCommConfig(xcv.value, "COM2");
    ASSERT_TRUE(after && after->ok);
    EXPECT_EQ(after->value.baudRate, 19200u);
    EXPECT_EQ(after->value.parity, kEvenParity);
    EXPECT_EQ(after->value.byteSize, 7);
    EXPECT_EQ(after->value.stopBits, kTwoStopBits);

    EXPECT_TRUE(s().XcvDataSetDefaultCommConfig(xcv.value, before->value)->ok);
    EXPECT_TRUE(s().ClosePrinter(xcv.value).ok);
}

TEST_F(Spool, ComPortSettingsOfAPortThatIsNotThere) {
    PrinterDefaults admin{nullptr, kServerAccessAdminister};
    // The spooler finds the port's monitor by the port's name.
    Result<HPrinter> xcv = s().OpenPrinterA(",XcvPort COM8:", &admin);
    EXPECT_FALSE(xcv.ok);
    EXPECT_EQ(xcv.error, kErrUnknownPort);
}

TEST_F(Spool, ComPortSettingsNoSerialPortTakes) {
    ZEP_SIM_ONLY("Wine's SetDefaultCommConfig stores any DCB; the sim refuses one no serial port takes, as SetCommState does");
    PrinterDefaults admin{nullptr, kServerAccessAdminister};
    Result<HPrinter> xcv = s().OpenPrinterA(",XcvPort COM2:", &admin);
    ASSERT_TRUE(xcv.ok) << xcv.error;
    std::optional<Result<CommConfig>> before = s().XcvDataGetDefaultCommConfig(xcv.value, "COM2");
    ASSERT_TRUE(before && before->ok);
    CommConfig bad = before->value;
    bad.byteSize = 9;
    std::optional<Status> set = s().XcvDataSetDefaultCommConfig(xcv.value, bad);
    ASSERT_TRUE(set);
    EXPECT_FALSE(set->ok);
    EXPECT_EQ(set->error, kErrInvalidParameter);
    s().XcvDataSetDefaultCommConfig(xcv.value, before->value);
    EXPECT_TRUE(s().ClosePrinter(xcv.value).ok);
}

TEST_F(Spool, ServerHandleAndFormsList) {
    Result<std::vector<PrinterInfo2>> printers = s().EnumPrintersA(kPrinterEnumLocal, nullptr);
    ASSERT_TRUE(printers.ok) << printers.error;

    Result<HPrinter> server = s().OpenPrinterA(nullptr, nullptr);
    ASSERT_TRUE(server.ok) << server.error;
    EXPECT_NE(server.value, HPrinter::None);
    Result<std::vector<FormInfo1>> forms = s().EnumFormsA(server.value);
    ASSERT_TRUE(forms.ok) << forms.error;
    std::vector<std::string> names;
    for (const FormInfo1& f : forms.value) names.push_back(f.name);
    EXPECT_TRUE(ContainsI(names, "Letter"));
    EXPECT_TRUE(ContainsI(names, "A4"));
    for (const FormInfo1& f : forms.value) {
        if (f.name == "Letter") {
            EXPECT_EQ(f.width, 215900);  // 8.5 in, thousandths of a millimetre
            EXPECT_EQ(f.height, 279400);
        }
    }
    EXPECT_TRUE(s().ClosePrinter(server.value).ok);
}

TEST_F(Spool, UnknownNamesGiveTheirCodes) {
    Result<HPrinter> p = s().OpenPrinterA("ZepConformance No Such Printer", nullptr);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, kErrInvalidPrinterName);

    Status m = s().DeleteMonitorA(nullptr, nullptr, "ZepConformance No Such Monitor");
    EXPECT_FALSE(m.ok);
    EXPECT_EQ(m.error, kErrUnknownPrintMonitor);
}

TEST_F(Spool, AddMonitorWithMissingDllGives126) {
    MonitorInfo2 m{kMonitor, kEnvX64, "zepconf_no_such_monitor.dll"};
    Status add = s().AddMonitorA(nullptr, m);
    EXPECT_FALSE(add.ok);
    EXPECT_EQ(add.error, kErrModNotFound);
    // Nothing was registered.
    EXPECT_EQ(s().DeleteMonitorA(nullptr, nullptr, kMonitor).error, kErrUnknownPrintMonitor);
}

TEST_F(Spool, PrintProcessorsIncludeWinPrint) {
    Result<std::vector<std::string>> procs = s().EnumPrintProcessorsA(nullptr, kEnvX64);
    ASSERT_TRUE(procs.ok) << procs.error;
    EXPECT_TRUE(ContainsI(procs.value, "WinPrint"));
}

TEST_F(Spool, PrinterLifecycleWithData) {
    // The 32-bit version too, as an installation for both kinds of client
    // has it (and 32-bit Wine looks there; see the next case).
    ASSERT_TRUE(AddDriver(kEnvX64));
    ASSERT_TRUE(AddDriver(kEnvX86));
    Result<std::vector<DriverInfo3>> drivers = s().EnumPrinterDriversA(nullptr, kEnvX64, 3);
    ASSERT_TRUE(drivers.ok) << drivers.error;
    const DriverInfo3* ours = nullptr;
    for (const DriverInfo3& d : drivers.value)
        if (d.name == kDriver) ours = &d;
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(ours->version, 3u);
    // The registered files are full paths in the version-3 folder.
    EXPECT_TRUE(EndsWithI(ours->driverPath, "\\x64\\3\\ZEPCONF.DLL")) << ours->driverPath;
    EXPECT_TRUE(EndsWithI(ours->dataFile, "\\x64\\3\\ZEPCONF.GPD")) << ours->dataFile;

    Result<HPrinter> added = s().AddPrinterA(nullptr, PrinterRecord());
    ASSERT_TRUE(added.ok) << added.error;
    s().ClosePrinter(added.value);

    Result<std::vector<PrinterInfo2>> printers = s().EnumPrintersA(kPrinterEnumLocal, nullptr);
    ASSERT_TRUE(printers.ok) << printers.error;
    ASSERT_TRUE(HasPrinter(printers.value, kPrinter));
    for (const PrinterInfo2& p : printers.value) {
        if (p.printerName != kPrinter) continue;
        EXPECT_EQ(p.driverName, kDriver);
        EXPECT_EQ(p.portName, "FILE:");
    }

    PrinterDefaults all{"RAW", kPrinterAllAccess};
    Result<HPrinter> h = s().OpenPrinterA(kPrinter, &all);
    ASSERT_TRUE(h.ok) << h.error;

    Spooler::DataResult missing = s().GetPrinterDataA(h.value, "MajorVersion", 4);
    EXPECT_EQ(missing.status, kErrFileNotFound);
    std::string three("\x03\0\0\0", 4);
    EXPECT_EQ(s().SetPrinterDataA(h.value, "MajorVersion", kRegDword, three), 0u);
    Spooler::DataResult major = s().GetPrinterDataA(h.value, "MajorVersion", 4);
    EXPECT_EQ(major.status, 0u);
    EXPECT_EQ(major.type, kRegDword);
    EXPECT_EQ(major.data, three);

    EXPECT_TRUE(s().DeletePrinter(h.value).ok);
    EXPECT_TRUE(s().ClosePrinter(h.value).ok);
    printers = s().EnumPrintersA(kPrinterEnumLocal, nullptr);
    ASSERT_TRUE(printers.ok) << printers.error;
    EXPECT_FALSE(HasPrinter(printers.value, kPrinter));
    EXPECT_EQ(s().OpenPrinterA(kPrinter, nullptr).error, kErrInvalidPrinterName);

    EXPECT_TRUE(s().DeletePrinterDriverExA(nullptr, kEnvX86, kDriver, 0, 0).ok);
    EXPECT_TRUE(s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, 0, 0).ok);
    drivers = s().EnumPrinterDriversA(nullptr, kEnvX64, 3);
    ASSERT_TRUE(drivers.ok) << drivers.error;
    for (const DriverInfo3& d : drivers.value) EXPECT_NE(d.name, kDriver);
    EXPECT_FALSE(s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, 0, 0).ok);
}

TEST_F(Spool, AddPrinterUsesTheDriverOfTheNativeEnvironment) {
    // A 32-bit program on 64-bit Windows registers the x64 driver only.
    if (!IsSim() && !Program64())
        GTEST_SKIP() << "32-bit Wine looks the driver up in the caller's environment";
    ASSERT_TRUE(AddDriver(kEnvX64));
    Result<HPrinter> added = s().AddPrinterA(nullptr, PrinterRecord());
    ASSERT_TRUE(added.ok) << added.error;
    s().ClosePrinter(added.value);
}

TEST_F(Spool, AddPrinterWithUnknownDriverFails) {
    PrinterInfo2 p = PrinterRecord();
    p.driverName = "ZepConformance No Such Driver";
    Result<HPrinter> add = s().AddPrinterA(nullptr, p);
    EXPECT_FALSE(add.ok);
    EXPECT_EQ(s().OpenPrinterA(kPrinter, nullptr).error, kErrInvalidPrinterName);
}

// ---------------------------------------------------------------- Windows only

TEST_F(Spool, StoppedSpoolerAnswers1722) {
    ZEP_SIM_ONLY("Wine's print calls run in the calling process; stopping the service changes nothing");
    Kernel& k = Os().kernel;
    EXPECT_GT(k.WinExec("net stop spooler", kSwHide), 31u);
    Result<std::vector<PrinterInfo2>> p = s().EnumPrintersA(kPrinterEnumLocal, nullptr);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, kErrRpcServerUnavailable);
    EXPECT_EQ(s().DeleteMonitorA(nullptr, nullptr, kMonitor).error, kErrRpcServerUnavailable);
    EXPECT_EQ(s().OpenPrinterA(nullptr, nullptr).error, kErrRpcServerUnavailable);

    EXPECT_GT(k.WinExec("net start spooler", kSwHide), 31u);
    EXPECT_TRUE(s().EnumPrintersA(kPrinterEnumLocal, nullptr).ok);
}

TEST_F(Spool, PrintProcessorAddTwiceGives3005AndDeletes) {
    ZEP_SIM_ONLY("Wine accepts a second AddPrintProcessorA and its delete is a stub");
    Result<std::string> dir = s().GetPrintProcessorDirectoryA(nullptr, kEnvX64);
    ASSERT_TRUE(dir.ok);
    ASSERT_TRUE(PutFile(dir.value + "\\ZEPCONFPP.DLL", "placeholder"));
    EXPECT_TRUE(s().AddPrintProcessorA(nullptr, kEnvX64, "ZEPCONFPP.DLL", kProcessor).ok);
    Status again = s().AddPrintProcessorA(nullptr, kEnvX64, "ZEPCONFPP.DLL", kProcessor);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, kErrPrintProcessorAlreadyInstalled);
    Result<std::vector<std::string>> procs = s().EnumPrintProcessorsA(nullptr, kEnvX64);
    ASSERT_TRUE(procs.ok);
    EXPECT_TRUE(ContainsI(procs.value, kProcessor));

    EXPECT_TRUE(s().DeletePrintProcessorA(nullptr, kEnvX64, kProcessor).ok);
    procs = s().EnumPrintProcessorsA(nullptr, kEnvX64);
    ASSERT_TRUE(procs.ok);
    EXPECT_FALSE(ContainsI(procs.value, kProcessor));
    Status gone = s().DeletePrintProcessorA(nullptr, kEnvX64, kProcessor);
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.error, kErrUnknownPrintProcessor);
}

TEST_F(Spool, AddPrinterWithItsOwnPrintProcessor) {
    ZEP_SIM_ONLY("Wine 8.0 creates printers only with the WinPrint print processor");
    Result<std::string> dir = s().GetPrintProcessorDirectoryA(nullptr, kEnvX64);
    ASSERT_TRUE(dir.ok);
    ASSERT_TRUE(PutFile(dir.value + "\\ZEPCONFPP.DLL", "placeholder"));
    ASSERT_TRUE(s().AddPrintProcessorA(nullptr, kEnvX64, "ZEPCONFPP.DLL", kProcessor).ok);
    ASSERT_TRUE(AddDriver());
    Result<HPrinter> add = s().AddPrinterA(nullptr, PrinterRecord(kProcessor));
    ASSERT_TRUE(add.ok) << add.error;
    s().ClosePrinter(add.value);
    Result<std::vector<PrinterInfo2>> printers = s().EnumPrintersA(kPrinterEnumLocal, nullptr);
    ASSERT_TRUE(printers.ok);
    for (const PrinterInfo2& p : printers.value)
        if (p.printerName == kPrinter) {
            EXPECT_EQ(p.printProcessor, kProcessor);
        }

    // A processor that is not registered is refused.
    PrinterInfo2 unknown = PrinterRecord("ZepConformance Unregistered");
    unknown.printerName = "ZepConformance Printer 2";
    Result<HPrinter> bad = s().AddPrinterA(nullptr, unknown);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, kErrUnknownPrintProcessor);
}

TEST_F(Spool, AddPrinterWithUnknownDriverGives1797) {
    ZEP_SIM_ONLY("Wine's AddPrinterA reports its refusals as 87");
    PrinterInfo2 p = PrinterRecord();
    p.driverName = "ZepConformance No Such Driver";
    EXPECT_EQ(s().AddPrinterA(nullptr, p).error, kErrUnknownPrinterDriver);
}

TEST_F(Spool, DeleteDriverRefusesInUseAndUnknown) {
    ZEP_SIM_ONLY("Wine deletes a driver in use and answers 2 for an unknown one");
    ASSERT_TRUE(AddDriver());
    Result<HPrinter> added = s().AddPrinterA(nullptr, PrinterRecord());
    ASSERT_TRUE(added.ok) << added.error;
    Status inUse = s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, 0, 0);
    EXPECT_FALSE(inUse.ok);
    EXPECT_EQ(inUse.error, kErrPrinterDriverInUse);
    EXPECT_TRUE(s().DeletePrinter(added.value).ok);
    s().ClosePrinter(added.value);

    EXPECT_TRUE(s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, 0, 0).ok);
    Status unknown = s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, 0, 0);
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.error, kErrUnknownPrinterDriver);
}

TEST_F(Spool, EmptyQueueListsNoJobs) {
    ZEP_SIM_ONLY("EnumJobsA is a stub under Wine that always fails");
    ASSERT_TRUE(AddDriver());
    Result<HPrinter> added = s().AddPrinterA(nullptr, PrinterRecord());
    ASSERT_TRUE(added.ok) << added.error;
    Result<std::vector<JobInfo3>> jobs = s().EnumJobsA(added.value, 0, 1000);
    ASSERT_TRUE(jobs.ok) << jobs.error;
    EXPECT_TRUE(jobs.value.empty());
    s().ClosePrinter(added.value);
}

TEST_F(Spool, AddedFormIsListedAndDeleted) {
    ZEP_SIM_ONLY("AddFormA and DeleteFormA are stubs under Wine");
    Result<HPrinter> server = s().OpenPrinterA(nullptr, nullptr);
    ASSERT_TRUE(server.ok);
    FormInfo1 form{0, "ZEP Display Line", 100000, 20000};
    EXPECT_TRUE(s().AddFormA(server.value, form).ok);
    Result<std::vector<FormInfo1>> forms = s().EnumFormsA(server.value);
    ASSERT_TRUE(forms.ok);
    std::vector<std::string> names;
    for (const FormInfo1& f : forms.value) names.push_back(f.name);
    EXPECT_TRUE(ContainsI(names, form.name));

    EXPECT_TRUE(s().DeleteFormA(server.value, form.name).ok);
    forms = s().EnumFormsA(server.value);
    ASSERT_TRUE(forms.ok);
    names.clear();
    for (const FormInfo1& f : forms.value) names.push_back(f.name);
    EXPECT_FALSE(ContainsI(names, form.name));
    Status gone = s().DeleteFormA(server.value, form.name);
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.error, kErrInvalidFormName);
    s().ClosePrinter(server.value);
}

TEST_F(Spool, DeleteDriverWithUnusedFilesFlag) {
    ZEP_SIM_ONLY("Wine refuses every nonzero delete flag of DeletePrinterDriverExA with 87");
    ASSERT_TRUE(AddDriver());
    EXPECT_TRUE(s().DeletePrinterDriverExA(nullptr, kEnvX64, kDriver, kDpdDeleteUnusedFiles, 0).ok);
    Result<std::vector<DriverInfo3>> drivers = s().EnumPrinterDriversA(nullptr, kEnvX64, 3);
    ASSERT_TRUE(drivers.ok);
    for (const DriverInfo3& d : drivers.value) EXPECT_NE(d.name, kDriver);
}

}  // namespace
}  // namespace zep::conformance
