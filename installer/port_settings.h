// The port's settings that /portsettings gives, set before the printers are
// made on the port, as the system's Configure Port sets them for a user.
#pragma once

#include "common/support.h"

namespace zep {

// Sets the settings of the run (RunState::PortSettingsToApply) on COM1 to
// COM8 (portIndex 0 to 7) through the local port monitor's Xcv commands and
// logs them as read back. True when the installation may go on: there are
// none to set, or they are set. False when the run has ended its way: a
// port that refuses them is a refused command line (87); any other failure
// is a failed step, with its error line.
bool ApplyPortSettings(Support& sys, int portIndex);

}  // namespace zep
