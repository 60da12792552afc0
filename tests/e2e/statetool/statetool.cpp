// zep_statetool: shows and arranges the machine state the end-to-end tests
// check (printers, drivers, monitors, print processors, forms, the uninstall
// entry, files). Plain Win32; nothing of the programs under test.
//
// Usage:
//   zep_statetool [report] [--all-forms] [--version] [PATH...]   every section below
//   zep_statetool printers | drivers | monitors | processors | uninstall | version
//   zep_statetool forms [--all]
//   zep_statetool files PATH...
//   zep_statetool comm COMn...          a COM port's default settings (kernel32's
//                                        GetDefaultCommConfigA, not the spooler's)
//   zep_statetool set-version PRINTER MAJOR MINOR BUILD EXTRA
//   zep_statetool set-data PRINTER NAME NUMBER        one REG_DWORD value
//   zep_statetool delete-data PRINTER NAME
//   zep_statetool add-printer NAME DRIVER [PORT [PROCESSOR]]
//   zep_statetool delete-printer NAME
//   zep_statetool rename FROM TO
//   zep_statetool wine-version VERSION|default       HKCU\Software\Wine, Version
//   zep_statetool run COMMAND-LINE [SECONDS]   starts it as Windows would (the
//                                        current folder is this tool's), waits
//                                        (default 600 s) and prints its whole
//                                        exit code, which Wine's Unix side cuts
//                                        to 8 bits
//   zep_statetool serve                  the commands above from stdin (../serve.h)
//
// Output: one record per line, ended by "\n" only (no "\r"). A line starts
// with its kind, then key=value fields separated by one blank:
//
//   printer name="P" driver="D" port="COM1:" processor="X" datatype="RAW" attributes=0x00001800 priority=1 status=0x00000080
//   printer-data printer="P" name="MajorVersion" type=4 value=1
//   driver-dir env="Windows x64" path="C:\..."
//   driver env="E" name="D" version=3 path="..." data="..." config="..." help="..." monitor="M" datatype="RAW"
//   driver-file env="E" driver="D" file="..."
//   monitor name="M" env="E" dll="F"
//   processor-dir env="E" path="C:\..."
//   processor env="E" name="X"                 (as the spooler enumerates them)
//   processor-reg env="E" name="X" driver="F"  (as registered: Wine's
//                                               enumeration misses names
//                                               that sort after "winprint")
//   form name="Letter" kind=user|builtin|printer width=215900 height=279400
//   forms-hidden count=116                     (non-user forms, without --all)
//   uninstall view=64|32 present=0|1
//   uninstall-value view=64 name="DisplayName" type=REG_SZ data="..."
//                                               (a string as stored, less its
//                                               one terminating NUL; without
//                                               it " unterminated" follows)
//   uninstall-subkey view=64 name="..."
//   file path="..." exists=1 size=123 attributes=0x00000020
//   file path="..." exists=0 error=2
//   comm port="COM3" settings="9600,n,8,1"
//   version platform=2 major=6 minor=1 build=7601 product=1   (GetVersionExA;
//                                               with report only on --version)
//   error op="EnumPrintersA" code=1722          (a call that failed)
//   ok op="set-version" ...                     (an arranging command worked)
//   ran exit=3010                               (run: the program's exit code)
//
// Printer data lines appear only for the four version values a printer
// carries. Quoted values escape '"' as \" and control characters as \xNN;
// backslashes stay as they are. Numbers are decimal unless 0x-prefixed.
// Exit code: 0, 1 when an arranging command failed, 2 on wrong usage.

#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../serve.h"

