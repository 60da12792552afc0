// winspool.drv behind zep::Spooler, loaded from the system directory at run
// time so that no copy beside the program can stand in for it.
#include "platform/win32/win32_internal.h"

#include <winspool.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

// The winspool function `fn`, typed from its declaration; sets `err` when missing.
#define ZEP_WINSPOOL(fn, err) win32::Winspool().Find<decltype(&::fn)>(#fn, &(err))
// One call of the winspool function `fn` (BOOL): its outcome with its code.
#define ZEP_WINSPOOL_CALL(fn, ...) ZEP_CALL_IN(win32::Winspool(), fn, __VA_ARGS__)

namespace zep {
namespace {

using win32::Buffer;
using win32::FromHandle;
using win32::Mutable;
using win32::OrNull;
using win32::Str;

LPSTR Arg(const char* s) { return const_cast<LPSTR>(s); }

struct EnumOutcome {
    BOOL ok;
    DWORD error;
    DWORD returned;
};

// One call of an enumeration into the buffer, through its context.
using EnumCall = BOOL (*)(void* context, BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned);

// The size/data pair of an enumeration, written once for all of them. The
// first call gets a small buffer rather than none (one system answers "no
// buffer" with success and size 0); only the second call's outcome counts.
EnumOutcome EnumerateInto(Buffer& buf, EnumCall call, void* context) {
    buf.Resize(256);
    DWORD needed = 0, returned = 0;
    call(context, buf.data(), buf.size(), &needed, &returned);
    if (needed > buf.size()) buf.Resize(needed);
    needed = 0;
    returned = 0;
    BOOL ok = call(context, buf.data(), buf.size(), &needed, &returned);
    DWORD e = GetLastError();
    return {ok, e, ok ? returned : 0};
}

// The same with the call as a lambda over the buffer and its counts.
template <class Call>
EnumOutcome EnumerateInto(Buffer& buf, Call call) {
    return EnumerateInto(
        buf,
        [](void* context, BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return (*static_cast<Call*>(context))(b, n, need, ret);
        },
        &call);
}

// A NUL-separated list that the spooler placed in `buf` (or elsewhere).
std::vector<std::string> MultiSz(Buffer& buf, const char* p) {
    if (!p) return {};
    const char* begin = reinterpret_cast<const char*>(buf.data());
    const char* end = begin + buf.size() + sizeof(uint64_t);  // the zeroed spare word
    if (p < begin || p >= end) end = p + 65536;
    return win32::SplitMultiSz(p, end);
}

// The fields a caller gives; empty optional strings become NULL.
PRINTER_INFO_2A ToPrinterInfo(const PrinterInfo2& info) {
    PRINTER_INFO_2A p;
    ZeroMemory(&p, sizeof(p));
    p.pServerName = OrNull(info.serverName);
    p.pPrinterName = Mutable(info.printerName);
    p.pShareName = OrNull(info.shareName);
    p.pPortName = info.hasPortName ? Mutable(info.portName) : nullptr;
    p.pDriverName = Mutable(info.driverName);
    p.pComment = OrNull(info.comment);
    p.pLocation = OrNull(info.location);
    p.pSepFile = OrNull(info.sepFile);
    p.pPrintProcessor = Mutable(info.printProcessor);
    p.pDatatype = OrNull(info.datatype);
    p.pParameters = OrNull(info.parameters);
    p.Attributes = info.attributes;
    p.Priority = info.priority;
    p.DefaultPriority = info.defaultPriority;
    p.StartTime = info.startTime;
    p.UntilTime = info.untilTime;
    p.Status = info.status;
    p.cJobs = info.cJobs;
    p.AveragePPM = info.averagePPM;
    return p;
}

PrinterInfo2 FromPrinterInfo(const PRINTER_INFO_2A& p) {
    PrinterInfo2 info;
    info.serverName = Str(p.pServerName);
    info.printerName = Str(p.pPrinterName);
    info.shareName = Str(p.pShareName);
    info.portName = Str(p.pPortName);
    info.hasPortName = p.pPortName != nullptr;
    info.driverName = Str(p.pDriverName);
    info.comment = Str(p.pComment);
    info.location = Str(p.pLocation);
    info.sepFile = Str(p.pSepFile);
    info.printProcessor = Str(p.pPrintProcessor);
    info.datatype = Str(p.pDatatype);
    info.parameters = Str(p.pParameters);
    info.attributes = p.Attributes;
    info.priority = p.Priority;
    info.defaultPriority = p.DefaultPriority;
    info.startTime = p.StartTime;
    info.untilTime = p.UntilTime;
    info.status = p.Status;
    info.cJobs = p.cJobs;
    info.averagePPM = p.AveragePPM;
    return info;
}

// GetPrinterDriverDirectoryA / GetPrintProcessorDirectoryA (level 1).
template <class Fn>
Result<std::string> SpoolerDirectory(Fn fn, const char* server, const char* environment) {
    Buffer buf(MAX_PATH * 2);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD needed = 0;
        BOOL ok = fn(Arg(server), Arg(environment), 1, buf.data(), buf.size(), &needed);
        DWORD e = GetLastError();
        if (ok) return Result<std::string>::Ok(reinterpret_cast<const char*>(buf.data()));
        if (e != ERROR_INSUFFICIENT_BUFFER || needed <= buf.size() || attempt == 1)
            return Result<std::string>::Fail(e);
        buf.Resize(needed);
    }
    return Result<std::string>::Fail(ERROR_INSUFFICIENT_BUFFER);
}

// XcvDataW with one of the port monitor's commands: the call's own failure,
// else the monitor's status; nullopt when winspool has no XcvDataW.
std::optional<Status> Xcv(HPrinter xcv, const wchar_t* command, const BYTE* input, DWORD inputSize,
                          BYTE* output, DWORD outputSize) {
    uint32_t err = 0;
    auto fn = ZEP_WINSPOOL(XcvDataW, err);
    if (!fn && err == ERROR_PROC_NOT_FOUND) return std::nullopt;
    if (!fn) return Status::Fail(err);
    DWORD needed = 0, status = 0;
    BOOL ok = fn(win32::ToHandle(xcv), command, const_cast<BYTE*>(input), inputSize, output,
                 outputSize, &needed, &status);
    DWORD e = GetLastError();
    if (!ok) return Status::Fail(e);
    return status == ERROR_SUCCESS ? Status::Ok() : Status::Fail(status);
}

class Win32SpoolerImpl final : public Spooler {
public:
    Result<std::vector<std::string>> EnumPortsA(const char* server) override {
        using R = Result<std::vector<std::string>>;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumPortsA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(Arg(server), 1, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        auto* ports = reinterpret_cast<PORT_INFO_1A*>(buf.data());
        std::vector<std::string> out;
        for (DWORD i = 0; i < r.returned; ++i) out.push_back(Str(ports[i].pName));
        return R::Ok(std::move(out));
    }

    Status ConfigurePortA(const char* server, uintptr_t window,
                          const std::string& portName) override {
        return ZEP_WINSPOOL_CALL(ConfigurePortA, Arg(server), reinterpret_cast<HWND>(window),
                                 Mutable(portName));
    }

    std::optional<Result<CommConfig>> XcvDataGetDefaultCommConfig(
        HPrinter xcv, const std::string& device) override {
        std::wstring name(device.begin(), device.end());  // "COM1" to "COM8"
        Buffer buf(sizeof(COMMCONFIG) + 1024);  // room for a provider's own data
        auto* cc = reinterpret_cast<COMMCONFIG*>(buf.data());
        cc->dwSize = sizeof(COMMCONFIG);
        cc->dwProviderSubType = PST_RS232;
        std::optional<Status> got =
            Xcv(xcv, L"GetDefaultCommConfig", reinterpret_cast<const BYTE*>(name.c_str()),
                static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)), buf.data(), buf.size());
        if (!got) return std::nullopt;
        if (!got->ok) return Result<CommConfig>::Fail(got->error);
        CommConfig out;
        out.baudRate = cc->dcb.BaudRate;
        out.byteSize = cc->dcb.ByteSize;
        out.parity = cc->dcb.Parity;
        out.stopBits = cc->dcb.StopBits;
        DWORD size = std::max<DWORD>(cc->dwSize, cc->dwProviderOffset + cc->dwProviderSize);
        out.raw.assign(reinterpret_cast<const char*>(buf.data()),
                       std::min<DWORD>(std::max<DWORD>(size, sizeof(COMMCONFIG)), buf.size()));
        return Result<CommConfig>::Ok(std::move(out));
    }

