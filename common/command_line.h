// The command line of both programs: split as the system splits it, read
// into one options value, and the usage text. No windows.h: the programs'
// start-up hands the text over, the host tests call it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zep {

enum class Program { Installer, Uninstaller };

// Interactive: no arguments, a person answers every dialog and box.
// Quiet: no window at all. Passive: the main window only; nothing is asked.
enum class RunMode { Interactive, Quiet, Passive };

// A COM port's settings in the form Windows keeps them: "9600,n,8,1".
struct PortSettings {
    uint32_t baudRate = 9600;
    char parity = 'n';     // n, e, o, m or s
    int dataBits = 8;      // 5 to 8
    int stopTenths = 10;   // stop bits times ten: 10, 15 or 20
    std::string Text() const;
    bool operator==(const PortSettings& o) const {
        return baudRate == o.baudRate && parity == o.parity && dataBits == o.dataBits &&
               stopTenths == o.stopTenths;
    }
};

// "BAUD,PARITY,DATA,STOP" (letter case ignored) into settings; false, with
// the reason in *problem, for values a COM port cannot take.
bool ParsePortSettings(const std::string& text, PortSettings* settings, std::string* problem);

struct DeployOptions {
    RunMode mode = RunMode::Interactive;
    bool help = false;          // /? or /help
    bool forceRestart = false;  // /forcerestart; the default (and /norestart): never restart
    // Installer: the models as the model dialog lists them, in its order.
    std::vector<std::string> models;
    int portIndex = -1;  // installer: 0 = COM1 ... 7 = COM8
    // Installer: /portsettings, the port's settings before the printers are
    // made; none leaves the port's settings alone.
    std::optional<PortSettings> portSettings;
    // /log PATH: the trace log's file instead of the one in the Temp folder;
    // empty for that one. Also set on a refused command line when its /log
    // could be read, so that the refusal goes where the tool looks.
    std::string logPath;
    // Uninstaller: the printers to delete, as given; none means all.
    std::vector<std::string> printers;
    // Why the command line cannot be used; empty when it can.
    std::string error;

    bool Ok() const { return error.empty(); }
    bool Unattended() const { return mode != RunMode::Interactive; }
};

// The arguments after the program's own name, split by CommandLineToArgvW's
// rules: blanks and tabs separate them, quotes group, 2n backslashes before
// a quote give n and the quote delimits, 2n+1 give n and a literal quote,
// and in a run of quotes every third is a literal one (so two quotes inside
// quotes give a quote and end the quoting). The program's name ends at its
// closing quote or at the first blank, whatever comes before.
template <class Char>
std::vector<std::basic_string<Char>> SplitCommandLine(const std::basic_string<Char>& line) {
    using String = std::basic_string<Char>;
    const Char kQuote = Char('"'), kSlash = Char('\\'), kBlank = Char(' '), kTab = Char('\t');
    auto blank = [&](Char c) { return c == kBlank || c == kTab; };
    size_t i = 0, n = line.size();
    if (i < n && line[i] == kQuote) {
        for (++i; i < n;)
            if (line[i++] == kQuote) break;
    } else {
        while (i < n && !blank(line[i])) ++i;
    }

    std::vector<String> args;
    while (true) {
        while (i < n && blank(line[i])) ++i;
        if (i >= n) break;
        String arg;
        size_t slashes = 0;  // backslashes just before this character
        int quotes = 0;      // 1 inside quotes; runs of quotes count on to 3
        while (i < n && (quotes != 0 || !blank(line[i]))) {
            Char c = line[i++];
            if (c == kSlash) {
                arg += c;
                ++slashes;
                continue;
            }
            if (c != kQuote) {
                arg += c;
                slashes = 0;
                continue;
            }
            if (slashes % 2 == 0) {
                arg.resize(arg.size() - slashes / 2);
                ++quotes;
            } else {
                arg.resize(arg.size() - slashes / 2 - 1);
                arg += kQuote;
            }
            slashes = 0;
            for (; i < n && line[i] == kQuote; ++i) {
                if (++quotes == 3) {
                    arg += kQuote;
                    quotes = 0;
                }
            }
            if (quotes == 2) quotes = 0;
        }
        args.push_back(arg);
    }
    return args;
}

// Reads the arguments (after the program's name) into the options. A
// command line that cannot be used gives options whose error names the
// problem; /? or /help gives help whatever else is there.
DeployOptions ParseCommandLine(Program program, const std::vector<std::string>& args);

// The usage box's text.
std::string UsageText(Program program);

// "COM3", "com3:" -> 2; -1 for anything that is not COM1 to COM8.
int PortIndexOf(const std::string& port);

// The number in decimal digits, as std::to_string gives it (kept in one
// place: each inlined std::to_string weighs on the programs' size).
std::string Decimal(long long number);

}  // namespace zep
