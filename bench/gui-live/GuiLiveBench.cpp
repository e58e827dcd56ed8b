// How live the main window stays while it runs a large clone: the real window
// (offscreen unless QT_QPA_PLATFORM says otherwise), one task Source -> empty Target,
// started by the Run Selected Task command.
//
//   bench_gui_live [FOLDER] [--files N] [--detach-panels] [--confirm-only]
//
// FOLDER (default /dev/shm/kestrow-bench-gui) holds src/ (N files of 0-4 KiB in 1,365
// folders, up to five levels deep; built once and reused while N matches), dst/ (the
// Target, emptied before every run) and the run's data folder (removed at the end).
// N defaults to 200,000; 1,000,000 is the scenario the window has to stay live in.
//
// Run 1 clones everything. Run 2 cancels through the status bar's cancel button
// once half the Source has been compared; run 3 cancels through the tray menu's
// stop item at 50% of the copying. On the window thread the program records every
// status text the run host delivers, every paint of the window and its status bar,
// and the lateness of a 50 ms timer; it prints per phase the duration, the number of
// status texts and the longest time without one, the paints and the longest time
// without one, the worst timer lateness, and for runs 2 and 3 the time from the
// cancel to the run's end, and the CPU time of the window thread and of the process.
// Run 4 has Confirm Synchronization Actions on: once the confirmation list of the N
// operations is painted, the tray menu's stop item is used and Perform Actions
// pressed; it prints the time from the run's question to the list's first paint, the
// memory of the plan and what the list cost beyond it, the lateness of a 10 ms timer
// meanwhile, and whether the stop took effect (nothing performed).
// --detach-panels (a diagnostic) keeps the status panels from taking the texts, to
// show what displaying them costs. --confirm-only runs run 4 alone. It never fails on
// a figure.

#include "base/UiServices.h"
#include "bench/BenchTree.h"
#include "engine/RunControl.h"
#include "ui/dialogs/run/frmConfirmChanges.h"
#include "ui/mainwindow/frmKestrow.h"
#include "ui/qt/QtRunHost.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kestrow::gui::frmKestrow;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTickMs = 50;

double msSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// ---------------------------------------------------------------------------
// The tree

bool buildSource(const fs::path& root, long files)
{
    // Beside the tree, not in it: a file in the Source would be cloned too.
    const fs::path marker = root.parent_path() / ".src-complete";
    {
        std::ifstream in(marker);
        long count = 0;
        if (in >> count && count == files) {
            std::printf("Reusing the Source tree in %s\n", root.c_str());
            return true;
        }
    }
    std::printf("Building %ld files in %s ...\n", files, root.c_str());
    std::fflush(stdout);
    const auto start = Clock::now();
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::remove(marker, ec);
    const std::vector<fs::path> folders = kestrow::bench::treeFolders(root);
    for (const fs::path& f : folders)
        fs::create_directories(f);
    const std::string data(4096, 'k');
    // Sizes 0..4096 spread evenly, the same every time.
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (long i = 0; i < files; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const size_t size = static_cast<size_t>((state >> 33) % (data.size() + 1));
        const fs::path& folder = folders[static_cast<size_t>(i) % folders.size()];
        const std::string file = (folder / ("file" + std::to_string(i) + ".dat")).string();
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (!out)
            return false;
        const bool ok = std::fwrite(data.data(), 1, size, out) == size;
        if (std::fclose(out) != 0 || !ok)
            return false;
    }
    std::ofstream(marker) << files << "\n";
    std::printf("Built in %.1f s\n", msSince(start, Clock::now()) / 1000);
    return true;
}

void emptyFolder(const fs::path& folder)
{
    const auto start = Clock::now();
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    const double ms = msSince(start, Clock::now());
    if (ms > 1000)
        std::printf("(Target emptied in %.1f s)\n", ms / 1000);
}

// CPU time of the calling thread, in ms.
double threadCpuMs()
{
    std::ifstream in("/proc/thread-self/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e6;
}

double processCpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:").
long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::char_traits<char>::length(field));
    return -1;
}

long peakRssKb()
{
    return statusKb("VmHWM:");
}

// Starts VmHWM again from the present RSS.
void resetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5\n";
}

// ---------------------------------------------------------------------------
// Prompts: none is expected; any that comes is printed and takes its safe answer.

