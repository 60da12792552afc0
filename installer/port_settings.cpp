#include "installer/port_settings.h"

#include "common/startup.h"

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
bool Exchange(Support& sys, HPrinter xcv, const std::string& device, const PortSettings& wanted,
              const std::string& heading) {
    Spooler& spooler = sys.os.spooler;
    // The failed call's box (a log line and a failed step here).
    auto failed = [&](const char* call, uint32_t code) {
        sys.ShowSystemErrorBox((heading + call + ", Error Code: %d\n\n").c_str(), code, kMbIconError);
        return false;
    };
    std::optional<Result<CommConfig>> read = spooler.XcvDataGetDefaultCommConfig(xcv, device);
    if (!read) return failed("XcvData", kErrProcNotFound);
    if (!read->ok) return failed("GetDefaultCommConfig", read->error);
    sys.log.WriteLog("PORT SETTINGS BEFORE : %s: %s", device.c_str(), FromComm(read->value).Text().c_str());

    CommConfig next = read->value;
    ToComm(wanted, &next);
    std::optional<Status> set = spooler.XcvDataSetDefaultCommConfig(xcv, next);
    if (!set) return failed("XcvData", kErrProcNotFound);
    if (!set->ok && set->error == kErrInvalidParameter) {
        // The port itself refuses them: the command line asked for what
        // this port cannot do, and nothing has changed.
        RefuseCommandLine(Program::Installer,
                          "port settings \"" + wanted.Text() + "\": " + device + ": cannot take them (87)",
                          sys, nullptr);
        return false;
    }
    if (!set->ok) return failed("SetDefaultCommConfig", set->error);

    read = spooler.XcvDataGetDefaultCommConfig(xcv, device);
    if (!read) return failed("XcvData", kErrProcNotFound);
    if (!read->ok) return failed("GetDefaultCommConfig", read->error);
    PortSettings now = FromComm(read->value);
    sys.log.WriteLog("PORT SETTINGS : %s: %s", device.c_str(), now.Text().c_str());
    if (now == wanted) return true;
    sys.log.WriteLog("ERROR : the port keeps other settings than %s", wanted.Text().c_str());
    sys.run.StepFailed();
    return false;
}

}  // namespace

bool ApplyPortSettings(Support& sys, int portIndex) {
    const std::optional<PortSettings>& wanted = sys.run.PortSettingsToApply();
    if (!wanted) return true;  // the port is left as it is
    LoggedRoutine routine(sys.log, "ApplyPortSettings");
    std::string device = PortDevice(portIndex);
    std::string heading = "Port settings of " + device + ": ";
    PrinterDefaults admin{nullptr, kServerAccessAdminister};
    Result<HPrinter> xcv = sys.os.spooler.OpenPrinterA((",XcvPort " + device + ":").c_str(), &admin);
    bool ok = false;
    if (xcv.ok) {
        ok = Exchange(sys, xcv.value, device, *wanted, heading);
        sys.os.spooler.ClosePrinter(xcv.value);
    } else {
        sys.ShowSystemErrorBox((heading + "OpenPrinter, Error Code: %d\n\n").c_str(), xcv.error, kMbIconError);
    }
    return ok;
}

}  // namespace zep
