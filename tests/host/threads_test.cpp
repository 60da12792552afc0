// Both programs with their two threads: the worker on a thread of its own,
// the test thread playing the user-interface thread. Window messages are
// modelled as they behave on Windows: posted messages (the status refresh,
// the timer, the end of the dialog) are queued for the user-interface thread,
// sent ones (progress, the check list, the buttons) wait until it has handled
// them. Run under ThreadSanitizer, this shows that the hand-over between the
// threads is free of data races; everywhere, that every status text reaches
// the status line in order and that input is blocked while the worker runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "framework/busy.h"
#include "tests/host/harness.h"

namespace zep::test {
namespace {

constexpr uint32_t kWmKeyDown = 0x100;
constexpr uintptr_t kVkReturn = 13;
constexpr uintptr_t kVkEscape = 27;

// The user-interface thread's message queue.
class UiQueue {
public:
    UiQueue() : owner_(std::this_thread::get_id()) {}

    void Post(std::function<void()> message) {
        std::lock_guard<std::mutex> g(mutex_);
        queue_.push_back({std::move(message), nullptr});
        cv_.notify_all();
    }
    // SendMessage: runs at once on the user-interface thread itself, else
    // waits until that thread has handled it.
    void Send(std::function<void()> message) {
        if (std::this_thread::get_id() == owner_) {
            message();
            return;
        }
        bool handled = false;
        std::unique_lock<std::mutex> g(mutex_);
        queue_.push_back({std::move(message), &handled});
        cv_.notify_all();
        cv_.wait(g, [&] { return handled; });
    }
    void Quit() { Post([this] { quit_ = true; }); }

    // The message loop; `idle` runs between messages, as PreTranslateMessage
    // runs for every message. False when the loop did not end in time.
    bool Run(const std::function<void()>& idle,
             std::chrono::seconds limit = std::chrono::seconds(60)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!quit_)
            if (!HandleOne(deadline, idle)) return false;
        return true;
    }
    // Handles whatever arrives for a while, after the loop or not: a worker
    // may still be waiting for a sent message.
    void PumpFor(std::chrono::milliseconds span) {
        auto deadline = std::chrono::steady_clock::now() + span;
        while (HandleOne(deadline, [] {})) {
        }
    }

private:
    struct Message {
        std::function<void()> run;
        bool* handled = nullptr;
    };
    // False when nothing came before the deadline.
    bool HandleOne(std::chrono::steady_clock::time_point deadline,
                   const std::function<void()>& idle) {
        Message next;
        {
            std::unique_lock<std::mutex> g(mutex_);
            if (!cv_.wait_until(g, deadline, [&] { return !queue_.empty(); })) return false;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        idle();
        next.run();
        if (next.handled) {
            std::lock_guard<std::mutex> g(mutex_);
            *next.handled = true;
            cv_.notify_all();
        }
        return true;
    }
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Message> queue_;
    bool quit_ = false;  // only the user-interface thread touches it
};

// What the user-interface thread saw.
struct Seen {
    std::vector<std::string> statuses;
    std::vector<int> positions;
    int progressWhileBusy = 0;
    int keysLetThroughWhileBusy = 0;
};

// The progress control: every change is a sent message.
class ThreadedProgress : public ProgressBar {
public:
    ThreadedProgress(UiQueue& ui, Seen& seen, std::function<void()> sample)
        : ui_(ui), seen_(seen), sample_(std::move(sample)) {}
    void SetRange(int, int upper) override {
        ui_.Send([this, upper] { upper_ = upper; });
    }
    void SetStep(int step) override {
        ui_.Send([this, step] { step_ = step; });
    }
    void StepIt() override {
        ui_.Send([this] {
            pos_ += step_;
            if (pos_ > upper_) pos_ -= upper_;
            Changed();
        });
    }
    void SetPos(int position) override {
        ui_.Send([this, position] {
            pos_ = position;
            Changed();
        });
    }

private:
    void Changed() {
        seen_.positions.push_back(pos_);
        sample_();
    }
    UiQueue& ui_;
    Seen& seen_;
    std::function<void()> sample_;
    int pos_ = 0, step_ = 10, upper_ = 100;
};

// Runs `body` as the worker thread; the process exit ends the message loop.
// A case that fails must not take the others with it: the worker's state is
// owned by the thread too (`keep`), so a worker that never ends is left
// running with everything it uses, never destroyed under it.
class Worker {
public:
    ~Worker() {
        if (thread_.joinable()) thread_.detach();
    }
    void Start(UiQueue& ui, std::function<void()> body, std::shared_ptr<void> keep) {
        auto done = done_;
        thread_ = std::thread([&ui, body = std::move(body), keep = std::move(keep), done] {
            try {
                body();
            } catch (const sim::ProcessExit&) {
                // exit(0) on the worker ends the whole process.
            } catch (...) {
                ADD_FAILURE() << "the worker ended with an exception";
            }
            *done = true;
            ui.Quit();
        });
    }
    // Waits for the worker to end, handling the user-interface queue
    // meanwhile (the worker may be waiting for a sent message). False when
    // it did not end in time: the thread is then left running.
    bool Finish(UiQueue& ui, std::chrono::seconds limit = std::chrono::seconds(10)) {
        if (!thread_.joinable()) return true;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!*done_ && std::chrono::steady_clock::now() < deadline)
            ui.PumpFor(std::chrono::milliseconds(100));
        if (!*done_) return false;
        thread_.join();
        return true;
    }

private:
    std::shared_ptr<std::atomic<bool>> done_ = std::make_shared<std::atomic<bool>>(false);
    std::thread thread_;
};

// A worker that does not end (a broken case) fails its case within the
// limit instead of hanging the suite, and what it uses stays alive: the case
// can still let it go and collect it.
TEST(Threads, AWorkerThatDoesNotEndFailsItsCaseInTime) {
    auto ui = std::make_shared<UiQueue>();
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto used = std::make_shared<std::string>("state of the worker");
    Worker worker;
    worker.Start(*ui, [used, released] {
        released.wait();
        EXPECT_EQ(*used, "state of the worker");  // never freed under it
    }, ui);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(worker.Finish(*ui, std::chrono::seconds(1)));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    used.reset();
    release->set_value();
    EXPECT_TRUE(worker.Finish(*ui));
}

// One threaded run: everything the worker uses, owned by the worker too
// (Worker), so that a case that fails never destroys it under the worker.
template <class View, class Dialog>
struct Round {
    explicit Round(const char* logName) : log(m, logName) {}
    sim::Machine m;
    Platform os{m.platform()};
    TraceLog log;
    Support sys{os, log};
    UiQueue ui;
    Seen seen;
    std::unique_ptr<View> view;
    std::unique_ptr<Dialog> dlg;