    std::optional<Status> XcvDataSetDefaultCommConfig(HPrinter xcv,
                                                      const CommConfig& config) override {
        Buffer buf(std::max<size_t>(config.raw.size(), sizeof(COMMCONFIG)));
        auto* cc = reinterpret_cast<COMMCONFIG*>(buf.data());
        if (config.raw.size() >= sizeof(COMMCONFIG)) {
            CopyMemory(buf.data(), config.raw.data(), config.raw.size());
        } else {
            cc->dwSize = sizeof(COMMCONFIG);
            cc->wVersion = 1;
            cc->dcb.DCBlength = sizeof(DCB);
            cc->dcb.fBinary = TRUE;
            cc->dwProviderSubType = PST_RS232;
        }
        cc->dcb.BaudRate = config.baudRate;
        cc->dcb.ByteSize = config.byteSize;
        cc->dcb.Parity = config.parity;
        cc->dcb.StopBits = config.stopBits;
        cc->dcb.fParity = config.parity != NOPARITY;
        return Xcv(xcv, L"SetDefaultCommConfig", buf.data(),
                   std::max<DWORD>(cc->dwSize, static_cast<DWORD>(config.raw.size())), nullptr, 0);
    }

    Status AddMonitorA(const char* server, const MonitorInfo2& info) override {
        MONITOR_INFO_2A m;
        m.pName = Mutable(info.name);
        m.pEnvironment = OrNull(info.environment);
        m.pDLLName = Mutable(info.dllName);
        return ZEP_WINSPOOL_CALL(AddMonitorA, Arg(server), 2, reinterpret_cast<BYTE*>(&m));
    }

