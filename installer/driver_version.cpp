#include "installer/driver_version.h"

#include <cstring>

#include "platform/routine.h"

namespace zep {

namespace {

uint32_t ReadDword(Spooler& spooler, HPrinter printer, const char* name, bool* ok) {
    Spooler::DataResult r = spooler.GetPrinterDataA(printer, name, 4);
    uint32_t value = 0;
    if (r.status == 0 && !r.data.empty())
        std::memcpy(&value, r.data.data(), r.data.size() < 4 ? r.data.size() : 4);
    if (ok) *ok = r.status == 0;
    return value;
}

}  // namespace

int DriverVersion(Platform& os, const char* environment, std::string driverName,
                  std::string processorName, int major, int minor, int build, int extra,
                  uint32_t* listError) {
    RoutineScope scope("DriverVersion");
    Spooler& spooler = os.spooler;
    Result<std::vector<PrinterInfo2>> printers = spooler.EnumPrintersA(kPrinterEnumLocal, nullptr);
    if (!printers.ok) {
        if (listError) *listError = printers.error;
        return kVersionUnknown;
    }
    for (const PrinterInfo2& printer : printers.value) {
        if (printer.driverName != driverName) continue;
        PrinterDefaults defaults{"RAW", kPrinterAllAccess};
        Result<HPrinter> handle = spooler.OpenPrinterA(printer.printerName.c_str(), &defaults);
        const uint32_t installed[4] = {
            ReadDword(spooler, handle.value, "MajorVersion", nullptr),
            ReadDword(spooler, handle.value, "MinorVersion", nullptr),
            ReadDword(spooler, handle.value, "BuildVersion", nullptr),
            0};
        bool extraRead = false;
        uint32_t installedExtra = ReadDword(spooler, handle.value, "ExtraVersion", &extraRead);
        if (handle.ok) spooler.ClosePrinter(handle.value);
        if (!extraRead) return 0;
        const uint32_t mine[4] = {uint32_t(major), uint32_t(minor), uint32_t(build),
                                  uint32_t(extra)};
        const uint32_t theirs[4] = {installed[0], installed[1], installed[2], installedExtra};
        for (int i = 0; i < 4; ++i)
            if (theirs[i] != mine[i]) return theirs[i] < mine[i] ? 0 : 1;
        return 3;
    }

    Result<std::vector<DriverInfo3>> drivers = spooler.EnumPrinterDriversA(nullptr, environment, 4);
    for (const DriverInfo3& driver : drivers.value)
        if (driver.name == driverName) return 0;

    Result<std::vector<std::string>> processors = spooler.EnumPrintProcessorsA(nullptr, environment);
    for (const std::string& processor : processors.value)
        if (processor == processorName) return 0;
    return 2;
}

}  // namespace zep
