// The dialog framework in real windows: modal loop, handler dispatch, the
// check list box, radio groups. Uses the installer's own templates.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

#include "framework/app.h"
#include "framework/check_list_box.h"
#include "framework/common_controls.h"
#include "framework/dialog.h"
#include "framework/main_dialog.h"
#include "framework/thread.h"
#include "resources/resource.h"

namespace zep::fw {
namespace {

constexpr UINT kFinish = WM_USER + 100;  // handled by the test dialog: end with wParam

// A dialog whose handlers are set by the test.
class ScriptedDialog : public CDialog {
public:
    explicit ScriptedDialog(UINT templateId) : CDialog(templateId) {}

    std::function<void()> onInit;
    std::function<bool(UINT, UINT, HWND)> onCommand;
    std::function<bool(MSG*)> dropMessage;  // true: PreTranslateMessage drops it
    std::function<void()> beforeFinish;

    BOOL PreTranslateMessage(MSG* msg) override {
        if (dropMessage && dropMessage(msg)) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }

protected:
    BOOL OnInitDialog() override {
        if (onInit) onInit();
        return TRUE;
    }
    bool OnCommand(UINT id, UINT code, HWND control) override {
        return onCommand ? onCommand(id, code, control) : false;
    }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) override {
        if (message != kFinish) return false;
        if (beforeFinish) beforeFinish();
        EndDialog(static_cast<INT_PTR>(wParam));
        *result = 0;
        return true;
    }
};

struct Notification {
    UINT id, code;
    HWND control;
};

POINT ItemPoint(HWND list, int index, bool inBox) {
    RECT rc{};
    SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
    int x = inBox ? rc.left + CCheckListBox::CheckAreaWidth(rc.bottom - rc.top) / 2
                  : rc.left + CCheckListBox::CheckAreaWidth(rc.bottom - rc.top) + 20;
    return POINT{x, (rc.top + rc.bottom) / 2};
}

void PostClick(HWND window, POINT p) {
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

class FrameworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadCommonControls()); }
};

TEST(AppName, IsTheFileNameWithoutFolderAndLastExtension) {
    EXPECT_EQ(AppNameFromPath("C:\\Downloads\\ZEP_Installer.exe"), "ZEP_Installer");
    EXPECT_EQ(AppNameFromPath("C:\\a.b\\setup"), "setup");
    EXPECT_EQ(AppNameFromPath("D:\\x\\my.tool.exe"), "my.tool");
    EXPECT_EQ(AppNameFromPath("prog.EXE"), "prog");
    EXPECT_EQ(AppNameFromPath("C:prog.exe"), "prog");
}

TEST_F(FrameworkTest, ProgressClassIsRegistered) {
    WNDCLASSA info;
    EXPECT_TRUE(GetClassInfoA(nullptr, "msctls_progress32", &info));
}

TEST_F(FrameworkTest, PreTranslateMessageSeesKeysBeforeTheDialog) {
    // Escape dropped by PreTranslateMessage does not cancel; the same key
    // let through does.
    for (bool drop : {true, false}) {
        ScriptedDialog dlg(IDD_MODEL_DIALOG);
        int seen = 0;
        dlg.dropMessage = [&](MSG* msg) {
            if (msg->message != WM_KEYDOWN || msg->wParam != VK_ESCAPE) return false;
            ++seen;
            return drop;
        };
        dlg.onInit = [&] {
            PostMessageA(dlg.GetDlgItem(IDC_MODEL_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(dlg.m_hWnd, kFinish, 42, 0);
        };
        INT_PTR result = dlg.DoModal();
        EXPECT_EQ(seen, 1);
        EXPECT_EQ(result, drop ? 42 : IDCANCEL) << "drop=" << drop;
    }
}

TEST_F(FrameworkTest, EndDialogFromAnotherThreadEndsTheLoop) {
    ScriptedDialog dlg(IDD_MODEL_DIALOG);
    dlg.onInit = [&] {
        EXPECT_EQ(BeginThread(
                      [](void* p) -> unsigned {
                          Sleep(50);
                          static_cast<CDialog*>(p)->EndDialog(7);
                          return 0;
                      },
                      &dlg),
                  0u);
    };
    EXPECT_EQ(dlg.DoModal(), 7);
}

// The installer's main window with a busy flag the test sets.
class BusyWindow : public CMainDialog {
public:
    BusyWindow() : CMainDialog(IDD_ZEP_INSTALLER_DIALOG, IDR_MAINFRAME, IDC_INSTALL_PROGRESS) {}
    std::atomic<bool> busy{false};
    std::function<void()> onInit;
    std::function<void(WPARAM)> onProbe;
    bool CloseInMenu() const {
        return GetMenuState(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND) != UINT(-1);
    }

protected:
    bool IsBusy() const override { return busy; }
    BOOL OnInitDialog() override {
        CMainDialog::OnInitDialog();
        if (onInit) onInit();
        return TRUE;
    }
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message != kFinish) return CMainDialog::OnUserMessage(message, wParam, lParam, result);
        if (onProbe) onProbe(wParam);
        *result = 0;
        return true;
    }
};