namespace {

const char* const kEnvironments[] = {"Windows x64", "Windows NT x86"};
const char* const kVersionValues[] = {"MajorVersion", "MinorVersion", "BuildVersion",
                                      "ExtraVersion"};
const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Cutomer Display Driver";
const char kProcessorsKey[] = "System\\CurrentControlSet\\Control\\Print\\Environments\\%s\\Print Processors";

// Bytes as they are, NULs included (escaped like every control character).
std::string QuoteBytes(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"') {
            out += "\\\"";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Quote(const char* s) { return QuoteBytes(s ? s : ""); }

std::string Hex(DWORD v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

void Line(const std::string& s) {
    fputs(s.c_str(), stdout);
    fputc('\n', stdout);
}

void Error(const char* op, DWORD code) {
    Line(std::string("error op=") + Quote(op) + " code=" + std::to_string(code));
}

// The size-then-data dance of the spooler enumerations. Returns false with
// the error already reported.
template <typename Call>
bool Enumerate(const char* op, std::vector<BYTE>& buf, DWORD& count, Call call) {
    DWORD needed = 0;
    count = 0;
    if (call(nullptr, 0, &needed, &count)) {
        buf.clear();
        return true;
    }
    DWORD err = GetLastError();
    if (err != ERROR_INSUFFICIENT_BUFFER) {
        Error(op, err);
        return false;
    }
    buf.assign(needed, 0);
    if (!call(buf.data(), needed, &needed, &count)) {
        Error(op, GetLastError());
        return false;
    }
    return true;
}

void ShowPrinterData(const char* printer) {
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printer), &h, nullptr)) {
        Error("OpenPrinterA", GetLastError());
        return;
    }
    for (const char* name : kVersionValues) {
        DWORD type = 0, value = 0, needed = 0;
        DWORD rc = GetPrinterDataA(h, const_cast<char*>(name), &type, reinterpret_cast<BYTE*>(&value),
                                   sizeof value, &needed);
        if (rc != ERROR_SUCCESS) continue;
        Line(std::string("printer-data printer=") + Quote(printer) + " name=" + Quote(name) +
             " type=" + std::to_string(type) + " value=" + std::to_string(value));
    }
    ClosePrinter(h);
}

void ShowPrinters() {
    std::vector<BYTE> buf;
    DWORD count = 0;
    if (!Enumerate("EnumPrintersA", buf, count, [](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, b, n, need, ret);
        }))
        return;
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buf.data());
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2A& p = info[i];
        Line(std::string("printer name=") + Quote(p.pPrinterName) + " driver=" + Quote(p.pDriverName) +
             " port=" + Quote(p.pPortName) + " processor=" + Quote(p.pPrintProcessor) +
             " datatype=" + Quote(p.pDatatype) + " attributes=" + Hex(p.Attributes) +
             " priority=" + std::to_string(p.Priority) + " status=" + Hex(p.Status));
    }
    for (DWORD i = 0; i < count; ++i) ShowPrinterData(info[i].pPrinterName);
}

std::string DriverDirectory(const char* env) {
    char dir[MAX_PATH * 2] = "";
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(env), 1, reinterpret_cast<BYTE*>(dir),
                                    sizeof dir, &needed))
        return std::string();
    return dir;
}

void ShowDrivers() {
    for (const char* env : kEnvironments) {
        std::string dir = DriverDirectory(env);
        if (!dir.empty()) Line(std::string("driver-dir env=") + Quote(env) + " path=" + Quote(dir.c_str()));
        std::vector<BYTE> buf;
        DWORD count = 0;
        if (!Enumerate("EnumPrinterDriversA", buf, count, [env](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
                return EnumPrinterDriversA(nullptr, const_cast<char*>(env), 3, b, n, need, ret);
            }))
            continue;
        auto* info = reinterpret_cast<DRIVER_INFO_3A*>(buf.data());
        for (DWORD i = 0; i < count; ++i) {
            const DRIVER_INFO_3A& d = info[i];
            Line(std::string("driver env=") + Quote(env) + " name=" + Quote(d.pName) +
                 " version=" + std::to_string(d.cVersion) + " path=" + Quote(d.pDriverPath) +
                 " data=" + Quote(d.pDataFile) + " config=" + Quote(d.pConfigFile) +
                 " help=" + Quote(d.pHelpFile) + " monitor=" + Quote(d.pMonitorName) +
                 " datatype=" + Quote(d.pDefaultDataType));
            for (const char* f = d.pDependentFiles; f && *f; f += strlen(f) + 1)
                Line(std::string("driver-file env=") + Quote(env) + " driver=" + Quote(d.pName) +
                     " file=" + Quote(f));
        }
    }
}

void ShowMonitors() {
    std::vector<BYTE> buf;
    DWORD count = 0;
    if (!Enumerate("EnumMonitorsA", buf, count, [](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
            return EnumMonitorsA(nullptr, 2, b, n, need, ret);
        }))
        return;
    auto* info = reinterpret_cast<MONITOR_INFO_2A*>(buf.data());
    for (DWORD i = 0; i < count; ++i)
        Line(std::string("monitor name=") + Quote(info[i].pName) + " env=" + Quote(info[i].pEnvironment) +
             " dll=" + Quote(info[i].pDLLName));
}

