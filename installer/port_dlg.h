// The port dialog: COM1 to COM8 and Configure Port.
#pragma once

#include "installer/views.h"
#include "platform/platform.h"

namespace zep {

class CPortDlg {
public:
    explicit CPortDlg(Platform& os) : os_(os) {}

    // Index of the checked radio button (0 = COM1 ... 7 = COM8), bound by DDX_Radio.
    int m_nPortIndex = 0;

    // Shows the system's settings dialog of the chosen port, if the machine has it.
    void OnConfigurePort(PortDlgView& view);

    static constexpr const char* kCaption = "KESTREL Customer Display installer";

private:
    Platform& os_;
};

}  // namespace zep
