// Figures of the desktop program, measured in this process, which links the same window and
// libraries as `portwell`:
//   - the time from the process's start to the main window shown;
//   - the resident memory of the idle window;
//   - the CPU share while a macro in the window waits 5 seconds for a reply that never comes;
//   - a device flooding the port (pty_flood): bytes read a second and CPU per MB, connected and
//     in a ComRead loop, and how late clicks are served meanwhile;
//   - 1 MB/s for 10 s while connected and logging to a file: memory, every byte in the file;
//   - while a macro prints for seconds: how often the pane is repainted, how late clicks are
//     served, how soon Stop ends it, and the time from its end to its last line painted;
//   - peak memory of a macro printing 300,000 and 3,000,000 lines (each in a process of its own,
//     `gui_bench --print N`), and the time from its end to its last line shown.
// It uses Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "FloodWriter.h"
#include "PseudoTerminal.h"
#include "portwell/gui/Form1.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Milliseconds since the kernel started this process (field 22 of /proc/self/stat, in clock
// ticks since boot).
double MillisecondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        fields >> field;
    const double startSeconds = std::stod(field) / double(sysconf(_SC_CLK_TCK));
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    return (uptime - startSeconds) * 1000;
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void CpuShareOfAnUnansweredWait(portwell::gui::TForm1& form) {
    testsupport::PseudoTerminal device;
    form.AddMacro("Wait", {"ComWait('never', 5000);"});
    form.findChild<QComboBox*>("ComboBox7")->setCurrentIndex(form.MacroCount());
    form.findChild<QComboBox*>("ComboBox1")->setCurrentText(QString::fromStdString(device.Path()));
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    form.findChild<QToolButton*>("RunButton")->click();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("CPU share during a 5 s ComWait with no reply, in the window: %.3f %% (%.1f ms CPU "
                "in %.2f s; target under 1 %%)\n",
                100.0 * cpu / wall, cpu * 1000, wall);
}

long PeakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    return -1;
}

template <typename Widget> Widget* Control(portwell::gui::TForm1& form, const char* name) {
    return form.findChild<Widget*>(name);
}

void UseDevice(portwell::gui::TForm1& form, const std::string& path) {
    Control<QComboBox>(form, "ComboBox1")->setCurrentText(QString::fromStdString(path));
}

void SelectMacro(portwell::gui::TForm1& form, const ksl::TStrings& lines) {
    form.AddMacro("Bench", lines);
    Control<QComboBox>(form, "ComboBox7")->setCurrentIndex(form.MacroCount());
}

// How late timers fire while the window is busy: what a click waits before it is served.
class ClickLateness {
public:
    ClickLateness() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (clock.isValid()) late.push_back(clock.elapsed() - 50);
            clock.start();
        });
        timer.start(50);
    }
    ~ClickLateness() { timer.stop(); }
    std::string Summary() {
        if (late.empty()) return "no samples";
        std::sort(late.begin(), late.end());
        char text[96];
        std::snprintf(text, sizeof text, "median %lld ms, max %lld ms over %zu",
                      (long long)late[late.size() / 2], (long long)late.back(), late.size());
        return text;
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    std::vector<qint64> late;
};

void ReportFlood(const char* what, const benchsupport::FloodResult& flood, double cpu,
                 ClickLateness& clicks) {
    const double mb = flood.Bytes / 1e6;
    std::printf("Flood, %s: %.2f MB/s read, %.3f s CPU per MB; clicks late by %s\n", what,
                mb / flood.Seconds, mb > 0 ? cpu / mb : 0.0, clicks.Summary().c_str());
}

// The device floods the port for 5 s while the window is connected: one byte over and over, or
// text lines as the side-by-side comparison sends them.
void FloodWhileConnected(portwell::gui::TForm1& form,
                         std::vector<std::string> writerArgs = {"--seconds", "5"}) {
    benchsupport::FloodWriter writer(std::move(writerArgs));
    UseDevice(form, writer.Path());
    ClickLateness clicks;
    const double cpuBefore = CpuSeconds();
    Control<QToolButton>(form, "ConnectButton")->click();
    const benchsupport::FloodResult flood = writer.WaitServing();
    const double cpu = CpuSeconds() - cpuBefore;
    Control<QToolButton>(form, "ConnectButton")->click();
    ReportFlood("connected", flood, cpu, clicks);
    std::printf("Memory after the flood: %.1f MB\n", ResidentKilobytes() / 1024.0);
}

