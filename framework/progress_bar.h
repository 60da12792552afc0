// The progress control of both programs' main windows, as their logic sees
// it (plain C++: the host tests implement it by recording).
#pragma once

namespace zep {

// Each call is a SendMessage, so it waits for the user-interface thread.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void SetRange(int lower, int upper) = 0;  // PBM_SETRANGE
    virtual void SetStep(int step) = 0;               // PBM_SETSTEP
    virtual void StepIt() = 0;                        // PBM_STEPIT
    virtual void SetPos(int position) = 0;            // PBM_SETPOS
};

// The progress of a run that has no window (quiet mode).
class NoProgressBar final : public ProgressBar {
public:
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void StepIt() override {}
    void SetPos(int) override {}
};

}  // namespace zep