    // PreTranslateMessage runs for each message: while the worker is busy,
    // neither Escape nor Enter may reach the dialog.
    void Sample() {
        if (!dlg->IsBusy()) return;
        ++seen.progressWhileBusy;
        if (!fw::DropWhileBusy(dlg->IsBusy(), kWmKeyDown, kVkEscape)) ++seen.keysLetThroughWhileBusy;
        if (!fw::DropWhileBusy(dlg->IsBusy(), kWmKeyDown, kVkReturn)) ++seen.keysLetThroughWhileBusy;
    }
};

// ------------------------------------------------------------------ installer

class ThreadedInstallerView : public WindowlessInstallerView, public ModelDlgView, public PortDlgView {
public:
    ThreadedInstallerView(UiQueue& ui, Seen& seen, std::function<void()> sample,
                          std::function<void()> worker, std::function<void(unsigned)> timer)
        : ui_(ui), seen_(seen), progress_(ui, seen, std::move(sample)),
          worker_(std::move(worker)), timer_(std::move(timer)) {}

    ProgressBar& Progress() override { return progress_; }
    void PostStatusRefresh(const std::string& status, const std::string&) override {
        ui_.Post([this, status] { seen_.statuses.push_back(status); });
    }
    void SetTimer(unsigned id, unsigned) override {
        ui_.Post([this, id] { timer_(id); });
    }
    uint32_t StartWorker() override {
        worker_();
        return 0;
    }
    // The wizard dialogs run their modal loops on the worker.
    int RunModelDialog(CModelDlg& dialog) override {
        dialog.OnInitDialog(*this);
        for (auto& item : list_)
            if (item.first == "KESTREL ZEP-4000" || item.first == "KESTREL ZEP-4100") item.second = true;
        dialog.OnCheckChange(*this);
        dialog.OnOK(*this);
        return kIdOk;
    }
    int RunPortDialog(CPortDlg& dialog) override {
        dialog.m_nPortIndex = 1;
        return kIdOk;
    }
    int AddString(const std::string& text) override {
        list_.emplace_back(text, false);
        return int(list_.size()) - 1;
    }
    int GetCount() override { return int(list_.size()); }
    bool GetCheck(int i) override { return list_.at(size_t(i)).second; }
    std::string GetText(int i) override { return list_.at(size_t(i)).first; }
    void EnableNext(bool) override {}
    int ReadPortIndex() override { return 1; }
    uintptr_t Handle() override { return 0x130; }

private:
    UiQueue& ui_;
    Seen& seen_;
    ThreadedProgress progress_;
    std::function<void()> worker_;
    std::function<void(unsigned)> timer_;
    std::vector<std::pair<std::string, bool>> list_;
};

std::vector<std::string> StatusesOf(const sim::Machine& m, size_t from = 0) {
    std::vector<std::string> out;
    std::vector<sim::UiEvent> ui = m.Ui();
    for (size_t i = from; i < ui.size(); ++i)
        if (ui[i].kind == "status") out.push_back(ui[i].text);
    return out;
}

TEST(Threads, InstallerWorkerAndUserInterface) {
    // The same installation with one thread, for what the user must see.
    sim::Machine reference;
    PrepareInstallerMachine(reference);
    InstallerScript script;
    script.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
    script.port = 1;
    InstallerRun(reference, script).Run();
    std::vector<std::string> expected = StatusesOf(reference);

    for (int round = 0; round < 3; ++round) {
        using InstallerRound = Round<ThreadedInstallerView, CInstallerDlg>;
        auto r = std::make_shared<InstallerRound>("\\ZEP_Installer.txt");
        PrepareInstallerMachine(r->m);
        Worker worker;
        InstallerRound* raw = r.get();
        auto sample = [raw] { raw->Sample(); };
        r->view = std::make_unique<ThreadedInstallerView>(
            r->ui, r->seen, sample,
            // (A weak reference: the round must not own itself.)
            [&worker, weak = std::weak_ptr<InstallerRound>(r)] {
                std::shared_ptr<InstallerRound> keep = weak.lock();
                worker.Start(keep->ui, [raw = keep.get()] { raw->dlg->RunWorker(); }, keep);
            },
            [raw](unsigned id) { raw->dlg->OnTimer(id); });
        r->dlg = std::make_unique<CInstallerDlg>(r->sys, *r->view);
        CInstallerDlg& dlg = *r->dlg;

        ASSERT_TRUE(dlg.OnInitDialog());
        bool ended = r->ui.Run([&] {
            if (dlg.IsBusy()) fw::DropWhileBusy(dlg.IsBusy(), kWmKeyDown, kVkEscape);
        });
        ASSERT_TRUE(worker.Finish(r->ui)) << "the worker did not end: left running";
        ASSERT_TRUE(ended) << "the installer did not end";

        const Seen& seen = r->seen;
        EXPECT_TRUE(r->m.Exited());
        EXPECT_EQ(r->m.ExitCode(), 0);
        EXPECT_EQ(seen.statuses, expected);
        ASSERT_FALSE(seen.positions.empty());
        EXPECT_EQ(seen.positions.back(), 100);
        EXPECT_GT(seen.progressWhileBusy, 10);
        EXPECT_EQ(seen.keysLetThroughWhileBusy, 0);
        EXPECT_FALSE(dlg.IsBusy());
        EXPECT_TRUE(r->m.FindPrinter("KESTREL ZEP-4100"));
    }
}

// ------------------------------------------------------------------ uninstaller

class ThreadedUninstallerView : public WindowlessUninstallerView {
public:
    ThreadedUninstallerView(UiQueue& ui, Seen& seen, std::function<void()> sample,
                            std::function<void()> worker)
        : ui_(ui), seen_(seen), progress_(ui, seen, std::move(sample)), worker_(std::move(worker)) {}