class BenchUiServices : public kestrow::UiServices
{
public:
    kestrow::MsgResult messageBox(const std::string& title, const std::string& text, kestrow::MsgIcon,
                                  kestrow::MsgButtons buttons) override
    {
        std::fprintf(stderr, "[message] %s: %s\n", title.c_str(), text.c_str());
        return kestrow::safeAnswer(buttons);
    }
    std::optional<std::string> inputBox(const std::string& title, const std::string&,
                                        const std::string&) override
    {
        std::fprintf(stderr, "[input box] %s\n", title.c_str());
        return std::nullopt;
    }
    void beep() override { std::fprintf(stderr, "[beep]\n"); }
};

// ---------------------------------------------------------------------------
// What the window thread sees of one run

struct Phase
{
    std::string name;
    Clock::time_point start;
    Clock::time_point end;
    std::vector<Clock::time_point> texts;
    std::vector<QString> values; // the text of each entry of `texts`
    std::vector<Clock::time_point> paints;
    double worstLatenessMs = 0;
};

// Longest stretch of the phase without an event, counting from its start to its end;
// `after` receives the index of the event that opens it (-1: the phase's start).
double longestGapMs(const Phase& p, const std::vector<Clock::time_point>& events, long* after = nullptr)
{
    double worst = 0;
    long worstAfter = -1;
    Clock::time_point last = p.start;
    for (size_t i = 0; i < events.size(); ++i) {
        if (msSince(last, events[i]) > worst) {
            worst = msSince(last, events[i]);
            worstAfter = long(i) - 1;
        }
        last = events[i];
    }
    if (msSince(last, p.end) > worst) {
        worst = msSince(last, p.end);
        worstAfter = long(events.size()) - 1;
    }
    if (after)
        *after = worstAfter;
    return worst;
}

std::string phaseOf(const QString& panel1Text)
{
    if (panel1Text.startsWith(QLatin1String("Comparing folders")))
        return "comparing";
    if (panel1Text.startsWith(QLatin1String("Cloning folder")))
        return "copying";
    if (panel1Text.startsWith(QLatin1String("Cleaning up")))
        return "cleaning up";
    if (panel1Text.startsWith(QLatin1String("Clone in Progress")))
        return "starting";
    return "";
}

class RunRecorder : public QObject
{
public:
    // Called on the window thread with every status text (panel, text) after it is recorded.
    std::function<void(int, const QString&)> onText;

    explicit RunRecorder(frmKestrow& window)
    {
        kestrow::gui::QtRunHost& host = window.runHostObject();
        // The receiver lives on the window thread: delivered there, right after the panel's own slot.
        connect(&host, &kestrow::gui::QtRunHost::statusTextChanged, this, &RunRecorder::text);
        connect(&host, &kestrow::gui::QtRunHost::runStartedOnWindow, this, [this] {
            started = true;
            open("starting", Clock::now());
        });
        connect(&host, &kestrow::gui::QtRunHost::runFinishedOnWindow, this, [this] {
            const auto now = Clock::now();
            finished = now;
            close(now);
        });
        window.installEventFilter(this);
        window.statusBar()->installEventFilter(this);
        for (QWidget* w : window.statusBar()->findChildren<QWidget*>())
            w->installEventFilter(this);
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(kTickMs);
        connect(&m_tick, &QTimer::timeout, this, &RunRecorder::tick);
    }

    void begin()
    {
        phases.clear();
        started = false;
        finished.reset();
        m_lastTick = Clock::now();
        m_tick.start();
    }
    void stop() { m_tick.stop(); }

    bool started = false;
    std::optional<Clock::time_point> finished;
    std::vector<Phase> phases;

    Phase* current() { return !phases.empty() && !m_closed ? &phases.back() : nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (Phase* p = current())
                p->paints.push_back(Clock::now());
        return QObject::eventFilter(watched, event);
    }

private:
    void open(const std::string& name, Clock::time_point now)
    {
        close(now);
        Phase& p = phases.emplace_back();
        p.name = name;
        p.start = now;
        m_closed = false;
    }
    void close(Clock::time_point now)
    {
        if (Phase* p = current()) {
            p->end = now;
            m_closed = true;
        }
    }

