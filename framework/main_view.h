// What both programs' logic needs from its main window (plain C++: the
// logic, the headless views and the host tests see it), and the main
// window that shows nothing.
#pragma once

#include <cstdint>

#include "framework/progress_bar.h"

namespace zep {

class MainView {
public:
    virtual ~MainView() = default;
    virtual ProgressBar& Progress() = 0;
    virtual void SetIcons() = 0;  // WM_SETICON big and small
    virtual void SetTimer(unsigned id, unsigned milliseconds) = 0;
    virtual void KillTimer(unsigned id) = 0;
    // Runs the program's worker on a new thread; 0, or the system's code
    // when the thread could not be made.
    virtual uint32_t StartWorker() = 0;
};

// The main window of a run without one: no icons, no timer, a progress bar
// that shows nothing. Quiet mode's views and the tests' views start from it.
template <class View>
class Windowless : public View {
public:
    ProgressBar& Progress() override { return progress_; }
    void SetIcons() override {}
    void SetTimer(unsigned, unsigned) override {}
    void KillTimer(unsigned) override {}

private:
    NoProgressBar progress_;
};

}  // namespace zep