    Status DeleteMonitorA(const char* server, const char* environment,
                          const std::string& name) override {
        return ZEP_WINSPOOL_CALL(DeleteMonitorA, Arg(server), Arg(environment), Mutable(name));
    }

    Status AddPrintProcessorA(const char* server, const std::string& environment,
                              const std::string& pathName,
                              const std::string& processorName) override {
        return ZEP_WINSPOOL_CALL(AddPrintProcessorA, Arg(server), OrNull(environment),
                                 Mutable(pathName), Mutable(processorName));
    }

    Status DeletePrintProcessorA(const char* server, const char* environment,
                                 const std::string& name) override {
        return ZEP_WINSPOOL_CALL(DeletePrintProcessorA, Arg(server), Arg(environment),
                                 Mutable(name));
    }

    Result<std::vector<std::string>> EnumPrintProcessorsA(const char* server,
                                                          const char* environment) override {
        using R = Result<std::vector<std::string>>;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumPrintProcessorsA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(Arg(server), Arg(environment), 1, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        auto* items = reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buf.data());
        std::vector<std::string> out;
        for (DWORD i = 0; i < r.returned; ++i) out.push_back(Str(items[i].pName));
        return R::Ok(std::move(out));
    }

    Result<std::string> GetPrintProcessorDirectoryA(const char* server,
                                                    const char* environment) override {
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(GetPrintProcessorDirectoryA, err);
        if (!fn) return Result<std::string>::Fail(err);
        return SpoolerDirectory(fn, server, environment);
    }

    Result<std::string> GetPrinterDriverDirectoryA(const char* server,
                                                   const char* environment) override {
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(GetPrinterDriverDirectoryA, err);
        if (!fn) return Result<std::string>::Fail(err);
        return SpoolerDirectory(fn, server, environment);
    }

    Status AddPrinterDriverA(const char* server, const DriverInfo3& info) override {
        // Each name ended by a NUL, the list by a second one.
        std::string dependent;
        for (const std::string& f : info.dependentFiles) dependent += f + '\0';
        dependent += '\0';
        DRIVER_INFO_3A d;
        ZeroMemory(&d, sizeof(d));
        d.cVersion = info.version;
        d.pName = Mutable(info.name);
        d.pEnvironment = OrNull(info.environment);
        d.pDriverPath = Mutable(info.driverPath);
        d.pDataFile = Mutable(info.dataFile);
        d.pConfigFile = Mutable(info.configFile);
        d.pHelpFile = OrNull(info.helpFile);
        d.pDependentFiles = info.dependentFiles.empty() ? nullptr : &dependent[0];
        d.pMonitorName = OrNull(info.monitorName);
        d.pDefaultDataType = OrNull(info.defaultDataType);
        return ZEP_WINSPOOL_CALL(AddPrinterDriverA, Arg(server), 3, reinterpret_cast<BYTE*>(&d));
    }

