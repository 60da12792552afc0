#include "removal/product_state.h"

#include "common/format.h"

#include <cctype>
#include <cstring>

namespace zep {

namespace {

const char* const kVersionValues[4] = {"MajorVersion", "MinorVersion", "BuildVersion",
                                       "ExtraVersion"};

std::string ValueText(const RegValue& v) {
    if (v.type != kRegSz) return v.data;
    std::string text = v.data;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace

// ------------------------------------------------------------------ version

std::string ProductVersion::Text() const {
    char text[64];
    Format(text, sizeof text, "%u.%u.%u.%u", unsigned(number[0]), unsigned(number[1]),
           unsigned(number[2]), unsigned(number[3]));
    return text;
}

std::optional<ProductVersion> ProductVersion::Parse(const std::string& text) {
    ProductVersion v;
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        size_t start = at;
        uint64_t n = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
            n = n * 10 + uint64_t(text[at++] - '0');
            if (n > 0xFFFFFFFFu) return std::nullopt;
        }
        if (at == start) return std::nullopt;
        v.number[i] = uint32_t(n);
    }
    if (at != text.size()) return std::nullopt;
    return v;
}

int ProductVersion::Compare(const ProductVersion& other) const {
    for (int i = 0; i < 4; ++i)
        if (number[i] != other.number[i]) return number[i] < other.number[i] ? -1 : 1;
    return 0;
}

// ------------------------------------------------------------------ parts

const char* ProductPartName(ProductPart part) {
    switch (part) {
        case ProductPart::Monitor: return "language monitor";
        case ProductPart::Processor: return "print processor";
        case ProductPart::Driver: return "printer driver";
        case ProductPart::Printers: return "printers";
        case ProductPart::DriverFiles: return "driver files";
        case ProductPart::InfCopy: return "INF copy";
        case ProductPart::UninstallEntry: return "uninstall entry";
        case ProductPart::ProductFolder: return "product folder";
    }
    return "?";
}

bool ProductState::AnyFound() const {
    for (int i = 0; i < kProductPartCount; ++i)
        if (!there[i].empty()) return true;
    return false;
}

bool ProductState::AllComplete() const {
    for (int i = 0; i < kProductPartCount; ++i)
        if (!missing[i].empty()) return false;
    return true;
}

std::optional<ProductVersion> ProductState::Version() const {
    return printerVersion ? printerVersion : entryVersion;
}

bool IsNameOfModel(const std::string& name, const std::string& model) {
    if (name.size() < model.size() || !EqualsNoCase(name.substr(0, model.size()), model)) return false;
    std::string rest = name.substr(model.size());
    if (rest.empty()) return true;
    if (rest.size() < 4 || rest.compare(0, 2, "(#") != 0 || rest.back() != ')') return false;
    for (size_t i = 2; i + 1 < rest.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return false;
    return true;
}

// ------------------------------------------------------------------ the look

namespace {

// "<what> <name>", the text a look gives a part; one place that builds it
// keeps the programs small.
std::string Named(const char* what, const std::string& name) {
    std::string text = what;
    text += ' ';
    text += name;
    return text;
}

std::string Failed(const char* what, const char* call, uint32_t code) {
    char text[160];
    Format(text, sizeof text, "%s (%s failed: %u)", what, call, unsigned(code));
    return text;
}

}  // namespace

void ProductLook::There(ProductState& s, ProductPart part, std::string what) {
    s.there[int(part)].push_back(std::move(what));
}

void ProductLook::Miss(ProductState& s, ProductPart part, std::string what) {
    s.missing[int(part)].push_back(std::move(what));
}

bool ProductLook::KeyExists(const std::string& path) {
    Advapi& advapi = sys_.os.advapi;
    uint32_t view = host_.Wow64() ? kKeyWow64_64Key : 0;
    Advapi::KeyResult key = advapi.RegOpenKeyExA(kHKeyLocalMachine, path, 0, kKeyRead | view);
    if (key.status != 0) return false;
    advapi.RegCloseKey(key.key);
    return true;
}

std::string ProductLook::MonitorKey() { return removal_.MonitorKey(removal_.Load(profile_.monitorName)); }

std::string ProductLook::ProcessorKey() {
    return removal_.ProcessorKey(removal_.Load(profile_.processorName));
}

void ProductLook::ReadPendingDeletions() {
    pendingDeletions_.clear();
    Advapi& advapi = sys_.os.advapi;
    Advapi::KeyResult key = advapi.RegOpenKeyExA(
        kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, kKeyQueryValue);
    if (key.status != 0) return;
    Result<RegValue> list = advapi.RegQueryValueExA(key.key, "PendingFileRenameOperations");
    advapi.RegCloseKey(key.key);
    if (!list.ok) return;
    // Pairs of NUL-ended strings: "\\??\\<path>", then the new name or nothing.
    std::vector<std::string> items;
    const std::string& data = list.value.data;
    for (size_t at = 0; at < data.size();) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos) end = data.size();
        items.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        const std::string& source = items[i];
        if (!items[i + 1].empty() || source.empty()) continue;
        pendingDeletions_.push_back(source.compare(0, 4, "\\??\\") == 0 ? source.substr(4) : source);
    }
}