// The same during a macro that reads in a loop; Stop ends it when the writer is done.
void FloodDuringAComReadLoop(portwell::gui::TForm1& form) {
    benchsupport::FloodWriter writer({"--seconds", "5"});
    UseDevice(form, writer.Path());
    SelectMacro(form, {"var s: String;", "begin", "while True do s := ComRead;", "end."});
    ClickLateness clicks;
    benchsupport::FloodResult flood;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (const auto result = writer.Poll()) {
            flood = *result;
            poll.stop();
            Control<QToolButton>(form, "StopButton")->click();
        }
    });
    poll.start(50);
    const double cpuBefore = CpuSeconds();
    Control<QToolButton>(form, "RunButton")->click();
    ReportFlood("ComRead loop", flood, CpuSeconds() - cpuBefore, clicks);
}

// Counts the bytes of the Com_RD lines of a log file: three characters a byte in hexadecimal.
double BytesInLogFile(const std::string& path) {
    std::ifstream file(path);
    double bytes = 0;
    for (std::string line; std::getline(file, line);) {
        const size_t data = line.find("Com_RD:");
        if (data != std::string::npos && line.size() > data + 7)
            bytes += double(line.size() - data - 7 + 1) / 3;
    }
    return bytes;
}

// 1 MB/s for 10 s, connected, logging to a file: memory at 2 s and at the end, every byte kept.
void MegabyteASecondForTenSeconds(portwell::gui::TForm1& form) {
    const std::string log = "/tmp/portwell-bench-flood.log";
    std::remove(log.c_str());
    form.LogToFile(QString::fromStdString(log));
    benchsupport::FloodWriter writer({"--rate", "1000000", "--seconds", "10", "--lines"});
    UseDevice(form, writer.Path());
    ClickLateness clicks;
    long early = 0;
    QTimer::singleShot(2000, [&] { early = ResidentKilobytes(); });
    const double cpuBefore = CpuSeconds();
    Control<QToolButton>(form, "ConnectButton")->click();
    const benchsupport::FloodResult flood = writer.WaitServing();
    QTest::qWait(200);
    const double cpu = CpuSeconds() - cpuBefore;
    QElapsedTimer disconnect;
    disconnect.start();
    Control<QToolButton>(form, "ConnectButton")->click();
    const qint64 disconnectMs = disconnect.elapsed();
    form.StopLoggingToFile();
    const double kept = BytesInLogFile(log);
    std::printf("1 MB/s for 10 s, connected and logging: %.2f MB/s, %.1f %% CPU, memory %.1f MB "
                "at 2 s and %.1f MB at the end, %.0f of %.0f bytes in the log file; Disconnect "
                "took %lld ms; clicks late by %s\n",
                flood.Bytes / 1e6 / flood.Seconds, 100 * cpu / flood.Seconds, early / 1024.0,
                ResidentKilobytes() / 1024.0, kept, flood.Total, (long long)disconnectMs,
                clicks.Summary().c_str());
    std::remove(log.c_str());
}

// The times at which the log pane was painted.
class PanePaints : public QObject {
public:
    explicit PanePaints(QPlainTextEdit* pane) { pane->viewport()->installEventFilter(this); }
    std::vector<portwell::TLogTime> Times;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) Times.push_back(portwell::TLogClock::now());
        return false;
    }
};

