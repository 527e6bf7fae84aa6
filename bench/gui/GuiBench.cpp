// Three figures of the desktop program, measured in this process, which links the same window and
// libraries as `portwell`:
//   - the time from the process's start to the main window shown;
//   - the resident memory of the idle window;
//   - the CPU share while a macro in the window waits 5 seconds for a reply that never comes.
// It uses Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "PseudoTerminal.h"
#include "portwell/gui/Form1.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

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

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    portwell::gui::TQtMessagePump pump;
    portwell::gui::TQtDialogsInstalled dialogs;
    portwell::gui::TForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) std::printf("the window was never shown\n");
    std::printf("Start to window shown: %.0f ms (target under 300 ms)\n",
                MillisecondsSinceProcessStart());
    QTest::qWait(1000);
    std::printf("Resident memory of the idle window: %.1f MB (target under 80 MB)\n",
                double(ResidentKilobytes()) / 1024);
    CpuShareOfAnUnansweredWait(form);
    return 0;
}
