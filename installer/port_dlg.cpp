#include "installer/port_dlg.h"

#include <string>

#include "common/product.h"
#include "platform/routine.h"

namespace zep {

void CPortDlg::OnConfigurePort(PortDlgView& view) {
    RoutineScope scope("OnConfigurePort");
    m_nPortIndex = view.ReadPortIndex();
    std::string port = PortName(m_nPortIndex);
    Result<std::vector<std::string>> ports = os_.spooler.EnumPortsA(nullptr);
    for (const std::string& candidate : ports.value) {
        if (candidate != port) continue;
        Status configured = os_.spooler.ConfigurePortA(nullptr, 0, port);
        if (!configured.ok && configured.error == kErrInvalidParameter) {
            os_.user.MessageBoxA(view.Handle(),
                                 "An error occurred during port configuration. The port may be "
                                 "in use or may not exit.",
                                 kCaption, kMbOk | kMbIconExclamation);
        }
        return;
    }
    os_.user.MessageBoxA(view.Handle(), "The specific port is not supported.", kCaption,
                         kMbOk | kMbIconExclamation);
}

}  // namespace zep
