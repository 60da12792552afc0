// What of the product is on the machine, and in which version: the one
// look that both programs take before an unattended run decides what to do,
// and again after it to decide how it ended. Each part is found with the
// calls the programs already make to install or remove it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "removal/removal.h"

namespace zep {

// Four numbers, as the printers' version values and DisplayVersion carry them.
struct ProductVersion {
    uint32_t number[4] = {0, 0, 0, 0};

    std::string Text() const;  // "1.1.0.0"
    // "a.b.c.d" with four decimal numbers; nothing else.
    static std::optional<ProductVersion> Parse(const std::string& text);
    // Below zero when this one is older, zero when equal, above when newer.
    int Compare(const ProductVersion& other) const;
};

// The parts of an installation, in the order the logs name them.
enum class ProductPart {
    Monitor,
    Processor,
    Driver,
    Printers,
    DriverFiles,
    InfCopy,
    UninstallEntry,
    ProductFolder,
};
constexpr int kProductPartCount = 8;
const char* ProductPartName(ProductPart part);

// What an installation must leave: one printer of the driver per model on
// the port, and the uninstall entry with exactly these values. Without a
// target only the traces of the product are looked for (a removal).
struct InstallTarget {
    std::vector<std::string> models;
    std::string port;                 // "COM3:"
    std::vector<RegValue> entryValues;
};

// One look at the machine: for each part what of it is there ("driver file
// C:\...\ZEP1TE.DLL"), what of an installation target is not, and what is
// there only until Windows restarts (queued for deletion by this run).
struct ProductState {
    // EnumPrintersA answered; without it nothing about the version is known.
    bool printersListed = true;
    uint32_t printersError = 0;

    std::vector<std::string> there[kProductPartCount];
    std::vector<std::string> missing[kProductPartCount];
    std::vector<std::string> queued;

    std::vector<PrinterInfo2> printers;             // of the driver, as enumerated
    std::optional<ProductVersion> printerVersion;   // the first printer that answers
    std::optional<ProductVersion> entryVersion;     // DisplayVersion

    bool Found(ProductPart part) const { return !there[int(part)].empty(); }
    bool Complete(ProductPart part) const { return missing[int(part)].empty(); }
    bool AnyFound() const;
    bool AllComplete() const;
    // The version the installation tells: its printers' values, else the entry's.
    std::optional<ProductVersion> Version() const;
};

class ProductLook {
public:
    // The names come from the program's string table through the removal's
    // profile; its host gives the WOW64 flag and the OS code.
    explicit ProductLook(DriverRemoval& removal)
        : removal_(removal), sys_(removal.sys()), profile_(removal.profile()), host_(removal.host()) {}

    // The machine as it is now. With a target, what of it is missing too.
    ProductState Look(const InstallTarget* target = nullptr);

    // The spooler keeps the component's registration under this key.
    std::string MonitorKey();
    std::string ProcessorKey();
    bool KeyExists(const std::string& path);

private:
    // Deleted when Windows next starts: listed in the Session Manager's
    // PendingFileRenameOperations with no new name (by this run or another).
    bool GoesAtRestart(const std::string& path) const;
    void ReadPendingDeletions();
    void LookAtPrinters(ProductState& s, const InstallTarget* target);
    void LookAtFiles(ProductState& s, const InstallTarget* target);
    void LookAtEntry(ProductState& s, const InstallTarget* target);
    void There(ProductState& s, ProductPart part, std::string what);
    void Miss(ProductState& s, ProductPart part, std::string what);
    // A file or folder: there, going at the restart, or (when wanted) missing.
    void LookAtPath(ProductState& s, ProductPart part, const char* what, const std::string& path,
                    bool wanted);

    DriverRemoval& removal_;
    Support& sys_;
    const RemovalProfile& profile_;
    RemovalHost& host_;
    std::vector<std::string> pendingDeletions_;
};

// The printer name the installer gives a model: the model's, or the model's
// followed by "(#N)" (letter case ignored, as the spooler compares names).
bool IsNameOfModel(const std::string& name, const std::string& model);

}  // namespace zep