void ShowRegisteredProcessors(const char* env) {
    char path[512];
    snprintf(path, sizeof path, kProcessorsKey, env);
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &root) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name;
        if (RegEnumKeyExA(root, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        char driver[MAX_PATH] = "";
        DWORD size = sizeof driver - 1, type = 0;
        HKEY key;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            if (RegQueryValueExA(key, "Driver", nullptr, &type, reinterpret_cast<BYTE*>(driver), &size) !=
                    ERROR_SUCCESS ||
                (type != REG_SZ && type != REG_EXPAND_SZ))
                driver[0] = 0;
            driver[sizeof driver - 1] = 0;
            RegCloseKey(key);
        }
        Line(std::string("processor-reg env=") + Quote(env) + " name=" + Quote(name) + " driver=" + Quote(driver));
    }
    RegCloseKey(root);
}

void ShowProcessors() {
    for (const char* env : kEnvironments) {
        char dir[MAX_PATH * 2] = "";
        DWORD needed = 0;
        if (GetPrintProcessorDirectoryA(nullptr, const_cast<char*>(env), 1, reinterpret_cast<BYTE*>(dir),
                                        sizeof dir, &needed))
            Line(std::string("processor-dir env=") + Quote(env) + " path=" + Quote(dir));
        std::vector<BYTE> buf;
        DWORD count = 0;
        if (Enumerate("EnumPrintProcessorsA", buf, count, [env](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
                return EnumPrintProcessorsA(nullptr, const_cast<char*>(env), 1, b, n, need, ret);
            })) {
            auto* info = reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buf.data());
            for (DWORD i = 0; i < count; ++i)
                Line(std::string("processor env=") + Quote(env) + " name=" + Quote(info[i].pName));
        }
        ShowRegisteredProcessors(env);
    }
}

void ShowForms(bool all) {
    HANDLE h = nullptr;
    if (!OpenPrinterA(nullptr, &h, nullptr)) {
        Error("OpenPrinterA(server)", GetLastError());
        return;
    }
    std::vector<BYTE> buf;
    DWORD count = 0;
    bool ok = Enumerate("EnumFormsA", buf, count, [h](BYTE* b, DWORD n, DWORD* need, DWORD* ret) {
        return EnumFormsA(h, 1, b, n, need, ret);
    });
    ClosePrinter(h);
    if (!ok) return;
    auto* info = reinterpret_cast<FORM_INFO_1A*>(buf.data());
    DWORD hidden = 0;
    for (DWORD i = 0; i < count; ++i) {
        const FORM_INFO_1A& f = info[i];
        const char* kind = f.Flags == FORM_USER ? "user" : f.Flags == FORM_BUILTIN ? "builtin" : "printer";
        if (!all && f.Flags != FORM_USER) {
            ++hidden;
            continue;
        }
        Line(std::string("form name=") + Quote(f.pName) + " kind=" + kind + " width=" +
             std::to_string(f.Size.cx) + " height=" + std::to_string(f.Size.cy));
    }
    if (!all) Line("forms-hidden count=" + std::to_string(hidden));
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_DWORD: return "REG_DWORD";
        case REG_BINARY: return "REG_BINARY";
        case REG_QWORD: return "REG_QWORD";
        default: return "REG_OTHER";
    }
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // As stored: the one terminating NUL ends the text; any other NUL
        // shows as \x00, and a string stored without it says so.
        std::string s(reinterpret_cast<const char*>(data.data()), size);
        if (s.empty() || s.back() != 0) return QuoteBytes(s) + " unterminated";
        s.pop_back();
        return QuoteBytes(s);
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD v;
        memcpy(&v, data.data(), sizeof v);
        return std::to_string(v);
    }
    std::string hex = "\"";
    for (DWORD i = 0; i < size; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02X", data[i]);
        hex += b;
    }
    return hex + "\"";
}