    void text(int panel, const QString& value)
    {
        const auto now = Clock::now();
        if (panel == 1) {
            const std::string name = phaseOf(value);
            if (!name.empty() && (!current() || current()->name != name))
                open(name, now);
        }
        if (Phase* p = current()) {
            p->texts.push_back(now);
            p->values.push_back(value);
        }
        if (onText)
            onText(panel, value);
    }

    void tick()
    {
        const auto now = Clock::now();
        const double late = msSince(m_lastTick, now) - kTickMs;
        m_lastTick = now;
        if (Phase* p = current())
            p->worstLatenessMs = std::max(p->worstLatenessMs, late);
    }

    QTimer m_tick;
    Clock::time_point m_lastTick;
    bool m_closed = true;
};

struct RunResult
{
    std::string label;
    std::vector<Phase> phases;
    std::optional<double> cancelToFinishedMs;
    std::optional<double> cancelToReturnMs;
    double totalMs = 0;
    double windowCpuMs = 0;
    double processCpuMs = 0;
    std::string cancelledIn;
};

// Selects the task and runs it with the Run Selected Task command; returns when the run is over.
RunResult runOnce(frmKestrow& window, RunRecorder& recorder, const std::string& label,
                  const std::function<bool(int, const QString&)>& cancelWhen,
                  const std::function<void()>& cancel)
{
    RunResult result;
    result.label = label;
    std::optional<Clock::time_point> cancelledAt;
    recorder.onText = [&](int panel, const QString& text) {
        if (cancelledAt || !cancelWhen || !cancelWhen(panel, text))
            return;
        result.cancelledIn = recorder.current() ? recorder.current()->name : "?";
        cancelledAt = Clock::now();
        cancel();
    };
    QTreeWidgetItem* row = window.findRow("Bench");
    window.taskListView()->setCurrentItem(row);
    row->setSelected(true);
    recorder.begin();
    const auto start = Clock::now();
    const double windowCpu = threadCpuMs();
    const double processCpu = processCpuMs();
    window.action(QStringLiteral("mnuRunSelectedTask"))->trigger();
    const auto returned = Clock::now();
    result.windowCpuMs = threadCpuMs() - windowCpu;
    result.processCpuMs = processCpuMs() - processCpu;
    recorder.stop();
    recorder.onText = nullptr;
    result.totalMs = msSince(start, returned);
    result.phases = recorder.phases;
    if (cancelledAt) {
        if (recorder.finished)
            result.cancelToFinishedMs = msSince(*cancelledAt, *recorder.finished);
        result.cancelToReturnMs = msSince(*cancelledAt, returned);
    }
    if (!recorder.started)
        std::fprintf(stderr, "%s: the run never started\n", label.c_str());
    return result;
}

long filesCounted(const QString& text)
{
    if (!text.endsWith(QLatin1String(" files")))
        return -1;
    return text.left(text.size() - 6).toLong();
}

int percentShown(const QString& text)
{
    if (!text.endsWith(QLatin1Char('%')))
        return -1;
    return text.left(text.size() - 1).toInt();
}

long countFiles(const fs::path& root)
{
    long n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            ++n;
    return n;
}

void printTable(const std::vector<RunResult>& runs)
{
    std::printf("\n%-26s %-12s %9s %8s %9s %8s %9s %9s %10s\n", "run", "phase", "duration", "texts",
                "max gap", "paints", "max gap", "max late", "cancel->end");
    std::printf("%-26s %-12s %9s %8s %9s %8s %9s %9s %10s\n", "", "", "s", "", "ms", "", "ms", "ms", "ms");
    for (const RunResult& r : runs) {
        for (const Phase& p : r.phases) {
            std::string cancel;
            if (r.cancelToFinishedMs && p.name == r.cancelledIn) {
                char buf[48];
                std::snprintf(buf, sizeof buf, "%.0f", *r.cancelToFinishedMs);
                cancel = buf;
            }
            std::printf("%-26s %-12s %9.2f %8zu %9.0f %8zu %9.0f %9.0f %10s\n", r.label.c_str(),
                        p.name.c_str(), msSince(p.start, p.end) / 1000, p.texts.size(),
                        longestGapMs(p, p.texts), p.paints.size(), longestGapMs(p, p.paints),
                        p.worstLatenessMs, cancel.c_str());
        }
        std::printf("%-26s %-12s %9.2f   CPU: window thread %.2f s, process %.2f s", r.label.c_str(),
                    "(whole run)", r.totalMs / 1000, r.windowCpuMs / 1000, r.processCpuMs / 1000);
        std::printf("\n");
        if (r.cancelToReturnMs)
            std::printf("%-26s %-12s cancel in %s; to the command's return %.0f ms\n", "", "",
                        r.cancelledIn.c_str(), *r.cancelToReturnMs);
    }
    std::printf("\nWhere each phase's longest time without a status text lies (when over 100 ms):\n");
    for (const RunResult& r : runs) {
        for (const Phase& p : r.phases) {
            long after = -1;
            const double gap = longestGapMs(p, p.texts, &after);
            if (gap < 100)
                continue;
            const std::string from =
                after < 0 ? "(phase start)" : '"' + p.values[size_t(after)].toStdString() + '"';
            const std::string to = size_t(after + 1) < p.values.size()
                                       ? '"' + p.values[size_t(after + 1)].toStdString() + '"'
                                       : "(phase end)";
            const double at = after < 0 ? 0 : msSince(p.start, p.texts[size_t(after)]);
            std::printf("  %s, %s: %.0f ms from %s to %s, %.2f s into the phase\n", r.label.c_str(),
                        p.name.c_str(), gap, from.c_str(), to.c_str(), at / 1000);
        }
    }
}