    ProgressBar& Progress() override { return progress_; }
    void PostStatusRefresh(const std::string& status) override {
        ui_.Post([this, status] { seen_.statuses.push_back(status); });
    }
    uint32_t StartWorker() override {
        worker_();
        return 0;
    }
    // The controls belong to the user-interface thread: the worker reaches
    // them by sent messages.
    void ResetList() override {
        ui_.Send([this] { list_.Reset(); });
    }
    int AddString(const std::string& text) override {
        int at = 0;
        ui_.Send([&] { at = list_.AddString(text); });
        return at;
    }
    int GetCount() override {
        int n = 0;
        ui_.Send([&] { n = list_.GetCount(); });
        return n;
    }
    bool GetCheck(int i) override {
        bool on = false;
        ui_.Send([&] { on = list_.GetCheck(i); });
        return on;
    }
    void SetCheck(int i, bool on) override {
        ui_.Send([&] { list_.SetCheck(i, on); });
    }
    std::string GetText(int i) override {
        std::string text;
        ui_.Send([&] { text = list_.GetText(i); });
        return text;
    }
    void EnableUninstall(bool enable) override {
        ui_.Send([&] { uninstallEnabled = enable; });
    }
    void EndDialogOk() override {
        ui_.Post([this] { ended = true; });
        ui_.Quit();
    }

