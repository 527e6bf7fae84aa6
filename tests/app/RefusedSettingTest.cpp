#include "portwell/RefusedSetting.h"

#include <gtest/gtest.h>

using namespace portwell;
using namespace serial;

namespace {

TPortSettings With(TBaudRate rate, TDatabits data, TStopbits stop, TParity parity,
                   TFlowControl flow) {
    return {"/dev/ttyUSB0", rate, data, stop, parity, flow};
}

TEST(RefusedSetting, NamesWhatLinuxCannotDoElseWhatTheDeviceMayRefuse) {
    const ECommError refused(SUpdateDCBErr, 22);
    struct Case {
        TPortSettings settings;
        TNameKind kind;
        std::string named;
    } cases[] = {
        {With(cbr9600, da4, sb10, paNone, fcNone), TNameKind::Caption,
         "DataBits 4bit: serial lines on Linux carry 5 to 8 data bits"},
        {With(cbr9600, da8, sb15, paNone, fcNone), TNameKind::Option,
         "--stopbits 1.5: 1.5 stop bits go with 5 data bits only"},
        {With(cbr9600, da5, sb20, paNone, fcNone), TNameKind::Caption,
         "StopBits 2.0bit: with 5 data bits a line has 1.5 stop bits, not 2"},
        {With(cbr9600, da8, sb10, paNone, fcDTR), TNameKind::Caption,
         "FlowControl DTR/ETR: Linux has no DTR/DSR flow control"},
        {With(cbr256000, da8, sb10, paMark, fcCTS), TNameKind::Caption,
         "one of BaudRate 256000, Parity Mark, FlowControl CTS/RTS"},
        {With(cbr115200, da5, sb15, paNone, fcDefault), TNameKind::Option, "one of -b 115200"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RefusedSetting(c.settings, refused, c.kind), c.named);
    const ECommError missing(SOpenError, 2);
    EXPECT_EQ(RefusedSetting(With(cbr9600, da4, sb10, paNone, fcNone), missing, TNameKind::Caption),
              "");
}

} // namespace
