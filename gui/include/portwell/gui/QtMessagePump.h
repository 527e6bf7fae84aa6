#pragma once
// Joins the platform layer's message queue to Qt's event loop, for as long as it lives:
//   - "process pending messages" runs Qt's event processing and the serial hand-overs;
//   - waits block in Qt's event loop until an event, a hand-over, an interrupt or the deadline;
//   - an interrupt request (a signal) is reported as Interrupted().
// Nothing polls: when nothing happens, the process sleeps.
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>

namespace portwell::gui {

class TQtMessagePump : public QObject {
    Q_OBJECT
public:
    TQtMessagePump();
    ~TQtMessagePump() override;

signals:
    // A signal asked the program to end; the request is cleared before this is emitted.
    void Interrupted();

private:
    void ProcessMessages();
    void Wait(int timeoutMs);
    void ServeInterrupt();

    QSocketNotifier handOvers;
    QSocketNotifier interrupts;
    uint32_t lastProcessed = 0;
};

// Turns SIGINT, SIGTERM and SIGHUP into interrupt requests.
void InterruptOnTerminationSignals();

} // namespace portwell::gui