void ShowUninstallView(const char* view, REGSAM flag) {
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | flag, &key);
    Line(std::string("uninstall view=") + view + " present=" + (rc == ERROR_SUCCESS ? "1" : "0"));
    if (rc != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD name_len = sizeof name, type = 0, size = 0;
        rc = RegEnumValueA(key, i, name, &name_len, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS) break;
        std::vector<BYTE> data(size + 2, 0);
        name_len = sizeof name;
        DWORD got = size;
        if (RegEnumValueA(key, i, name, &name_len, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) break;
        Line(std::string("uninstall-value view=") + view + " name=" + Quote(name) + " type=" + TypeName(type) +
             " data=" + ValueText(type, data, got));
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name;
        if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Line(std::string("uninstall-subkey view=") + view + " name=" + Quote(name));
    }
    RegCloseKey(key);
}

void ShowUninstall() {
    ShowUninstallView("64", KEY_WOW64_64KEY);
    ShowUninstallView("32", KEY_WOW64_32KEY);
}

// What GetVersionExA tells a program without a manifest, the product type
// included (the programs' trace log leaves it out).
void ShowVersion() {
    OSVERSIONINFOEXA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) {
        Error("GetVersionExA", GetLastError());
        return;
    }
    Line("version platform=" + std::to_string(v.dwPlatformId) + " major=" + std::to_string(v.dwMajorVersion) +
         " minor=" + std::to_string(v.dwMinorVersion) + " build=" + std::to_string(v.dwBuildNumber) +
         " product=" + std::to_string(v.wProductType));
}

void ShowFile(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &fa)) {
        Line(std::string("file path=") + Quote(path) + " exists=0 error=" + std::to_string(GetLastError()));
        return;
    }
    unsigned long long size = (static_cast<unsigned long long>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
    Line(std::string("file path=") + Quote(path) + " exists=1 size=" + std::to_string(size) +
         " attributes=" + Hex(fa.dwFileAttributes));
}

// A COM port's default settings in the form Windows keeps them.
void ShowComm(const char* port) {
    union {
        COMMCONFIG cc;
        BYTE bytes[sizeof(COMMCONFIG) + 1024];
    } buf;
    ZeroMemory(&buf, sizeof buf);
    buf.cc.dwSize = sizeof(COMMCONFIG);
    DWORD size = sizeof buf;
    if (!GetDefaultCommConfigA(port, &buf.cc, &size)) {
        Error("GetDefaultCommConfigA", GetLastError());
        return;
    }
    static const char* const kStop[] = {"1", "1.5", "2"};
    const DCB& d = buf.cc.dcb;
    std::string settings = std::to_string(d.BaudRate) + "," + "noems"[d.Parity % 5] + "," +
                           std::to_string(d.ByteSize) + "," + kStop[d.StopBits % 3];
    Line(std::string("comm port=") + Quote(port) + " settings=" + Quote(settings.c_str()));
}

// ---- arranging commands ---------------------------------------------------

bool ParseNumber(const char* s, DWORD& out) {
    char* end = nullptr;
    unsigned long v = strtoul(s, &end, 0);
    if (!*s || *end) return false;
    out = static_cast<DWORD>(v);
    return true;
}

HANDLE OpenForAdmin(const char* printer) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printer), &h, &defaults)) {
        Error("OpenPrinterA", GetLastError());
        return nullptr;
    }
    return h;
}

bool SetData(HANDLE h, const char* name, DWORD value) {
    DWORD rc = SetPrinterDataA(h, const_cast<char*>(name), REG_DWORD, reinterpret_cast<BYTE*>(&value),
                               sizeof value);
    if (rc != ERROR_SUCCESS) {
        Error("SetPrinterDataA", rc);
        return false;
    }
    return true;
}

int CmdSetVersion(int argc, char** argv) {
    DWORD v[4];
    if (argc != 7) return 2;
    for (int i = 0; i < 4; ++i)
        if (!ParseNumber(argv[3 + i], v[i])) return 2;
    HANDLE h = OpenForAdmin(argv[2]);
    if (!h) return 1;
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) ok = SetData(h, kVersionValues[i], v[i]);
    ClosePrinter(h);
    if (!ok) return 1;
    Line(std::string("ok op=\"set-version\" printer=") + Quote(argv[2]));
    return 0;
}

