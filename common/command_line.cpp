#include "common/command_line.h"

#include <cctype>

#include "common/product.h"
#include "common/run_state.h"

namespace zep {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsSwitch(const std::string& arg) { return arg.size() > 1 && (arg[0] == '/' || arg[0] == '-'); }

// Reads the switches in order; the first problem found is the one reported.
class Parser {
public:
    Parser(Program program, const std::vector<std::string>& args) : program_(program), args_(args) {}

    DeployOptions Run() {
        bool quiet = false;
        std::string log;
        for (size_t i = 0; i < args_.size(); ++i) {
            if (!IsSwitch(args_[i])) continue;
            std::string name = Lower(args_[i].substr(1));
            if (name == "?" || name == "help") o_.help = true;
            if (name == "quiet") quiet = true;
            if (name == "log" && log.empty() && i + 1 < args_.size()) log = args_[i + 1];
        }
        for (next_ = 0; next_ < args_.size() && o_.Ok();) Switch(args_[next_++]);
        if (o_.Ok()) Complete();
        // A command line that names /quiet anywhere gets no box, and one
        // that names its log keeps its refusal there, even when it is
        // refused before the parsing reaches that switch.
        if (!o_.Ok() && quiet) o_.mode = RunMode::Quiet;
        if (!o_.Ok() && o_.logPath.empty()) o_.logPath = log;
        return o_;
    }

private:
    // The problem is `before`, then `middle` quoted when given, then `after`.
    void Fail(const char* before, const std::string& middle = std::string(), const char* after = "");

    // The value after a switch: the next argument, whatever it looks like.
    bool Value(const std::string& name, std::string* value) {
        if (next_ >= args_.size()) {
            Fail(name.c_str(), std::string(), " needs a value");
            return false;
        }
        *value = args_[next_++];
        if (value->empty()) {
            Fail(name.c_str(), std::string(), " has an empty value");
            return false;
        }
        return true;
    }

    void Switch(const std::string& arg) {
        if (!IsSwitch(arg)) return Fail("", arg, " is not a switch");
        std::string name = Lower(arg.substr(1));
        std::string shown = "/" + name;
        bool installer = program_ == Program::Installer;
        if (name == "?" || name == "help") return;
        if (name == "quiet" || name == "passive") {
            RunMode mode = name == "quiet" ? RunMode::Quiet : RunMode::Passive;
            if (o_.mode != RunMode::Interactive && o_.mode != mode)
                return Fail("/quiet and /passive together");
            o_.mode = mode;
            return;
        }
        if (name == "norestart" || name == "forcerestart") {
            bool force = name == "forcerestart";
            if (restartSeen_ && force != o_.forceRestart)
                return Fail("/norestart and /forcerestart together");
            restartSeen_ = true;
            o_.forceRestart = force;
            answers_ = true;
            return;
        }
        std::string value;
        if (name == "log") {
            // Where the log goes is no answer: the interactive programs take it too.
            if (logSeen_) return Fail("/log is given twice");
            logSeen_ = true;
            if (!Value(shown, &value)) return;
            o_.logPath = value;
            return;
        }
        if ((name == "model" || name == "port" || name == "portsettings") && !installer)
            return Fail(shown.c_str(), std::string(), " is a switch of the installer, not of the uninstaller");
        if (name == "printer" && installer)
            return Fail("/printer is a switch of the uninstaller, not of the installer");
        if (name == "model") {
            if (!Value(shown, &value)) return;
            Model(value);
        } else if (name == "port") {
            if (o_.portIndex >= 0) return Fail("/port is given twice");
            if (!Value(shown, &value)) return;
            int index = PortIndexOf(value);
            if (index < 0) return Fail("port ", value, " is not one of COM1 to COM8");
            o_.portIndex = index;
        } else if (name == "portsettings") {
            if (o_.portSettings) return Fail("/portsettings is given twice");
            if (!Value(shown, &value)) return;
            PortSettings settings;
            std::string problem;
            if (!ParsePortSettings(value, &settings, &problem))
                return Fail("port settings ", value, (": " + problem).c_str());
            o_.portSettings = settings;
        } else if (name == "printer") {
            if (!Value(shown, &value)) return;
            for (const std::string& known : o_.printers)
                if (Lower(known) == Lower(value)) return;
            o_.printers.push_back(value);
        } else {
            return Fail("unknown switch ", arg);
        }
        answers_ = true;
    }

    void Model(const std::string& value) {
        for (int i = 0; i < kModelCount; ++i) {
            if (Lower(kModelNames[i]) != Lower(value)) continue;
            if (chosen_[i]) return Fail("/model ", kModelNames[i], " is given twice");
            chosen_[i] = true;
            return;
        }
        Fail("unknown model ", value, " (" ZEP_MODEL_4000 " or " ZEP_MODEL_4100 ")");
    }

    void Complete() {
        // The dialog's order, whatever the order on the command line.
        for (int i = 0; i < kModelCount; ++i)
            if (chosen_[i]) o_.models.push_back(kModelNames[i]);
        if (o_.help) return;
        if (!o_.Unattended()) {
            // A person answers the interactive program's dialogs; answers
            // given beforehand belong to a quiet or passive run.
            if (answers_) Fail("the answers need /quiet or /passive");
            return;
        }
        if (program_ != Program::Installer) return;
        if (o_.models.empty()) Fail("/model is required with /quiet or /passive");
        else if (o_.portIndex < 0) Fail("/port is required with /quiet or /passive");
    }

