// How the uninstaller's removal grows with the machine: a complete removal
// on the simulated machine with N printers of the driver and N INF copies of
// other products in the INF folder, for each N given (default 10 100 1000
// 5000). Prints one line per N:
//
//   items=<N> list_ms=<listing> removal_ms=<removal> us_per_item=<removal_ms * 1000 / N>
//
// The listing (the dialog's start-up) is timed apart from the removal (from
// the Uninstall button to the end of the run).
// The time is the host's (the machine's own clock is virtual: its pauses
// cost nothing), so it measures the programs' loops and the simulation, not
// Windows. A benchmark, not a test: scripts/benchmark.sh runs it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/host/harness.h"
#include "tests/host/scenarios.h"

namespace {

using namespace zep;

// The INF copy of some other printer vendor's driver.
std::string OtherInf(int i) {
    std::string model = "Other Model " + std::to_string(i);
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
           "[Manufacturer]\r\nOther=OTHER,NTamd64\r\n\r\n"
           "[OTHER]\r\n\"" + model + "\" = OTHER1\r\n\r\n"
           "[OTHER.NTamd64]\r\n\"" + model + "\" = OTHER1\r\n";
}

// The product installed with one printer, then N - 1 more printers of its
// driver and N INF copies of other products.
void Arrange(sim::Machine& m, int n) {
    test::InstallFirst(m, {"KESTREL ZEP-4000"});
    for (int i = 1; i < n; ++i)
        m.AddPrinterDirect("KESTREL ZEP-4000 #" + std::to_string(i), "ZEP Character Type", "COM1:",
                           "ZEP PRINT PROCESSOR");
    // Numbered after the installer's own copy, which takes the first free name.
    for (int i = 0; i < n; ++i)
        m.AddFile("C:\\Windows\\inf\\oem" + std::to_string(100 + i) + ".inf", OtherInf(i));
    test::PrepareUninstallerMachine(m);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10, 100, 1000, 5000};

    for (int n : sizes) {
        if (n < 1) {
            std::fprintf(stderr, "removal_bench: sizes are at least 1\n");
            return 2;
        }
        sim::Machine m;
        Arrange(m, n);
        test::UninstallerRun run(m);
        using Clock = std::chrono::steady_clock;

        // The start-up: the dialog lists the printers (a sorted list box,
        // as on Windows), all checked.
        auto t0 = Clock::now();
        run.dialog.OnInitDialog();
        run.dialog.OnTimer(1);
        auto t1 = Clock::now();
        // The removal, from the Uninstall button to the end.
        if (!run.view.workerStarted && run.view.uninstallEnabled) run.dialog.OnUninstall();
        try {
            run.dialog.RunUninstall();
        } catch (const sim::ProcessExit&) {
        }
        auto t2 = Clock::now();

        // The run must have removed what it was given, or the time means nothing.
        size_t left = 0;
        for (const auto& p : m.Printers())
            if (p.info.driverName == "ZEP Character Type") ++left;
        if (!run.view.ended || left != 0 || run.view.list.GetCount() != n) {
            std::fprintf(stderr,
                         "removal_bench: N=%d: the removal did not complete (%d listed, %zu printers left)\n",
                         n, run.view.list.GetCount(), left);
            return 1;
        }
        double listMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        double removalMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
        std::printf("items=%d list_ms=%.1f removal_ms=%.1f us_per_item=%.1f\n", n, listMs, removalMs,
                    removalMs * 1000.0 / n);
        std::fflush(stdout);
    }
    return 0;
}
