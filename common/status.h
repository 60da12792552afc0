// A program's status line and progress bar as its routines move them, and
// the status step both programs take.
#pragma once

#include <cstdint>
#include <string>

namespace zep {

class Support;

class StatusHost {
public:
    virtual ~StatusHost() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ProgressStepIt() = 0;
    virtual void ProgressSetPos(int position) = 0;
    // Posts the refresh; the texts shown are taken at the time of the post,
    // so every reported text reaches the status line, in order.
    virtual void PostStatusRefresh() = 0;

    // How a status step moves the progress bar: one step, not at all, or
    // (0 to 100) to that position.
    static constexpr int kStep = -1;
    static constexpr int kStay = -2;

    // The text, the progress bar, the refresh that shows them, then a
    // pacing pause (none for 0) that keeps the text readable.
    void StatusStep(Support& sys, const std::string& text, int progress, uint32_t pauseMs);
};

}  // namespace zep