// ---------------------------------------------------------------------------
// Run 4: the confirmation list

struct ConfirmResult
{
    bool shown = false;
    long operations = 0;
    long rows = 0;
    double toShownMs = 0;      // the run's question to the list's first paint
    double toScrolledMs = 0;   // ... and to the paint after scrolling to its end
    double worstLateMs = 0;    // a 10 ms timer, from the question to the stop command
    long planRssKb = 0;        // RSS when the run asks (the plan in memory)
    long peakDuringListKb = 0; // VmHWM from the question until the list closed
    long rssClosedKb = 0;      // RSS once the list has closed, the plan still held
    long rssAfterKb = 0;       // RSS once the run is over
    bool stopEnabled = false;
    bool cancelRequested = false;
    bool performReturned = false;
    double totalMs = 0;
};

class ConfirmProbe : public QObject
{
public:
    std::function<void()> onShown;
    std::function<void()> onScrolled;
    QListView* list = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return QObject::eventFilter(watched, event);
        if (!list) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<kestrow::gui::frmConfirmChanges*>(top))
                    list = dialog->findChild<QListView*>(QStringLiteral("lvwSyncOperations"));
        }
        if (list && watched == list->viewport()) {
            if (onShown)
                std::exchange(onShown, nullptr)();
            else if (onScrolled)
                std::exchange(onScrolled, nullptr)();
        }
        return QObject::eventFilter(watched, event);
    }
};

ConfirmResult runConfirm(frmKestrow& window, const fs::path& target)
{
    ConfirmResult r;
    QAction* confirm = window.action(QStringLiteral("mnuOptionsConfirmSyncActions"));
    if (!confirm->isChecked())
        confirm->trigger();

    // Lateness of a 10 ms timer while the question is open.
    constexpr int kLateTickMs = 10;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kLateTickMs);
    Clock::time_point lastTick = Clock::now();
    bool measuring = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (measuring)
            r.worstLateMs = std::max(r.worstLateMs, msSince(lastTick, now) - kLateTickMs);
        lastTick = now;
    });
    tick.start();

    ConfirmProbe probe;
    qApp->installEventFilter(&probe);
    std::function<void()> scrolled;
    window.runHostObject().setConfirmHandler([&](const kestrow::SyncActionList& actions,
                                                 std::vector<bool>& skipped, bool& keepConfirming) {
        const auto asked = Clock::now();
        r.planRssKb = statusKb("VmRSS:");
        resetPeakRss();
        r.operations = long(actions.count());
        lastTick = asked;
        measuring = true;
        probe.onShown = [&] {
            r.shown = true;
            r.toShownMs = msSince(asked, Clock::now());
            r.rows = probe.list->model()->rowCount();
            // Then the far end of the list, as one drag of the scroll bar would.
            QTimer::singleShot(0, probe.list, [&] {
                probe.list->scrollToBottom();
                probe.onScrolled = scrolled;
            });
        };
        scrolled = [&] {
            r.toScrolledMs = msSince(asked, Clock::now());
            QTimer::singleShot(0, &window, [&] {
                // The tray's stop command while the list is open, then Perform Actions.
                window.SysTray_RightClick();
                QAction* stop = window.action(QStringLiteral("mnuPopupCancelRunningTask"));
                r.stopEnabled = stop->isEnabled();
                stop->trigger();
                measuring = false;
                r.cancelRequested = kestrow::CancelRequested;
                QWidget* dialog = probe.list->window();
                dialog->findChild<QPushButton*>(QStringLiteral("cmdPerform"))->click();
            });
        };
        const bool perform = kestrow::gui::ShowConfirmSyncActions(&window, actions, skipped, keepConfirming);
        r.peakDuringListKb = peakRssKb();
        r.rssClosedKb = statusKb("VmRSS:");
        probe.list = nullptr;
        r.performReturned = perform;
        return perform;
    });

    QTreeWidgetItem* row = window.findRow("Bench");
    window.taskListView()->setCurrentItem(row);
    row->setSelected(true);
    const auto start = Clock::now();
    window.action(QStringLiteral("mnuRunSelectedTask"))->trigger();
    r.totalMs = msSince(start, Clock::now());
    r.rssAfterKb = statusKb("VmRSS:");
    qApp->removeEventFilter(&probe);
    window.runHostObject().setConfirmHandler(nullptr);
    if (confirm->isChecked())
        confirm->trigger();
    const long copied = countFiles(target);
    std::printf("run 4: %.1f s, %ld files in the Target (0: the stop held)\n", r.totalMs / 1000, copied);
    return r;
}