TEST_F(FrameworkTest, BusyWindowDropsItsKeysAndLosesCloseForGood) {
    // Busy: Escape is dropped and Close leaves the window menu. Busy no
    // more (the worker's last pauses): Close stays out, Escape ends it.
    BusyWindow dlg;
    bool reached = false, closeWhileBusy = true, closeAfter = false;
    auto escape = [&] {
        PostMessageA(dlg.GetDlgItem(IDC_INSTALL_PROGRESS), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    dlg.onInit = [&] {
        dlg.busy = true;
        escape();
        PostMessageA(dlg.m_hWnd, kFinish, 1, 0);
    };
    dlg.onProbe = [&](WPARAM step) {
        if (step == 1) {
            reached = true;  // the first Escape did not end the window
            closeWhileBusy = dlg.CloseInMenu();
            dlg.busy = false;
            PostMessageA(dlg.m_hWnd, kFinish, 2, 0);
        } else {
            closeAfter = dlg.CloseInMenu();
            escape();
        }
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(reached);
    EXPECT_FALSE(closeWhileBusy);
    EXPECT_FALSE(closeAfter);

    // A window that was never busy (its worker could not start) has Close.
    BusyWindow idle;
    bool closeIdle = false;
    idle.onInit = [&] { PostMessageA(idle.m_hWnd, kFinish, 2, 0); };
    idle.onProbe = [&](WPARAM) {
        closeIdle = idle.CloseInMenu();
        PostMessageA(idle.GetDlgItem(IDC_INSTALL_PROGRESS), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(idle.DoModal(), IDCANCEL);
    EXPECT_TRUE(closeIdle);
}

TEST_F(FrameworkTest, OwnerIsDisabledWhileShownAndEnabledAfter) {
    ScriptedDialog owner(IDD_MODEL_DIALOG);
    BOOL enabledDuring = TRUE;
    owner.onInit = [&] {
        class Child : public ScriptedDialog {
        public:
            Child(CDialog* parent) : ScriptedDialog(IDD_PORT_DIALOG) { m_pParent = parent; }
        } child(&owner);
        child.onInit = [&] {
            enabledDuring = IsWindowEnabled(owner.m_hWnd);
            PostMessageA(child.m_hWnd, kFinish, 3, 0);
        };
        EXPECT_EQ(child.DoModal(), 3);
        PostMessageA(owner.m_hWnd, kFinish, 1, 0);
    };
    BOOL enabledAfter = FALSE;
    owner.beforeFinish = [&] { enabledAfter = IsWindowEnabled(owner.m_hWnd); };
    EXPECT_EQ(owner.DoModal(), 1);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(enabledAfter);
}

// ---------------------------------------------------------------- check list box

class CheckListTest : public FrameworkTest {
protected:
    // Runs the model dialog's template with its list taken over and filled
    // with "b", "a" (the list sorts: "a" is item 0); `script` posts input,
    // `inspect` runs when the posted input has been handled.
    void Run(const std::function<void(HWND list)>& script, const std::function<void()>& inspect) {
        ScriptedDialog dlg(IDD_MODEL_DIALOG);
        dlg.onInit = [&] {
            ASSERT_TRUE(list.Attach(dlg, IDC_MODEL_LIST));
            list.AddString("b");
            list.AddString("a");
            script(list.m_hWnd);
            PostMessageA(dlg.m_hWnd, kFinish, IDOK, 0);
        };
        dlg.onCommand = [&](UINT id, UINT code, HWND control) {
            notifications.push_back({id, code, control});
            return id == IDC_MODEL_LIST;
        };
        dlg.beforeFinish = inspect;
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }

    std::vector<Notification> ChecksChanged() const {
        std::vector<Notification> out;
        for (const Notification& n : notifications)
            if (n.code == CCheckListBox::kCheckChange) out.push_back(n);
        return out;
    }

    CCheckListBox list;
    std::vector<Notification> notifications;
};

TEST_F(CheckListTest, ItemsStartUncheckedAndKeepTheirTexts) {
    Run([](HWND) {},
        [&] {
            ASSERT_EQ(list.GetCount(), 2);
            EXPECT_EQ(list.GetText(0), "a");
            EXPECT_EQ(list.GetText(1), "b");
            EXPECT_EQ(list.GetCheck(0), 0);
            EXPECT_EQ(list.GetCheck(1), 0);
            EXPECT_EQ(list.GetCheck(5), 0);  // no such item
            EXPECT_EQ(list.GetText(5), "");
        });
    EXPECT_TRUE(ChecksChanged().empty());
}

TEST_F(CheckListTest, ClickInTheBoxTogglesAndNotifiesTheParent) {
    HWND listWindow = nullptr;
    int afterFirst = -1;
    Run(
        [&](HWND hwnd) {
            listWindow = hwnd;
            PostClick(hwnd, ItemPoint(hwnd, 1, true));
        },
        [&] { afterFirst = list.GetCheck(1); });
    EXPECT_EQ(afterFirst, 1);
    std::vector<Notification> changes = ChecksChanged();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].id, static_cast<UINT>(IDC_MODEL_LIST));
    EXPECT_EQ(changes[0].control, listWindow);
}

TEST_F(CheckListTest, SecondClickUnchecksAndOtherItemsStay) {
    Run(
        [&](HWND hwnd) {
            PostClick(hwnd, ItemPoint(hwnd, 0, true));
            PostClick(hwnd, ItemPoint(hwnd, 1, true));
            PostClick(hwnd, ItemPoint(hwnd, 0, true));
        },
        [&] {
            EXPECT_EQ(list.GetCheck(0), 0);
            EXPECT_EQ(list.GetCheck(1), 1);
            // The state lives in the item data.
            EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETITEMDATA, 1, 0), 1);
        });
    EXPECT_EQ(ChecksChanged().size(), 3u);
}

TEST_F(CheckListTest, ClickOnTheTextSelectsWithoutToggling) {
    Run([&](HWND hwnd) { PostClick(hwnd, ItemPoint(hwnd, 1, false)); },
        [&] {
            EXPECT_EQ(list.GetCheck(1), 0);
            EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETCURSEL, 0, 0), 1);
        });
    EXPECT_TRUE(ChecksChanged().empty());
}

