#include "portwell/gui/QtMessagePump.h"

#include "platform/Clock.h"
#include "platform/Messages.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

namespace portwell::gui {

namespace {

// The engine asks for message processing at the start of every block it runs; a full pass of
// Qt's event processing that often would slow a busy macro down for nothing. Once in this many
// milliseconds keeps the window live, and hand-overs and interrupts are served at once anyway.
constexpr uint32_t EventPassIntervalMs = 10;

} // namespace

TQtMessagePump::TQtMessagePump()
    : handOvers(platform::HandOverDescriptor(), QSocketNotifier::Read),
      interrupts(platform::InterruptDescriptor(), QSocketNotifier::Read) {
    connect(&handOvers, &QSocketNotifier::activated, this, [] { platform::RunHandOvers(); });
    connect(&interrupts, &QSocketNotifier::activated, this, &TQtMessagePump::ServeInterrupt);
    platform::SetMessageHook([this] { ProcessMessages(); });
    platform::SetWaitHook([this](int timeoutMs) { Wait(timeoutMs); });
}

TQtMessagePump::~TQtMessagePump() {
    platform::SetMessageHook(nullptr);
    platform::SetWaitHook(nullptr);
}

void TQtMessagePump::ProcessMessages() {
    const bool urgent = platform::HandOversPending() || platform::InterruptRequested();
    if (!urgent && platform::TicksSince(lastProcessed) < EventPassIntervalMs) return;
    lastProcessed = platform::TickCount();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    platform::RunHandOvers();
}

// Blocks in Qt's event loop until at least one event has been handled: a user action, the
// hand-over or interrupt notifier, or the deadline's timer.
void TQtMessagePump::Wait(int timeoutMs) {
    QTimer deadline;
    deadline.setSingleShot(true);
    if (timeoutMs >= 0) deadline.start(timeoutMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    lastProcessed = platform::TickCount();
}

// The descriptor stays readable until the request is cleared, so it is cleared first.
void TQtMessagePump::ServeInterrupt() {
    platform::ClearInterrupt();
    emit Interrupted();
}

void InterruptOnTerminationSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, [](int) { platform::RequestInterrupt(); });
}

} // namespace portwell::gui