qint64 Milliseconds(portwell::TLogClock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

// A macro prints 2,000,000 lines: the pane's paints a second while it runs and the longest gap
// between two, and the time from the macro's last line to the first paint after it. Then an
// endless one: how long Stop takes to end it.
void PaneWhileAMacroPrints(portwell::gui::TForm1& form) {
    UseDevice(form, "loop://");
    SelectMacro(form, {"var i: Integer;", "begin",
                       "for i := 1 to 2000000 do Print('line ' + IntToStr(i));", "end."});
    auto* pane = Control<QPlainTextEdit>(form, "RichEdit1");
    PanePaints paints(pane);
    const portwell::TLogTime start = portwell::TLogClock::now();
    {
        ClickLateness clicks;
        Control<QToolButton>(form, "RunButton")->click();
        const portwell::TLogTime end = form.Host().Log.Times().back();
        QElapsedTimer waited;
        waited.start();
        while ((paints.Times.empty() || paints.Times.back() < end) && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        qint64 longestGap = 0, during = 0;
        portwell::TLogTime previous = start;
        for (const portwell::TLogTime paint : paints.Times) {
            if (paint > end) break;
            longestGap = std::max(longestGap, Milliseconds(paint - previous));
            previous = paint;
            ++during;
        }
        const double seconds = Milliseconds(end - start) / 1000.0;
        std::printf("A macro printing 2,000,000 lines for %.1f s: the pane painted %.1f times a "
                    "second (longest gap %lld ms; target at least 10 a second); last line painted "
                    "%lld ms after the macro's end (target under 200 ms); clicks late by %s\n",
                    seconds, during / seconds, (long long)longestGap,
                    (long long)Milliseconds(paints.Times.back() - end), clicks.Summary().c_str());
    }
    SelectMacro(form,
                {"var i: Integer;", "begin", "i := 0;",
                 "while True do begin i := i + 1; Print('line ' + IntToStr(i)); end;", "end."});
    QElapsedTimer stopped;
    QTimer::singleShot(1000, [&] {
        stopped.start();
        Control<QToolButton>(form, "StopButton")->click();
    });
    Control<QToolButton>(form, "RunButton")->click();
    std::printf("Stop during a macro printing without end: the run ended %lld ms after the click "
                "(target under 100 ms)\n",
                (long long)stopped.elapsed());
}

// In a process of its own: a macro prints `count` lines; prints its peak memory and the time from
// the macro's end to its last line shown in the pane.
int PrintLines(portwell::gui::TForm1& form, long count) {
    UseDevice(form, "loop://");
    const std::string last = "line " + std::to_string(count);
    SelectMacro(form,
                {"var i: Integer;", "begin",
                 "for i := 1 to " + std::to_string(count) + " do Print('line ' + IntToStr(i));",
                 "end."});
    Control<QToolButton>(form, "RunButton")->click();
    QElapsedTimer shown;
    shown.start();
    auto* pane = Control<QPlainTextEdit>(form, "RichEdit1");
    while (pane->document()->lastBlock().text().toStdString() != last && shown.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("%ld printed lines: peak memory %.1f MB, last line shown %lld ms after the end\n",
                count, PeakResidentKilobytes() / 1024.0, (long long)shown.elapsed());
    return 0;
}

void PrintLinesInAProcessOfItsOwn(const char* self, long count) {
    const std::string command = std::string(self) + " --print " + std::to_string(count);
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) std::printf("%s failed\n", command.c_str());
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    portwell::gui::TQtMessagePump pump;
    portwell::gui::TQtDialogsInstalled dialogs;
    portwell::gui::TForm1 form;
    if (argc == 3 && std::string(argv[1]) == "--print") return PrintLines(form, std::atol(argv[2]));
    if (argc == 2 && std::string(argv[1]) == "--printing") {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) return 1;
        PaneWhileAMacroPrints(form);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--flood") {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) return 1;
        FloodWhileConnected(form, {"--seconds", "10", "--lines"});
        return 0;
    }
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) std::printf("the window was never shown\n");
    std::printf("Start to window shown: %.0f ms (target under 300 ms)\n",
                MillisecondsSinceProcessStart());
    QTest::qWait(1000);
    std::printf("Resident memory of the idle window: %.1f MB (target under 80 MB)\n",
                double(ResidentKilobytes()) / 1024);
    CpuShareOfAnUnansweredWait(form);
    FloodWhileConnected(form);
    FloodDuringAComReadLoop(form);
    MegabyteASecondForTenSeconds(form);
    PaneWhileAMacroPrints(form);
    for (long count : {300000L, 3000000L})
        PrintLinesInAProcessOfItsOwn(argv[0], count);
    return 0;
}