    Result<std::vector<DriverInfo3>> EnumPrinterDriversA(const char* server,
                                                         const char* environment,
                                                         uint32_t level) override {
        using R = Result<std::vector<DriverInfo3>>;
        // Level 4 starts with the fields of level 3; nothing else is read here.
        if (level != 3 && level != 4) return R::Fail(ERROR_INVALID_LEVEL);
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumPrinterDriversA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(Arg(server), Arg(environment), level, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        size_t stride = level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_4A);
        std::vector<DriverInfo3> out;
        for (DWORD i = 0; i < r.returned; ++i) {
            const auto& d = *reinterpret_cast<const DRIVER_INFO_3A*>(buf.data() + i * stride);
            DriverInfo3 info;
            info.version = d.cVersion;
            info.name = Str(d.pName);
            info.environment = Str(d.pEnvironment);
            info.driverPath = Str(d.pDriverPath);
            info.dataFile = Str(d.pDataFile);
            info.configFile = Str(d.pConfigFile);
            info.helpFile = Str(d.pHelpFile);
            info.dependentFiles = MultiSz(buf, d.pDependentFiles);
            info.monitorName = Str(d.pMonitorName);
            info.defaultDataType = Str(d.pDefaultDataType);
            out.push_back(std::move(info));
        }
        return R::Ok(std::move(out));
    }

    Status DeletePrinterDriverExA(const char* server, const char* environment,
                                  const std::string& driverName, uint32_t deleteFlag,
                                  uint32_t versionFlag) override {
        return ZEP_WINSPOOL_CALL(DeletePrinterDriverExA, Arg(server), Arg(environment),
                                 Mutable(driverName), deleteFlag, versionFlag);
    }

    Result<HPrinter> AddPrinterA(const char* server, const PrinterInfo2& info) override {
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(AddPrinterA, err);
        if (!fn) return Result<HPrinter>::Fail(err);
        PRINTER_INFO_2A p = ToPrinterInfo(info);
        HANDLE h = fn(Arg(server), 2, reinterpret_cast<BYTE*>(&p));
        DWORD e = GetLastError();
        if (!h) return Result<HPrinter>::Fail(e);
        return Result<HPrinter>::Ok(FromHandle<HPrinter>(h));
    }

    Result<HPrinter> OpenPrinterA(const char* printerName,
                                  const PrinterDefaults* defaults) override {
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(OpenPrinterA, err);
        if (!fn) return Result<HPrinter>::Fail(err);
        PRINTER_DEFAULTSA pd;
        ZeroMemory(&pd, sizeof(pd));
        if (defaults) {
            pd.pDatatype = Arg(defaults->datatype);
            pd.DesiredAccess = defaults->desiredAccess;
        }
        HANDLE h = nullptr;
        BOOL ok = fn(Arg(printerName), &h, defaults ? &pd : nullptr);
        DWORD e = GetLastError();
        if (!ok || !h) return Result<HPrinter>::Fail(e);
        return Result<HPrinter>::Ok(FromHandle<HPrinter>(h));
    }

    Status ClosePrinter(HPrinter printer) override {
        return ZEP_WINSPOOL_CALL(ClosePrinter, win32::ToHandle(printer));
    }

    Status DeletePrinter(HPrinter printer) override {
        return ZEP_WINSPOOL_CALL(DeletePrinter, win32::ToHandle(printer));
    }