TEST_F(CheckListTest, ClickBelowTheLastItemDoesNothing) {
    Run(
        [&](HWND hwnd) {
            RECT last{};
            SendMessageA(hwnd, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&last));
            PostClick(hwnd, POINT{last.left + 4, last.bottom + 20});
        },
        [&] {
            EXPECT_EQ(list.GetCheck(0), 0);
            EXPECT_EQ(list.GetCheck(1), 0);
        });
    EXPECT_TRUE(ChecksChanged().empty());
}

TEST_F(CheckListTest, SpaceTogglesTheCaretItem) {
    int afterOne = -1;
    Run(
        [&](HWND hwnd) {
            SendMessageA(hwnd, LB_SETCURSEL, 1, 0);
            PostMessageA(hwnd, WM_KEYDOWN, VK_SPACE, 0);
            PostMessageA(hwnd, WM_CHAR, ' ', 0);
            PostMessageA(hwnd, WM_KEYUP, VK_SPACE, 0);
        },
        [&] {
            afterOne = list.GetCheck(1);
            EXPECT_EQ(list.GetCheck(0), 0);
            // The space did not move the selection by type-ahead.
            EXPECT_EQ(SendMessageA(list.m_hWnd, LB_GETCURSEL, 0, 0), 1);
        });
    EXPECT_EQ(afterOne, 1);
    EXPECT_EQ(ChecksChanged().size(), 1u);
}

TEST_F(CheckListTest, SetCheckChangesStateWithoutNotifying) {
    Run([&](HWND) { list.SetCheck(0, 1); },
        [&] {
            EXPECT_EQ(list.GetCheck(0), 1);
            EXPECT_EQ(list.GetCheck(1), 0);
        });
    EXPECT_TRUE(ChecksChanged().empty());
}

// ---------------------------------------------------------------- radio group

TEST_F(FrameworkTest, RadioIndexFollowsTemplateOrderAndSkipsOtherControls) {
    ScriptedDialog dlg(IDD_PORT_DIALOG);
    dlg.onInit = [&] {
        EXPECT_EQ(dlg.RadioGroup(IDC_PORT_COM1).size(), 8u);
        EXPECT_EQ(dlg.GetRadioIndex(IDC_PORT_COM1), -1);  // none checked yet

        dlg.SetRadioIndex(IDC_PORT_COM1, 6);
        EXPECT_EQ(IsDlgButtonChecked(dlg.m_hWnd, IDC_PORT_COM7), BST_CHECKED);
        EXPECT_EQ(dlg.GetRadioIndex(IDC_PORT_COM1), 6);

        // COM5 has the ID 1007 but is the fifth button.
        dlg.SetRadioIndex(IDC_PORT_COM1, 4);
        EXPECT_EQ(IsDlgButtonChecked(dlg.m_hWnd, IDC_PORT_COM5), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg.m_hWnd, IDC_PORT_COM7), BST_UNCHECKED);

        CheckRadioButton(dlg.m_hWnd, IDC_PORT_COM1, IDC_PORT_COM8, IDC_PORT_COM8);
        EXPECT_EQ(dlg.GetRadioIndex(IDC_PORT_COM1), 7);

        dlg.SetRadioIndex(IDC_PORT_COM1, -1);
        EXPECT_EQ(dlg.GetRadioIndex(IDC_PORT_COM1), -1);
        PostMessageA(dlg.m_hWnd, kFinish, IDOK, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

}  // namespace
}  // namespace zep::fw