bool ProductLook::GoesAtRestart(const std::string& path) const {
    for (const std::string& pending : pendingDeletions_)
        if (EqualsNoCase(pending, path)) return true;
    return false;
}

void ProductLook::LookAtPath(ProductState& s, ProductPart part, const char* what,
                             const std::string& path, bool wanted) {
    bool exists = sys_.os.kernel.GetFileAttributesA(path).ok;
    if (exists && GoesAtRestart(path))
        s.queued.push_back(path);
    else if (exists)
        There(s, part, Named(what, path));
    if (wanted && !exists) Miss(s, part, Named(what, path));
}

ProductState ProductLook::Look(const InstallTarget* target) {
    RoutineScope scope("LookForProduct");
    ProductState s;
    ReadPendingDeletions();

    // The monitor and the print processor: the spooler keeps each under its
    // key, the key their removal deletes when the spooler will not.
    struct Registered {
        ProductPart part;
        const char* what;
        std::string key;
        uint32_t name;
    };
    for (const Registered& r : {Registered{ProductPart::Monitor, "language monitor", MonitorKey(), profile_.monitorName},
                                Registered{ProductPart::Processor, "print processor", ProcessorKey(),
                                           profile_.processorName}}) {
        std::string text = Named(r.what, removal_.Load(r.name));
        if (KeyExists(r.key))
            There(s, r.part, text);
        else if (target)
            Miss(s, r.part, text);
    }

    // The driver, as PrinterDrvExist asks for it.
    std::string driverName = removal_.Load(profile_.driverName);
    std::string driver = Named("printer driver", driverName);
    Result<bool> found = DriverListed(sys_.os.spooler, removal_.Environment(), driverName);
    if (!found.ok) There(s, ProductPart::Driver, Failed("printer driver", "EnumPrinterDrivers", found.error));
    if (found.value) There(s, ProductPart::Driver, driver);
    if (target && !found.value) Miss(s, ProductPart::Driver, driver);

    LookAtPrinters(s, target);
    LookAtFiles(s, target);

    // The INF copy, as DeleteINFFile recognises it.
    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    std::string section = removal_.InfSection();
    std::string key = removal_.Load(profile_.firstModel);
    for (const std::string& name : removal_.DriverInfCopies(windows, section, key, false))
        There(s, ProductPart::InfCopy, Named("INF copy", name));
    if (target && !s.Found(ProductPart::InfCopy)) Miss(s, ProductPart::InfCopy, Named("INF copy of", key));

    LookAtEntry(s, target);

    // The product folder with the uninstaller's copy.
    if (windows.ok) {
        std::string folder = ProductFolder(windows.value);
        LookAtPath(s, ProductPart::ProductFolder, "uninstaller", JoinPath(folder, kUninstallerFile), target);
        LookAtPath(s, ProductPart::ProductFolder, "product folder", folder, false);
    } else {
        std::string what = Failed("product folder", "GetWindowsDirectory", windows.error);
        There(s, ProductPart::ProductFolder, what);
        if (target) Miss(s, ProductPart::ProductFolder, what);
    }
    return s;
}

void ProductLook::LookAtPrinters(ProductState& s, const InstallTarget* target) {
    Spooler& spooler = sys_.os.spooler;
    std::string driver = removal_.Load(profile_.driverName);
    Result<std::vector<PrinterInfo2>> printers = spooler.EnumPrintersA(kPrinterEnumLocal, nullptr);
    s.printersListed = printers.ok;
    s.printersError = printers.error;
    if (!printers.ok) There(s, ProductPart::Printers, Failed("printers", "EnumPrinters", printers.error));
    for (const PrinterInfo2& p : printers.value) {
        if (p.driverName != driver) continue;
        s.printers.push_back(p);
        There(s, ProductPart::Printers, Named("printer", p.printerName));
    }

    // The version: the first printer of the driver that answers all four values.
    for (const PrinterInfo2& p : s.printers) {
        if (s.printerVersion) break;
        PrinterDefaults defaults{"RAW", kPrinterAllAccess};
        Result<HPrinter> handle = spooler.OpenPrinterA(p.printerName.c_str(), &defaults);
        if (!handle.ok) continue;
        ProductVersion v;
        bool answered = true;
        for (int i = 0; i < 4 && answered; ++i) {
            Spooler::DataResult r = spooler.GetPrinterDataA(handle.value, kVersionValues[i], 4);
            answered = r.status == 0 && r.data.size() >= 4;
            if (answered) std::memcpy(&v.number[i], r.data.data(), 4);
        }
        spooler.ClosePrinter(handle.value);
        if (answered) s.printerVersion = v;
    }

    if (!target) return;
    for (const std::string& model : target->models) {
        bool onPort = false;
        for (const PrinterInfo2& p : s.printers)
            onPort = onPort || (EqualsNoCase(p.portName, target->port) && IsNameOfModel(p.printerName, model));
        if (!onPort) Miss(s, ProductPart::Printers, Named("printer", model + " on " + target->port));
    }
}