    SimCheckList list_;
    bool uninstallEnabled = false;  // user-interface thread only
    bool ended = false;             // user-interface thread only

private:
    UiQueue& ui_;
    Seen& seen_;
    ThreadedProgress progress_;
    std::function<void()> worker_;
};

TEST(Threads, UninstallerWorkerAndUserInterface) {
    auto installed = [](sim::Machine& m) {
        PrepareInstallerMachine(m);
        InstallerScript script;
        script.models = {"KESTREL ZEP-4000", "KESTREL ZEP-4100"};
        InstallerRun(m, script).Run();
        PrepareUninstallerMachine(m);
    };
    sim::Machine reference;
    installed(reference);
    size_t mark = reference.Ui().size();
    UninstallerRun(reference).Run();
    std::vector<std::string> expected = StatusesOf(reference, mark);

    for (int round = 0; round < 3; ++round) {
        using UninstallerRound = Round<ThreadedUninstallerView, CUninstallerDlg>;
        auto r = std::make_shared<UninstallerRound>("\\ZEP_UnInstaller.txt");
        installed(r->m);
        Worker worker;
        UninstallerRound* raw = r.get();
        auto sample = [raw] { raw->Sample(); };
        r->view = std::make_unique<ThreadedUninstallerView>(
            r->ui, r->seen, sample, [&worker, weak = std::weak_ptr<UninstallerRound>(r)] {
                std::shared_ptr<UninstallerRound> keep = weak.lock();
                worker.Start(keep->ui, [raw = keep.get()] { raw->dlg->RunUninstall(); }, keep);
            });
        r->dlg = std::make_unique<CUninstallerDlg>(r->sys, *r->view);
        CUninstallerDlg& dlg = *r->dlg;
        ThreadedUninstallerView& view = *r->view;

        ASSERT_TRUE(dlg.OnInitDialog());
        dlg.OnTimer(1);  // the first tick lists the printers
        ASSERT_EQ(view.list_.GetCount(), 2);
        ASSERT_TRUE(view.uninstallEnabled);
        EXPECT_FALSE(fw::DropWhileBusy(dlg.IsBusy(), kWmKeyDown, kVkEscape));  // Escape still cancels
        dlg.OnUninstall();                                          // the user presses Uninstall
        bool ended = r->ui.Run([&] {
            if (dlg.IsBusy()) fw::DropWhileBusy(dlg.IsBusy(), kWmKeyDown, kVkEscape);
        });
        ASSERT_TRUE(worker.Finish(r->ui)) << "the worker did not end: left running";
        ASSERT_TRUE(ended) << "the uninstaller did not end";

        const Seen& seen = r->seen;
        EXPECT_TRUE(view.ended);
        EXPECT_EQ(seen.statuses, expected);
        ASSERT_FALSE(seen.positions.empty());
        EXPECT_EQ(seen.positions.back(), 100);
        EXPECT_GT(seen.progressWhileBusy, 2);
        EXPECT_EQ(seen.keysLetThroughWhileBusy, 0);
        EXPECT_TRUE(r->m.Printers().size() == 0);
    }
}

}  // namespace
}  // namespace zep::test
