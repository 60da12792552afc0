// The product's names that the logic of both programs uses, one source each:
// the models, the uninstall entry, the product folder and files, the
// spooler environments and ports.
#pragma once

#include <string>

#include "resources/product.h"

namespace zep {

// The display models, in the model dialog's order.
constexpr int kModelCount = 2;
inline constexpr const char* kModelNames[kModelCount] = {ZEP_MODEL_4000, ZEP_MODEL_4100};

// The product's entry in the system's list of installed programs, under the
// key the installer writes and the other spelling an installer's removal
// deletes too.
inline constexpr char kUninstallKey[] = ZEP_UNINSTALL_KEY;
inline constexpr char kUninstallKeyOtherSpelling[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KESTREL Customer Display Driver";
// The uninstaller's copy in the product folder under the Windows folder.
inline constexpr char kProductFolderName[] = "ZEP";
inline constexpr char kUninstallerFile[] = ZEP_UNINSTALLER_FILE;
// The package's INF. Windows names its copy oemN.inf; some setup APIs (Wine's)
// keep the source's name, which an unattended run also takes for the copy.
inline constexpr char kPackageInfFile[] = ZEP_INF_FILE;

// "<windows>\ZEP": the product folder below the Windows folder.
std::string ProductFolder(const std::string& windows);

// The spooler environments of the product's driver: the 64-bit one on
// 64-bit Windows. Spooler calls name it explicitly, because without it a
// 32-bit program on 64-bit Windows would be given the 32-bit environment's
// drivers, processors and folders.
inline constexpr char kEnvironmentX64[] = "Windows x64";
inline constexpr char kEnvironmentX86[] = "Windows NT x86";
inline const char* DriverEnvironment(int wow64) { return wow64 ? kEnvironmentX64 : kEnvironmentX86; }

// The service that "net stop spooler" and "net start spooler" name.
inline constexpr char kSpoolerService[] = "Spooler";

// The COM ports the product runs on, by index 0 to 7: the device ("COM3")
// and the spooler's port ("COM3:"); empty for any other index.
std::string PortDevice(int portIndex);
std::string PortName(int portIndex);

}  // namespace zep
