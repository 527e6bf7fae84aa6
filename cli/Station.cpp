#include "cli/Station.h"

#include "cli/TerminalText.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace cli {

namespace {

constexpr std::string_view verdictNames[] = {"passed",  "failed",      "error",
                                             "no port", "interrupted", "not run"};

// Fields of a verdict line are separated by tabs; a tab, a line break or a backslash inside one is
// written as "\t", "\n" or "\\".
std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::optional<std::vector<std::string>> Fields(std::string_view text) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c != '\\') {
            fields.back() += c;
        } else if (++i < text.size() && (text[i] == '\\' || text[i] == 't' || text[i] == 'n')) {
            fields.back() += text[i] == 't' ? '\t' : text[i] == 'n' ? '\n' : '\\';
        } else {
            return std::nullopt;
        }
    }
    return fields;
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string BaseLabel(const std::string& device) {
    for (std::string_view folder : {"/dev/serial/by-id/", "/dev/serial/by-path/", "/dev/"})
        if (device.size() > folder.size() && device.compare(0, folder.size(), folder) == 0)
            return device.substr(folder.size());
    return device;
}

// Characters, not bytes, so that a label in UTF-8 lines up as well.
size_t DisplayWidth(std::string_view text) {
    return size_t(std::count_if(text.begin(), text.end(),
                                [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

std::string PaddedTo(std::string text, size_t width) {
    const size_t shown = DisplayWidth(text);
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

} // namespace

std::string_view VerdictName(TVerdict verdict) {
    return verdictNames[size_t(verdict)];
}

std::string EncodeVerdict(const TDeviceVerdict& verdict) {
    return std::string(VerdictName(verdict.Verdict)) + '\t' + std::to_string(verdict.Line) + '\t' +
           Escaped(verdict.Message) + '\t' + Escaped(verdict.Statement) + '\n';
}

std::optional<TDeviceVerdict> DecodeVerdict(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    text.remove_suffix(1);
    const auto fields = Fields(text);
    if (!fields || fields->size() != 4) return std::nullopt;
    const auto name = std::find(std::begin(verdictNames), std::end(verdictNames), (*fields)[0]);
    if (name == std::end(verdictNames)) return std::nullopt;
    TDeviceVerdict verdict;
    verdict.Verdict = TVerdict(name - std::begin(verdictNames));
    try {
        size_t used = 0;
        verdict.Line = std::stoi((*fields)[1], &used);
        if (used != (*fields)[1].size() || verdict.Line < 0) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    verdict.Message = (*fields)[2];
    verdict.Statement = (*fields)[3];
    return verdict;
}

void TBoundedText::Add(std::string_view line) {
    lines.emplace_back(line);
    kept += line.size() + 1;
    while (kept > budget && lines.size() > 1) {
        kept -= lines.front().size() + 1;
        lines.pop_front();
        ++dropped;
    }
}

std::string TBoundedText::Text() const {
    std::string text;
    if (dropped > 0) text = "[" + std::to_string(dropped) + " earlier lines left out]\n";
    for (const std::string& line : lines)
        (text += line) += '\n';
    return text;
}

std::vector<std::string> ParseDeviceList(std::string_view text) {
    std::vector<std::string> devices;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view name = Trimmed(text.substr(0, end));
        if (!name.empty() && name.front() != '#') devices.emplace_back(name);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return devices;
}

std::vector<std::string> DeviceLabels(const std::vector<std::string>& devices) {
    std::vector<std::string> labels;
    std::map<std::string, int> seen;
    for (const std::string& device : devices) {
        std::string label = BaseLabel(device);
        // A later device may be named like an earlier one's numbered label.
        while (seen.count(label)) {
            label = BaseLabel(device) + "#" + std::to_string(++seen[BaseLabel(device)]);
        }
        seen[label] = 1;
        labels.push_back(std::move(label));
    }
    return labels;
}

std::string LabelFileName(std::string_view label) {
    std::string name;
    for (char c : label) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (kept)
            name += c;
        else if (name.empty() || name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    // "." and ".." name folders.
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) name = "device" + name;
    return name;
}

std::string FirstFailure(const TStationResults& results, const TDeviceResult& device) {
    const TDeviceVerdict& v = device.Verdict;
    if (v.Verdict == TVerdict::Passed) return {};
    if (v.Line <= 0) return v.Message;
    return results.Macro + ':' + std::to_string(v.Line) + ": " + v.Message;
}

std::string SummaryTable(const TStationResults& results) {
    const std::string deviceHeading = "DEVICE", resultHeading = "RESULT", timeHeading = "TIME";
    size_t deviceWidth = deviceHeading.size(), resultWidth = 11;
    for (const TDeviceResult& d : results.Devices)
        deviceWidth = std::max(deviceWidth, DisplayWidth(TerminalText(d.Label)));
    std::string text = PaddedTo(deviceHeading, deviceWidth + 2) +
                       PaddedTo(resultHeading, resultWidth + 2) + PaddedTo(timeHeading, 12) +
                       "FIRST FAILURE\n";
    std::map<TVerdict, int> counts;
    for (const TDeviceResult& d : results.Devices) {
        ++counts[d.Verdict.Verdict];
        std::string row =
            PaddedTo(TerminalText(d.Label), deviceWidth + 2) +
            PaddedTo(std::string(VerdictName(d.Verdict.Verdict)), resultWidth + 2) +
            PaddedTo(d.Verdict.Verdict == TVerdict::NotRun ? "" : Seconds(d.Seconds), 12) +
            TerminalText(FirstFailure(results, d));
        row.erase(row.find_last_not_of(' ') + 1);
        text += row + '\n';
    }
    std::string tally;
    for (const auto& [verdict, count] : counts)
        tally += (tally.empty() ? "" : ", ") + std::to_string(count) + " " +
                 std::string(VerdictName(verdict));
    const size_t n = results.Devices.size();
    return text + std::to_string(n) + (n == 1 ? " device: " : " devices: ") + tally + '\n';
}

int StationExitStatus(const TStationResults& results, bool interrupted) {
    if (interrupted) return 130;
    int status = 0;
    for (const TDeviceResult& d : results.Devices) {
        switch (d.Verdict.Verdict) {
        case TVerdict::Passed:
            break;
        case TVerdict::NoPort:
            status = 3;
            break;
        default:
            status = std::max(status, 1);
        }
    }
    return status;
}

} // namespace cli
