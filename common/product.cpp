#include "common/product.h"

#include "common/command_line.h"
#include "common/format.h"

namespace zep {

std::string ProductFolder(const std::string& windows) { return JoinPath(windows, kProductFolderName); }

std::string PortDevice(int portIndex) {
    if (portIndex < 0 || portIndex > 7) return std::string();
    return "COM" + Decimal(portIndex + 1);
}

std::string PortName(int portIndex) {
    std::string port = PortDevice(portIndex);
    if (!port.empty()) port += ':';
    return port;
}

}  // namespace zep
