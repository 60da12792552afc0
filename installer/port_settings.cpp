#include "installer/port_settings.h"

#include "common/unattended.h"

namespace zep {

namespace {

constexpr char kParityLetters[] = "noems";  // NOPARITY 0 ... SPACEPARITY 4

PortSettings FromComm(const CommConfig& c) {
    PortSettings s;
    s.baudRate = c.baudRate;
    s.parity = c.parity < 5 ? kParityLetters[c.parity] : '?';
    s.dataBits = c.byteSize;
    s.stopTenths = c.stopBits == kOne5StopBits ? 15 : c.stopBits == kTwoStopBits ? 20 : 10;
    return s;
}

void ToComm(const PortSettings& s, CommConfig* c) {
    c->baudRate = s.baudRate;
    c->parity = uint8_t(std::string(kParityLetters).find(s.parity));
    c->byteSize = uint8_t(s.dataBits);
    c->stopBits = s.stopTenths == 15 ? kOne5StopBits : s.stopTenths == 20 ? kTwoStopBits : kOneStopBit;
}

// The settings' exchange on an open Xcv handle of the port; false when the
// run cannot go on (and has been told why).
bool Exchange(Support& sys, HPrinter xcv, const std::string& device, const PortSettings& wanted) {
    Spooler& spooler = sys.os.spooler;
    std::string port = device + ":";
    auto failed = [&](const char* call, uint32_t code) {
        sys.ShowSystemErrorBox((std::string("Port settings of ") + port + " " + call +
                                ", Error Code: %d\n\n")
                                   .c_str(),
                               code, kMbIconError);
        return false;
    };
    std::optional<Result<CommConfig>> before = spooler.XcvDataGetDefaultCommConfig(xcv, device);
    if (!before) return failed("XcvData", kErrProcNotFound);
    if (!before->ok) return failed("GetDefaultCommConfig", before->error);
    sys.log.WriteLog("PORT SETTINGS BEFORE : %s %s", port.c_str(),
                     FromComm(before->value).Text().c_str());

    CommConfig next = before->value;
    ToComm(wanted, &next);
    std::optional<Status> set = spooler.XcvDataSetDefaultCommConfig(xcv, next);
    if (!set) return failed("XcvData", kErrProcNotFound);
    if (!set->ok && set->error == kErrInvalidParameter) {
        // The port itself refuses them: the command line asked for what
        // this port cannot do, and nothing has changed.
        RefuseCommandLine(Program::Installer,
                          "port settings \"" + wanted.Text() + "\": " + port +
                              " cannot take them (87)",
                          sys, nullptr);
        return false;
    }
    if (!set->ok) return failed("SetDefaultCommConfig", set->error);

    std::optional<Result<CommConfig>> after = spooler.XcvDataGetDefaultCommConfig(xcv, device);
    if (!after) return failed("XcvData", kErrProcNotFound);
    if (!after->ok) return failed("GetDefaultCommConfig", after->error);
    PortSettings now = FromComm(after->value);
    sys.log.WriteLog("PORT SETTINGS : %s %s", port.c_str(), now.Text().c_str());
    if (now == wanted) return true;
    sys.log.WriteLog("ERROR : the port keeps other settings than %s", wanted.Text().c_str());
    sys.run.StepFailed();
    return false;
}

}  // namespace

bool ApplyPortSettings(Support& sys, int portIndex) {
    const std::optional<PortSettings>& wanted = sys.run.PortSettingsToApply();
    if (!wanted) return true;  // the port is left as it is
    RoutineScope scope("ApplyPortSettings");
    sys.LogBegin("ApplyPortSettings");
    std::string device = "COM" + std::to_string(portIndex + 1);
    std::string name = ",XcvPort " + device + ":";
    PrinterDefaults admin{nullptr, kServerAccessAdminister};
    Result<HPrinter> xcv = sys.os.spooler.OpenPrinterA(name.c_str(), &admin);
    bool ok = false;
    if (xcv.ok) {
        ok = Exchange(sys, xcv.value, device, *wanted);
        sys.os.spooler.ClosePrinter(xcv.value);
    } else {
        sys.ShowSystemErrorBox(("Port settings of " + device + ": OpenPrinter, Error Code: %d\n\n").c_str(),
                               xcv.error, kMbIconError);
    }
    sys.LogEnd("ApplyPortSettings");
    return ok;
}

}  // namespace zep
