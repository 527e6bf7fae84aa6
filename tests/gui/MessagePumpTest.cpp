// The desktop program's waits block in Qt's event loop; a reply that arrives must end them at
// once there too, with the other processor loaded.
#include "PseudoTerminal.h"
#include "Stalls.h"
#include "TimedExchanges.h"
#include "portwell/MacroHost.h"

#include <gtest/gtest.h>

using namespace portwell;
using namespace testsupport;

namespace {

std::string Attempt() {
    constexpr int exchanges = 2000;
    CoreLoader loader;
    PseudoTerminal device;
    EchoDevice echo(device, 4, {'A', 'C', 'K', '\r'}, exchanges);
    TPortSettings settings;
    settings.DeviceName = device.Path();
    TMacroHost host;
    const ExchangeTimes times = TimeExchanges(
        host, settings,
        ExchangeMacro(exchanges, "if ComWait('ACK'#13, 2000) = 0 then Print('lost');"), '\r',
        {loader.ThreadId()});
    if (!times.error.empty()) return times.error;
    if (int(times.asleepUs.size()) != exchanges)
        return std::to_string(times.asleepUs.size()) + " exchanges";
    return times.Above(5000);
}

TEST(QtMessagePump, RepliesEndTheWaitAtOnce) {
    EXPECT_EQ(CleanInOneOfThree(Attempt), "");
}

} // namespace