void printConfirm(const ConfirmResult& r)
{
    if (!r.shown) {
        std::printf("\nrun 4: the confirmation list was never painted\n");
        return;
    }
    const auto mib = [](long kb) { return double(kb) / 1024; };
    std::printf("\nrun 4 confirmation list: %ld operations, %ld lines\n", r.operations, r.rows);
    std::printf("  question -> list painted %.0f ms; -> its end painted %.0f ms\n", r.toShownMs,
                r.toScrolledMs);
    std::printf("  worst lateness of a 10 ms timer on the window thread meanwhile: %.0f ms\n", r.worstLateMs);
    std::printf("  RSS with the plan %.0f MiB; peak while the list was open %.0f MiB (%.0f MiB beyond the "
                "plan); RSS once it closed %.0f MiB, after the run %.0f MiB\n",
                mib(r.planRssKb), mib(r.peakDuringListKb), mib(r.peakDuringListKb - r.planRssKb),
                mib(r.rssClosedKb), mib(r.rssAfterKb));
    std::printf("  tray stop item enabled: %s; CancelRequested after it: %s; Perform Actions then %s\n",
                r.stopEnabled ? "yes" : "NO", r.cancelRequested ? "yes" : "NO",
                r.performReturned ? "went on (the engine checks the stop)" : "cancelled");
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = "/dev/shm/kestrow-bench-gui";
    long files = 200000;
    bool detachPanels = false;
    bool confirmOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc)
            files = std::atol(argv[++i]);
        else if (arg == "--detach-panels")
            detachPanels = true;
        else if (arg == "--confirm-only")
            confirmOnly = true;

        else
            folder = arg;
    }
    const fs::path root(folder);
    const fs::path source = root / "src";
    const fs::path target = root / "dst";
    fs::create_directories(root);
    if (!buildSource(source, files)) {
        std::fprintf(stderr, "Could not build the Source tree in %s\n", source.c_str());
        return 1;
    }
    emptyFolder(target);

    // Everything the program writes goes to a data folder of this run only.
    QTemporaryDir data(QString::fromStdString((root / "data-XXXXXX").string()));
    if (!data.isValid()) {
        std::fprintf(stderr, "No data folder\n");
        return 1;
    }
    const std::string dataPath = data.path().toStdString();
    for (const char* sub :
         {"data", "home", "home/.local/share", "home/.config", "home/.cache", "etc/xdg", "run"})
        fs::create_directories(fs::path(dataPath) / sub);
    fs::permissions(fs::path(dataPath) / "run", fs::perms::owner_all, fs::perm_options::replace);
    qputenv("KESTROW_HOME", QByteArray::fromStdString(dataPath + "/data"));
    qputenv("HOME", QByteArray::fromStdString(dataPath + "/home"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataPath + "/home/.local/share"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dataPath + "/home/.config"));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dataPath + "/home/.cache"));
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(dataPath + "/etc/xdg"));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(dataPath + "/home/.local/share"));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dataPath + "/run"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Not a first start, no reminder on close, and the planned operations are performed unconfirmed.
    std::ofstream(dataPath + "/data/kestrow.ini")
        << "[Reminders]\nSysTray=False\n[Miscellaneous]\nConfirmSyncActions=False\n";
    std::ofstream(dataPath + "/data/Default Task List.kwt")
        << "[Bench]\nSourceFolderSpec=" << source.string() << "/\nTargetFolderSpec=" << target.string()
        << "/\nIntervalType=0\nIntervalIncrement=5\nNextCloneDateTime=0\nErrorOnLastClone=False\n"
           "Category=Unfiled\n";

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BenchUiServices services;
    kestrow::ScopedUiServices scope(services);

    std::vector<RunResult> runs;
    std::optional<ConfirmResult> confirmResult;
    long peakBeforeConfirm = 0;
    {
        frmKestrow window(kestrow::gui::DesktopIntegration::TrayMode::NoTray);
        if (!window.shell().Main() || !window.shell().Form_Load() || !window.findRow("Bench")) {
            std::fprintf(stderr, "The window did not start\n");
            return 1;
        }
        window.RestoreMainWindow();
        QApplication::processEvents();
        RunRecorder recorder(window);
        // Diagnostic: the texts still cross to the window thread, but the panels no longer
        // take them, so nothing is laid out or painted for them.
        if (detachPanels)
            QObject::disconnect(&window.runHostObject(), &kestrow::gui::QtRunHost::statusTextChanged, &window,
                                nullptr);

        std::printf("Platform %s, %ld files, Source %s%s\n", qPrintable(QApplication::platformName()), files,
                    source.c_str(), detachPanels ? ", panels detached from the status texts" : "");
        std::fflush(stdout);

        if (!confirmOnly) {
            // 1: the whole clone.
            runs.push_back(runOnce(window, recorder, "1 full clone", nullptr, nullptr));
            const long copied = countFiles(target);
            std::printf("run 1: %.1f s, %ld of %ld files in the Target\n", runs.back().totalMs / 1000, copied,
                        files);
            std::fflush(stdout);

            // 2: cancelled with the status bar's button half-way through the comparing.
            emptyFolder(target);
            auto* cancelButton = window.findChild<QToolButton*>(QStringLiteral("CANCEL"));
            runs.push_back(runOnce(
                window, recorder, "2 cancel while comparing",
                [&](int panel, const QString& text) { return panel == 2 && filesCounted(text) >= files / 2; },
                [&] { cancelButton->click(); }));
            std::printf("run 2: %.1f s\n", runs.back().totalMs / 1000);
            std::fflush(stdout);

            // 3: cancelled from the tray menu at 50% of the copying.
            emptyFolder(target);
            runs.push_back(runOnce(
                window, recorder, "3 cancel while copying",
                [&](int panel, const QString& text) {
                    return panel == 2 && recorder.current() && recorder.current()->name == "copying" &&
                           percentShown(text) >= 50;
                },
                [&] {
                    window.SysTray_RightClick(); // the menu opens: the stop item is enabled during a run
                    QAction* stop = window.action(QStringLiteral("mnuPopupCancelRunningTask"));
                    if (!stop->isEnabled())
                        std::fprintf(stderr, "the stop item is disabled during the run\n");
                    stop->trigger();
                }));
            std::printf("run 3: %.1f s, %ld files copied before the cancel took effect\n",
                        runs.back().totalMs / 1000, countFiles(target));
        }

        // 4: the confirmation list, stopped from the tray while it is open.
        emptyFolder(target);
        peakBeforeConfirm = peakRssKb();
        confirmResult = runConfirm(window, target);

        window.shell().Form_Unload();
    }

    printTable(runs);
    if (confirmResult)
        printConfirm(*confirmResult);
    // Run 4 starts the peak again from its plan; the larger of the two is the run's.
    std::printf("\npeak RSS: %.0f MiB\n", double(std::max(peakBeforeConfirm, peakRssKb())) / 1024);
    std::printf(
        "(texts: status texts delivered to the window; paints: paint events of the window and its status "
        "bar;\n max late: worst lateness of a %d ms timer on the window thread)\n",
        kTickMs);

    emptyFolder(target);
    return 0;
}