    Result<std::vector<PrinterInfo2>> EnumPrintersA(uint32_t flags, const char* name) override {
        using R = Result<std::vector<PrinterInfo2>>;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumPrintersA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(flags, Arg(name), 2, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        auto* items = reinterpret_cast<PRINTER_INFO_2A*>(buf.data());
        std::vector<PrinterInfo2> out;
        for (DWORD i = 0; i < r.returned; ++i) out.push_back(FromPrinterInfo(items[i]));
        return R::Ok(std::move(out));
    }

    Status SetPrinterA(HPrinter printer, const PrinterInfo2& info) override {
        PRINTER_INFO_2A p = ToPrinterInfo(info);
        return ZEP_WINSPOOL_CALL(SetPrinterA, win32::ToHandle(printer), 2,
                                 reinterpret_cast<BYTE*>(&p), 0);
    }

    DataResult GetPrinterDataA(HPrinter printer, const std::string& valueName,
                               uint32_t bufferSize) override {
        DataResult r;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(GetPrinterDataA, err);
        if (!fn) {
            r.status = err;
            return r;
        }
        std::string data(bufferSize ? bufferSize : 1, '\0');
        DWORD type = 0, needed = 0;
        r.status = fn(win32::ToHandle(printer), Mutable(valueName), &type,
                      reinterpret_cast<BYTE*>(&data[0]), bufferSize, &needed);
        if (r.status == ERROR_SUCCESS) {
            r.type = type;
            data.resize(std::min<DWORD>(needed, bufferSize));
            r.data = std::move(data);
        }
        return r;
    }

    uint32_t SetPrinterDataA(HPrinter printer, const std::string& valueName, uint32_t type,
                             const std::string& data) override {
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(SetPrinterDataA, err);
        if (!fn) return err;
        return fn(win32::ToHandle(printer), Mutable(valueName), type,
                  reinterpret_cast<BYTE*>(const_cast<char*>(data.data())),
                  static_cast<DWORD>(data.size()));
    }

    Result<std::vector<FormInfo1>> EnumFormsA(HPrinter printer) override {
        using R = Result<std::vector<FormInfo1>>;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumFormsA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(win32::ToHandle(printer), 1, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        auto* items = reinterpret_cast<FORM_INFO_1A*>(buf.data());
        std::vector<FormInfo1> out;
        for (DWORD i = 0; i < r.returned; ++i)
            out.push_back({items[i].Flags, Str(items[i].pName), items[i].Size.cx,
                           items[i].Size.cy});
        return R::Ok(std::move(out));
    }

    Status AddFormA(HPrinter printer, const FormInfo1& form) override {
        FORM_INFO_1A f;
        ZeroMemory(&f, sizeof(f));
        f.Flags = form.flags;
        f.pName = Mutable(form.name);
        f.Size.cx = form.width;
        f.Size.cy = form.height;
        f.ImageableArea.right = form.width;
        f.ImageableArea.bottom = form.height;
        return ZEP_WINSPOOL_CALL(AddFormA,
                                 win32::ToHandle(printer), 1, reinterpret_cast<BYTE*>(&f));
    }

    Status DeleteFormA(HPrinter printer, const std::string& formName) override {
        return ZEP_WINSPOOL_CALL(DeleteFormA, win32::ToHandle(printer), Mutable(formName));
    }

    Result<std::vector<JobInfo3>> EnumJobsA(HPrinter printer, uint32_t firstJob,
                                            uint32_t count) override {
        using R = Result<std::vector<JobInfo3>>;
        uint32_t err = 0;
        auto fn = ZEP_WINSPOOL(EnumJobsA, err);
        if (!fn) return R::Fail(err);
        Buffer buf;
        EnumOutcome r = EnumerateInto(buf, [&](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return fn(win32::ToHandle(printer), firstJob, count, 3, b, n, need, ret);
        });
        if (!r.ok) return R::Fail(r.error);
        auto* items = reinterpret_cast<JOB_INFO_3*>(buf.data());
        std::vector<JobInfo3> out;
        for (DWORD i = 0; i < r.returned; ++i) out.push_back({items[i].JobId, items[i].NextJobId});
        return R::Ok(std::move(out));
    }

    Status SetJobA(HPrinter printer, uint32_t jobId, uint32_t level, uint32_t command) override {
        return ZEP_WINSPOOL_CALL(SetJobA, win32::ToHandle(printer), jobId, level, nullptr, command);
    }
};

// At namespace scope, constant-initialised: a function-local static would
// need the library's thread-safe guard, and with it its exception support.
Win32SpoolerImpl g_spooler;

}  // namespace

Spooler& Win32Spooler() { return g_spooler; }

}  // namespace zep
