#include "portwell/RefusedSetting.h"

#include <string_view>
#include <vector>

namespace portwell {

namespace {

using serial::TNameKind;

struct TSettingLabel {
    const char* Caption; // above the window's list
    const char* Option;  // on the command line
};

constexpr TSettingLabel BaudRateLabel{"BaudRate", "-b"}, DatabitsLabel{"DataBits", "--databits"},
    StopbitsLabel{"StopBits", "--stopbits"}, ParityLabel{"Parity", "--parity"},
    FlowControlLabel{"FlowControl", "--flow"};

template <typename E> std::string Named(const TSettingLabel& label, E value, TNameKind kind) {
    const serial::TSettingName* names = serial::NamesOf(value);
    const std::string_view valueName = names ? serial::NameOf(*names, kind) : "?";
    return std::string(kind == TNameKind::Option ? label.Option : label.Caption) + " " +
           std::string(valueName);
}

std::string Refused(const std::string& setting, const char* why) {
    return setting + ": " + why;
}

// What no serial line on Linux can do, whatever the device.
std::string ImpossibleSetting(const TPortSettings& s, TNameKind kind) {
    if (s.Databits == serial::da4)
        return Refused(Named(DatabitsLabel, s.Databits, kind),
                       "serial lines on Linux carry 5 to 8 data bits");
    if (s.Stopbits == serial::sb15 && s.Databits != serial::da5)
        return Refused(Named(StopbitsLabel, s.Stopbits, kind),
                       "1.5 stop bits go with 5 data bits only");
    if (s.Stopbits == serial::sb20 && s.Databits == serial::da5)
        return Refused(Named(StopbitsLabel, s.Stopbits, kind),
                       "with 5 data bits a line has 1.5 stop bits, not 2");
    if (s.FlowControl == serial::fcDTR)
        return Refused(Named(FlowControlLabel, s.FlowControl, kind),
                       "Linux has no DTR/DSR flow control");
    return {};
}

// The settings a driver may turn down: the rate always, parity and flow control when asked for.
std::string DeviceDependentSettings(const TPortSettings& s, TNameKind kind) {
    std::string listed = Named(BaudRateLabel, s.BaudRate, kind);
    if (s.Parity != serial::paNone) listed += ", " + Named(ParityLabel, s.Parity, kind);
    if (s.FlowControl != serial::fcNone && s.FlowControl != serial::fcDefault)
        listed += ", " + Named(FlowControlLabel, s.FlowControl, kind);
    return listed;
}

} // namespace

std::string RefusedSetting(const TPortSettings& settings, const serial::ECommError& error,
                           TNameKind kind) {
    if (!std::string_view(error.what()).starts_with(serial::SUpdateDCBErr)) return {};
    if (std::string impossible = ImpossibleSetting(settings, kind); !impossible.empty())
        return impossible;
    return "one of " + DeviceDependentSettings(settings, kind);
}

} // namespace portwell