    Program program_;
    const std::vector<std::string>& args_;
    size_t next_ = 0;
    DeployOptions o_;
    bool restartSeen_ = false, answers_ = false, logSeen_ = false;
    bool chosen_[kModelCount] = {};
};

void Parser::Fail(const char* before, const std::string& middle, const char* after) {
    if (!o_.Ok()) return;
    o_.error = before;
    if (!middle.empty()) o_.error += "\"" + middle + "\"";
    o_.error += after;
}

}  // namespace

DeployOptions ParseCommandLine(Program program, const std::vector<std::string>& args) {
    return Parser(program, args).Run();
}

int PortIndexOf(const std::string& port) {
    std::string p = Lower(port);
    if (!p.empty() && p.back() == ':') p.pop_back();
    if (p.size() != 4 || p.compare(0, 3, "com") != 0) return -1;
    if (p[3] < '1' || p[3] > '8') return -1;
    return p[3] - '1';
}

std::string UsageText(Program program) {
    std::string exits = "\nExit codes:\n" + ExitCodeUsage(program);
    exits.pop_back();
    if (program == Program::Installer) {
        return ZEP_INSTALLER_FILE " [/quiet | /passive] /model NAME [/model NAME] /port COMn "
               "[/portsettings BAUD,PARITY,DATA,STOP] [/norestart | /forcerestart] [/log FILE]\n\n"
               "/quiet\tno window at all\n"
               "/passive\tthe progress window only, no question, no box\n"
               "/model NAME\t\"" ZEP_MODEL_4000 "\" or \"" ZEP_MODEL_4100 "\"; once each, both for both\n"
               "/port COMn\tCOM1 to COM8\n"
               "/portsettings\tthe port's settings, as 9600,n,8,1 (parity n, e, o, m or s; 5 to 8 "
               "data bits; 1, 1.5 or 2 stop bits); without it the port's settings stay\n"
               "/norestart\tnever restart Windows (the default)\n"
               "/forcerestart\trestart Windows when the installation needs it\n"
               "/log FILE\tthe trace log goes to FILE instead of C:\\Temp\\" ZEP_INSTALLER_LOG "\n"
               "/?\tthis text (with /quiet: into the log)\n\n"
               "Without arguments the installer asks for everything.\n" +
               exits;
    }
    return ZEP_UNINSTALLER_FILE " [/quiet | /passive] [/printer NAME]... "
           "[/norestart | /forcerestart] [/log FILE]\n\n"
           "/quiet\tno window at all\n"
           "/passive\tthe main window only, no question, no box\n"
           "/printer NAME\ta printer of the driver to delete; without it every printer "
           "and the whole driver go\n"
           "/norestart\tnever restart Windows (the default)\n"
           "/forcerestart\trestart Windows when the removal needs it\n"
           "/log FILE\tthe trace log goes to FILE instead of C:\\Temp\\" ZEP_UNINSTALLER_LOG "\n"
           "/?\tthis text (with /quiet: into the log)\n\n"
           "Without arguments the uninstaller lists the printers to choose from.\n" +
           exits;
}

std::string Decimal(long long number) {
    char digits[24];
    char* p = digits + sizeof digits;
    unsigned long long n = number < 0 ? 0ULL - static_cast<unsigned long long>(number) : number;
    do *--p = char('0' + n % 10); while (n /= 10);
    if (number < 0) *--p = '-';
    return std::string(p, digits + sizeof digits);
}

std::string PortSettings::Text() const {
    std::string text = Decimal(baudRate);
    text += ',';
    text += parity;
    text += ',';
    text += char('0' + dataBits);
    text += ',';
    text += stopTenths == 15 ? "1.5" : stopTenths == 20 ? "2" : "1";
    return text;
}

bool ParsePortSettings(const std::string& text, PortSettings* settings, std::string* problem) {
    std::string f[4];
    size_t count = 1;
    for (char c : Lower(text)) {
        if (c == ',')
            ++count;
        else if (c != ' ' && count <= 4)
            f[count - 1] += c;
    }
    const char* wrong = nullptr;
    PortSettings s;
    // The rates of the system's serial settings (the CBR_ values).
    static const uint32_t kRates[] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600,  115200, 128000, 256000};
    s.baudRate = 0;
    for (uint32_t rate : kRates)
        if (f[0] == Decimal(rate)) s.baudRate = rate;
    if (f[3] == "1")
        s.stopTenths = 10;
    else if (f[3] == "1.5")
        s.stopTenths = 15;
    else if (f[3] == "2")
        s.stopTenths = 20;
    else
        s.stopTenths = 0;
    s.parity = f[1].size() == 1 ? f[1][0] : '?';
    s.dataBits = f[2].size() == 1 ? f[2][0] - '0' : 0;
    if (count != 4)
        wrong = "give BAUD,PARITY,DATA,STOP, for example 9600,n,8,1";
    else if (s.baudRate == 0)
        wrong = "the speed is not one a COM port takes (110 to 256000, as 9600 or 19200)";
    else if (std::string("neoms").find(s.parity) == std::string::npos)
        wrong = "the parity is not n, e, o, m or s";
    else if (s.dataBits < 5 || s.dataBits > 8)
        wrong = "the data bits are not 5, 6, 7 or 8";
    else if (s.stopTenths == 0)
        wrong = "the stop bits are not 1, 1.5 or 2";
    else if ((s.dataBits == 5 && s.stopTenths == 20) || (s.dataBits > 5 && s.stopTenths == 15))
        // What the serial port's settings refuse.
        wrong = "1.5 stop bits go with 5 data bits only, 2 stop bits not with 5";
    if (wrong) {
        *problem = wrong;
        return false;
    }
    *settings = s;
    return true;
}

}  // namespace zep