void ProductLook::LookAtFiles(ProductState& s, const InstallTarget* target) {
    Kernel& kernel = sys_.os.kernel;
    Spooler& spooler = sys_.os.spooler;
    bool wow64 = host_.Wow64() != 0;
    bool older32 = !wow64 && host_.OsCode() < kOsVista;

    // Each product file where an installation puts it (`installed`) or a
    // removal deletes it; the Unidrv core is shared with other drivers and
    // is none of the product's.
    Result<std::string> windows = kernel.GetWindowsDirectoryA();
    Result<std::string> system = kernel.GetSystemDirectoryA();
    Result<std::string> drivers = spooler.GetPrinterDriverDirectoryA(nullptr, removal_.Environment());
    if (drivers.ok) drivers.value += "\\3";
    Result<std::string> processors = spooler.GetPrintProcessorDirectoryA(nullptr, removal_.Environment());
    std::optional<Result<std::string>> wow = wow64 ? kernel.GetSystemWow64DirectoryA() : std::nullopt;
    const RemovalProfile& p = profile_;
    struct Place {
        const Result<std::string>* folder;
        uint32_t file;
        bool installed;
    };
    const Place places[] = {
        {&windows, p.monitorDll, wow64},       {&system, p.monitorDll, !wow64},
        {&processors, p.processorDll, true},   {&processors, p.processorIni, true},
        {&drivers, p.gpdFile, true},           {&drivers, p.miniDriver, true},
        {&drivers, p.uiPlugin, true},          {&drivers, p.uiPluginIni, true},
        {&drivers, p.budFile, false},          {&windows, p.miniDriver, older32},
        {&windows, p.gpdFile, older32},        {&windows, p.uiPlugin, older32},
        {&windows, p.uiPluginIni, older32},
    };
    for (const Place& place : places) {
        if (!place.folder->ok) {
            // What cannot be looked at cannot be told gone, nor in place.
            std::string what = Failed("driver files", "a folder query", place.folder->error);
            There(s, ProductPart::DriverFiles, what);
            if (target && place.installed) Miss(s, ProductPart::DriverFiles, what);
            continue;
        }
        LookAtPath(s, ProductPart::DriverFiles, "driver file",
                   JoinPath(place.folder->value, removal_.Load(place.file)), target && place.installed);
    }
    if (wow && wow->ok)
        LookAtPath(s, ProductPart::DriverFiles, "driver file", JoinPath(wow->value, removal_.Load(p.monitorDll)),
                   false);
}

void ProductLook::LookAtEntry(ProductState& s, const InstallTarget* target) {
    Advapi& advapi = sys_.os.advapi;
    uint32_t view = host_.Wow64() ? kKeyWow64_64Key : 0;
    for (const char* path : {kUninstallKey, kUninstallKeyOtherSpelling}) {
        bool written = path == kUninstallKey;  // the key the installer writes
        Advapi::KeyResult key = advapi.RegOpenKeyExA(kHKeyLocalMachine, path, 0, kKeyRead | view);
        if (key.status != 0) {
            if (target && written) Miss(s, ProductPart::UninstallEntry, Named("uninstall entry", path));
            continue;
        }
        There(s, ProductPart::UninstallEntry, Named("uninstall entry", path));
        if (written) {
            Result<RegValue> version = advapi.RegQueryValueExA(key.key, "DisplayVersion");
            if (version.ok && version.value.type == kRegSz)
                s.entryVersion = ProductVersion::Parse(ValueText(version.value));
            for (const RegValue& want : target ? target->entryValues : std::vector<RegValue>{}) {
                Result<RegValue> have = advapi.RegQueryValueExA(key.key, want.name);
                if (!have.ok || have.value.type != want.type || have.value.data != want.data)
                    Miss(s, ProductPart::UninstallEntry, Named("uninstall entry value", want.name));
            }
        }
        advapi.RegCloseKey(key.key);
    }
}

}  // namespace zep
