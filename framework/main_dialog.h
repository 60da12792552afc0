// The base of both programs' main windows: a dialog whose worker may be
// busy. While busy it shows the wait cursor, has no Close in its system menu,
// drops Escape and Enter (framework/busy.h) and ignores OK and Cancel (a
// posted WM_CLOSE or the window manager's Close arrive there without passing
// the key filter); Close, once removed, stays out. It paints its icon
// when minimised, is the program's progress control (messages, any thread)
// and shows status texts handed over by the worker one refresh at a time, in
// the order posted.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/main_view.h"
#include "framework/progress_bar.h"
#include "framework/thread.h"

namespace zep::fw {

class CMainDialog : public CDialog, public ProgressBar {
public:
    // The status refresh, WM_USER+1.
    static constexpr UINT kStatusRefresh = WM_USER + 1;

    CMainDialog(UINT templateId, UINT iconId, int progressId);

    BOOL PreTranslateMessage(MSG* msg) override;

    // ProgressBar: PBM_ messages to the progress control, sent.
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void StepIt() override;
    void SetPos(int position) override;

protected:
    // The program's busy flag.
    virtual bool IsBusy() const = 0;
    // The texts of one refresh: control IDs and texts, taken from the queue.
    virtual void ShowStatus(const std::vector<std::pair<int, std::string>>& texts);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnPaint() override;
    HICON OnQueryDragIcon() override { return m_hIcon; }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    void SetIcons();
    // Queues the texts and posts the refresh that shows them.
    void PostStatus(std::vector<std::pair<int, std::string>> texts);

    HICON m_hIcon = nullptr;

private:
    int m_progressId;
    HWND m_progress = nullptr;
    CriticalSection m_statusLock;
    std::deque<std::vector<std::pair<int, std::string>>> m_pendingStatus;
};

// A program's main window as its logic sees it (`View`, a MainView): the
// members every main view has, on this window.
template <class View>
class CMainWindow : public CMainDialog, public View {
public:
    using CMainDialog::CMainDialog;

    ProgressBar& Progress() override { return *this; }
    void SetIcons() override { CMainDialog::SetIcons(); }
    void SetTimer(unsigned id, unsigned milliseconds) override {
        ::SetTimer(m_hWnd, id, milliseconds, nullptr);
    }
    void KillTimer(unsigned id) override { ::KillTimer(m_hWnd, id); }
};

}  // namespace zep::fw