int CmdSetData(int argc, char** argv) {
    DWORD v;
    if (argc != 5 || !ParseNumber(argv[4], v)) return 2;
    HANDLE h = OpenForAdmin(argv[2]);
    if (!h) return 1;
    bool ok = SetData(h, argv[3], v);
    ClosePrinter(h);
    if (!ok) return 1;
    Line(std::string("ok op=\"set-data\" printer=") + Quote(argv[2]) + " name=" + Quote(argv[3]));
    return 0;
}

// Wine 8.0's winspool.drv has no DeletePrinterDataA; it keeps printer data
// in the printer's registry key, where the value is then removed directly.
DWORD DeleteData(HANDLE h, const char* printer, const char* name) {
    typedef DWORD(WINAPI * delete_fn)(HANDLE, LPSTR);
    auto fn = reinterpret_cast<delete_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("winspool.drv"), "DeletePrinterDataA")));
    if (fn) return fn(h, const_cast<char*>(name));
    std::string key = std::string("System\\CurrentControlSet\\Control\\Print\\Printers\\") + printer +
                      "\\PrinterDriverData";
    HKEY k;
    DWORD rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &k);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegDeleteValueA(k, name);
    RegCloseKey(k);
    return rc;
}

int CmdDeleteData(int argc, char** argv) {
    if (argc != 4) return 2;
    HANDLE h = OpenForAdmin(argv[2]);
    if (!h) return 1;
    DWORD rc = DeleteData(h, argv[2], argv[3]);
    ClosePrinter(h);
    if (rc != ERROR_SUCCESS) {
        Error("DeletePrinterDataA", rc);
        return 1;
    }
    Line(std::string("ok op=\"delete-data\" printer=") + Quote(argv[2]) + " name=" + Quote(argv[3]));
    return 0;
}

int CmdAddPrinter(int argc, char** argv) {
    if (argc < 4 || argc > 6) return 2;
    PRINTER_INFO_2A pi = {};
    pi.pPrinterName = argv[2];
    pi.pDriverName = argv[3];
    pi.pPortName = const_cast<char*>(argc > 4 ? argv[4] : "COM1:");
    pi.pPrintProcessor = const_cast<char*>(argc > 5 ? argv[5] : "WinPrint");
    pi.pDatatype = const_cast<char*>("RAW");
    pi.Priority = 1;
    HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&pi));
    if (!h) {
        Error("AddPrinterA", GetLastError());
        return 1;
    }
    ClosePrinter(h);
    Line(std::string("ok op=\"add-printer\" printer=") + Quote(argv[2]));
    return 0;
}

int CmdDeletePrinter(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE h = OpenForAdmin(argv[2]);
    if (!h) return 1;
    BOOL ok = DeletePrinter(h);
    DWORD err = GetLastError();
    ClosePrinter(h);
    if (!ok) {
        Error("DeletePrinter", err);
        return 1;
    }
    Line(std::string("ok op=\"delete-printer\" printer=") + Quote(argv[2]));
    return 0;
}

int CmdRename(int argc, char** argv) {
    if (argc != 4) return 2;
    if (!MoveFileA(argv[2], argv[3])) {
        Error("MoveFileA", GetLastError());
        return 1;
    }
    Line(std::string("ok op=\"rename\" from=") + Quote(argv[2]) + " to=" + Quote(argv[3]));
    return 0;
}

int CmdRun(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    DWORD seconds = argc == 4 ? static_cast<DWORD>(atoi(argv[3])) : 600;
    std::string line = argv[2];
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Error("CreateProcessA", GetLastError());
        return 1;
    }
    DWORD waited = WaitForSingleObject(pi.hProcess, seconds * 1000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (waited != WAIT_OBJECT_0) {
        Error("WaitForSingleObject", waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError());
        return 1;
    }
    Line("ran exit=" + std::to_string(code));
    return 0;
}

int Usage() {
    fputs("usage: zep_statetool [report [--all-forms] [--version] [PATH...] | printers | drivers |\n"
          "       monitors | processors | forms [--all] | uninstall | version | files PATH... |\n"
          "       comm COMn... |\n"
          "       set-version PRINTER MAJOR MINOR BUILD EXTRA | set-data PRINTER NAME NUMBER |\n"
          "       delete-data PRINTER NAME | add-printer NAME DRIVER [PORT [PROCESSOR]] |\n"
          "       delete-printer NAME | rename FROM TO | wine-version VERSION|default |\n"
          "       run COMMAND-LINE [SECONDS] | serve]\n",
          stderr);
    return 2;
}

