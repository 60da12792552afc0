#include "deploy/command_line.h"

#include <cctype>

namespace zep {

namespace {

const char* const kModels[] = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};

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
        for (const std::string& arg : args_) {
            if (!IsSwitch(arg)) continue;
            std::string name = Lower(arg.substr(1));
            if (name == "?" || name == "help") o_.help = true;
            if (name == "quiet") quiet = true;
        }
        for (next_ = 0; next_ < args_.size() && o_.Ok();) Switch(args_[next_++]);
        if (o_.Ok()) Complete();
        // A command line that names /quiet anywhere gets no box, even when
        // it is refused before the parsing reaches that switch.
        if (!o_.Ok() && quiet) o_.mode = RunMode::Quiet;
        return o_;
    }

private:
    void Fail(const std::string& problem) {
        if (o_.Ok()) o_.error = problem;
    }

    // The value after a switch: the next argument, whatever it looks like.
    bool Value(const std::string& name, std::string* value) {
        if (next_ >= args_.size()) {
            Fail(name + " needs a value");
            return false;
        }
        *value = args_[next_++];
        if (value->empty()) {
            Fail(name + " has an empty value");
            return false;
        }
        return true;
    }

    void Switch(const std::string& arg) {
        if (!IsSwitch(arg)) return Fail("\"" + arg + "\" is not a switch");
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
        if ((name == "model" || name == "port") && !installer)
            return Fail(shown + " is a switch of the installer, not of the uninstaller");
        if (name == "printer" && installer)
            return Fail("/printer is a switch of the uninstaller, not of the installer");
        std::string value;
        if (name == "model") {
            if (!Value(shown, &value)) return;
            Model(value);
        } else if (name == "port") {
            if (!Value(shown, &value)) return;
            int index = PortIndexOf(value);
            if (index < 0) return Fail("port \"" + value + "\" is not one of COM1 to COM8");
            if (o_.portIndex >= 0 && o_.portIndex != index) return Fail("two different ports");
            o_.portIndex = index;
        } else if (name == "printer") {
            if (!Value(shown, &value)) return;
            for (const std::string& known : o_.printers)
                if (Lower(known) == Lower(value)) return;
            o_.printers.push_back(value);
        } else {
            return Fail("unknown switch \"" + arg + "\"");
        }
        answers_ = true;
    }

    void Model(const std::string& value) {
        for (const char* model : kModels) {
            if (Lower(model) != Lower(value)) continue;
            chosen_[model == kModels[0] ? 0 : 1] = true;
            return;
        }
        Fail("unknown model \"" + value + "\" (" + kModels[0] + " or " + kModels[1] + ")");
    }

    void Complete() {
        // The dialog's order, whatever the order on the command line.
        for (int i = 0; i < 2; ++i)
            if (chosen_[i]) o_.models.push_back(kModels[i]);
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
    bool restartSeen_ = false, answers_ = false;
    bool chosen_[2] = {false, false};
};

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
    if (program == Program::Installer) {
        return "ZEP_Installer.exe [/quiet | /passive] /model NAME [/model NAME] /port COMn "
               "[/norestart | /forcerestart]\n\n"
               "/quiet\tno window at all\n"
               "/passive\tthe progress window only, no question, no box\n"
               "/model NAME\t\"KESTREL ZEP-4000\" or \"KESTREL ZEP-4100\"; twice for both\n"
               "/port COMn\tCOM1 to COM8\n"
               "/norestart\tnever restart Windows (the default)\n"
               "/forcerestart\trestart Windows when the installation needs it\n"
               "/?\tthis text\n\n"
               "Without arguments the installer asks for everything.\n\n"
               "Exit codes: 0 done, 3010 done and a restart is needed, 1641 a restart was "
               "started, 1603 a step failed (see C:\\Temp\\ZEP_Installer.txt), 1633 this "
               "Windows is too old, 1618 another installation or removal of the driver is "
               "running, 87 the command line cannot be used.";
    }
    return "ZEP_Uninstaller.exe [/quiet | /passive] [/printer NAME]... "
           "[/norestart | /forcerestart]\n\n"
           "/quiet\tno window at all\n"
           "/passive\tthe main window only, no question, no box\n"
           "/printer NAME\ta printer of the driver to delete; without it every printer "
           "and the whole driver go\n"
           "/norestart\tnever restart Windows (the default)\n"
           "/forcerestart\trestart Windows when the removal needs it\n"
           "/?\tthis text\n\n"
           "Without arguments the uninstaller lists the printers to choose from.\n\n"
           "Exit codes: 0 done, 3010 done and a restart is needed, 1641 a restart was "
           "started, 1603 a step failed (see C:\\Temp\\ZEP_UnInstaller.txt), 1605 the driver "
           "is not installed, 1618 another installation or removal of the driver is running, "
           "87 the command line cannot be used.";
}

}  // namespace zep
