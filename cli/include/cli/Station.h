#pragma once
// A station run: one macro on many devices at once, each in a run of its own, and what comes of
// it: a verdict per device, a summary table, an exit status and a JUnit report.
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class TVerdict { Passed, Failed, Error, NoPort, Interrupted, NotRun };

// "passed", "failed", "error", "no port", "interrupted", "not run".
std::string_view VerdictName(TVerdict verdict);

// How one device's run ended, as that run tells the station.
struct TDeviceVerdict {
    TVerdict Verdict = TVerdict::Error;
    std::string Message;   // the reason of a Fail, an error's message
    int Line = 0;          // where the macro failed, 0 when nowhere in particular
    std::string Statement; // the statement on that line

    bool operator==(const TDeviceVerdict&) const = default;
};

// One line of text, for the descriptor a device's run reports on; the reverse gives nothing for
// a text that is not such a line.
std::string EncodeVerdict(const TDeviceVerdict& verdict);
std::optional<TDeviceVerdict> DecodeVerdict(std::string_view text);

// The text of a device's run, the oldest lines dropped beyond a budget of bytes, so that a long
// loop on many devices cannot fill the memory.
class TBoundedText {
public:
    explicit TBoundedText(size_t budget) : budget(budget) {}
    void Add(std::string_view line);
    // The lines kept, each ended by a line break, after a note of how many were dropped.
    std::string Text() const;

private:
    size_t budget, kept = 0, dropped = 0;
    std::deque<std::string> lines;
};

struct TDeviceResult {
    std::string Device; // as given
    std::string Label;  // unique among the station's devices; the lines it printed start with it
    TDeviceVerdict Verdict;
    double Seconds = 0;
    std::string Output; // what its run printed: the traffic log
    std::string Errors; // what it said on standard error
};

struct TStationResults {
    std::string Macro;     // the macro's title or file name
    std::string StartedAt; // local time, "2024-05-02T14:03:07"
    double Seconds = 0;    // from the first start to the last end
    std::vector<TDeviceResult> Devices;
};

// The devices of a list file: one name per line; blank lines and lines starting with "#" do not
// count, blanks around a name and a CR before the line break are dropped.
std::vector<std::string> ParseDeviceList(std::string_view text);

// A short, unique name per device for the start of its lines: "ttyUSB3" for /dev/ttyUSB3, the
// name under /dev/serial/by-id/ for such a link; a name given twice gets "#2", "#3", ...
std::vector<std::string> DeviceLabels(const std::vector<std::string>& devices);

// A file name made of a label: letters, digits, ".", "-" and "_" stay, every other run of bytes
// becomes one "_" ("loop://#2" becomes "loop_2").
std::string LabelFileName(std::string_view label);

// "FILE:LINE: message" for a failure on a line, the message alone elsewhere, empty for a pass.
std::string FirstFailure(const TStationResults& results, const TDeviceResult& device);

// One row per device (its label, the result, the time, the first failure) and a count by result.
std::string SummaryTable(const TStationResults& results);

// 0 when every device passed; otherwise the worst of 1 (a failure or an error) and 3 (a port that
// could not be opened); 130 once interrupted.
int StationExitStatus(const TStationResults& results, bool interrupted);

} // namespace cli