int Report(int argc, char** argv, int first) {
    bool all_forms = false, version = false;
    std::vector<const char*> files;
    for (int i = first; i < argc; ++i) {
        if (strcmp(argv[i], "--all-forms") == 0)
            all_forms = true;
        else if (strcmp(argv[i], "--version") == 0)
            version = true;
        else
            files.push_back(argv[i]);
    }
    if (version) ShowVersion();
    ShowPrinters();
    ShowDrivers();
    ShowMonitors();
    ShowProcessors();
    ShowForms(all_forms);
    ShowUninstall();
    for (const char* f : files) ShowFile(f);
    return 0;
}

}  // namespace

// HKCU\Software\Wine, Version: the Windows version Wine reports to the
// programs started after it; "default" removes the value (Wine's own default).
static int CmdWineVersion(int argc, char** argv) {
    if (argc != 3) return 2;
    HKEY key;
    LONG st = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr);
    if (st != ERROR_SUCCESS) {
        Error("RegCreateKeyExA", static_cast<DWORD>(st));
        return 1;
    }
    if (strcmp(argv[2], "default") == 0) {
        st = RegDeleteValueA(key, "Version");
        if (st == ERROR_FILE_NOT_FOUND) st = ERROR_SUCCESS;
    } else {
        st = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[2]),
                            static_cast<DWORD>(strlen(argv[2]) + 1));
    }
    RegCloseKey(key);
    if (st != ERROR_SUCCESS) {
        Error("wine-version", static_cast<DWORD>(st));
        return 1;
    }
    Line(std::string("ok op=\"wine-version\" version=\"") + argv[2] + "\"");
    return 0;
}

static int Dispatch(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "report";
    int rc;
    if (cmd == "report") {
        rc = Report(argc, argv, 2);
    } else if (cmd == "printers" && argc == 2) {
        ShowPrinters();
        rc = 0;
    } else if (cmd == "drivers" && argc == 2) {
        ShowDrivers();
        rc = 0;
    } else if (cmd == "monitors" && argc == 2) {
        ShowMonitors();
        rc = 0;
    } else if (cmd == "processors" && argc == 2) {
        ShowProcessors();
        rc = 0;
    } else if (cmd == "forms" && (argc == 2 || (argc == 3 && strcmp(argv[2], "--all") == 0))) {
        ShowForms(argc == 3);
        rc = 0;
    } else if (cmd == "uninstall" && argc == 2) {
        ShowUninstall();
        rc = 0;
    } else if (cmd == "version" && argc == 2) {
        ShowVersion();
        rc = 0;
    } else if (cmd == "files" && argc > 2) {
        for (int i = 2; i < argc; ++i) ShowFile(argv[i]);
        rc = 0;
    } else if (cmd == "comm" && argc > 2) {
        for (int i = 2; i < argc; ++i) ShowComm(argv[i]);
        rc = 0;
    } else if (cmd == "set-version") {
        rc = CmdSetVersion(argc, argv);
    } else if (cmd == "set-data") {
        rc = CmdSetData(argc, argv);
    } else if (cmd == "delete-data") {
        rc = CmdDeleteData(argc, argv);
    } else if (cmd == "add-printer") {
        rc = CmdAddPrinter(argc, argv);
    } else if (cmd == "delete-printer") {
        rc = CmdDeletePrinter(argc, argv);
    } else if (cmd == "rename") {
        rc = CmdRename(argc, argv);
    } else if (cmd == "wine-version") {
        rc = CmdWineVersion(argc, argv);
    } else if (cmd == "run") {
        rc = CmdRun(argc, argv);
    } else {
        rc = 2;
    }
    if (rc == 2) return Usage();
    fflush(stdout);
    return rc;
}

int main(int argc, char** argv) {
    // "\n" line ends, so that the Linux side can match whole lines.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 2 && strcmp(argv[1], "serve") == 0) {
        return e2e::Serve([](std::vector<std::string>& line) {
            if (line[0] == "serve") return Usage();
            std::vector<char*> args{const_cast<char*>("zep_statetool")};
            for (std::string& a : line) args.push_back(&a[0]);
            return Dispatch(static_cast<int>(args.size()), args.data());
        });
    }
    return Dispatch(argc, argv);
}
