#include "cli/JUnitReport.h"

#include "portwell/Utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

// The length of the UTF-8 sequence at the start of `text` when XML may carry it, else 0: no
// control character but tab and line breaks, no U+FFFE or U+FFFF (EF BF BE, EF BF BF).
size_t XmlCharLength(std::string_view text) {
    const size_t length = portwell::Utf8SequenceLength(text);
    if (length == 1) {
        const char c = text[0];
        return uint8_t(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    }
    if (length == 3 && text.starts_with("\xEF\xBF") && uint8_t(text[2]) >= 0xBE) return 0;
    return length;
}

std::string Attribute(std::string_view name, std::string_view value) {
    return " " + std::string(name) + "=\"" + XmlText(value, true) + "\"";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

struct TCounts {
    size_t failures = 0, errors = 0, skipped = 0;
};

TCounts Count(const TStationResults& results) {
    TCounts counts;
    for (const TDeviceResult& d : results.Devices) {
        switch (d.Verdict.Verdict) {
        case TVerdict::Passed:
            break;
        case TVerdict::Failed:
            ++counts.failures;
            break;
        case TVerdict::NotRun:
            ++counts.skipped;
            break;
        default:
            ++counts.errors;
        }
    }
    return counts;
}

std::string Totals(const TStationResults& results) {
    const TCounts counts = Count(results);
    return Attribute("tests", std::to_string(results.Devices.size())) +
           Attribute("failures", std::to_string(counts.failures)) +
           Attribute("errors", std::to_string(counts.errors)) +
           Attribute("skipped", std::to_string(counts.skipped)) +
           Attribute("time", Seconds(results.Seconds));
}

// The failure or error element: the reason as its message, where it happened as its text.
std::string Outcome(const TStationResults& results, const TDeviceResult& device) {
    const TDeviceVerdict& v = device.Verdict;
    std::string location;
    if (v.Line > 0) location = results.Macro + ":" + std::to_string(v.Line) + ": " + v.Statement;
    switch (v.Verdict) {
    case TVerdict::Passed:
        return {};
    case TVerdict::NotRun:
        return "      <skipped" + Attribute("message", "interrupted before it started") + "/>\n";
    case TVerdict::Failed:
        return "      <failure" + Attribute("message", v.Message) + Attribute("type", "Fail") +
               ">" + XmlText(location) + "</failure>\n";
    default:
        return "      <error" +
               Attribute("message", v.Message.empty() ? VerdictName(v.Verdict) : v.Message) +
               Attribute("type", VerdictName(v.Verdict) == "error" ? "script error"
                                                                   : VerdictName(v.Verdict)) +
               ">" + XmlText(location) + "</error>\n";
    }
}

std::string TestCase(const TStationResults& results, const TDeviceResult& device) {
    std::string text = "    <testcase" + Attribute("classname", results.Macro) +
                       Attribute("name", results.Macro + " [" + device.Label + "]") +
                       Attribute("time", Seconds(device.Seconds)) + ">\n";
    text += Outcome(results, device);
    if (!device.Output.empty())
        text += "      <system-out>" + XmlText(device.Output) + "</system-out>\n";
    if (!device.Errors.empty())
        text += "      <system-err>" + XmlText(device.Errors) + "</system-err>\n";
    return text + "    </testcase>\n";
}

std::string Reason() {
    return std::strerror(errno);
}

} // namespace

std::string XmlText(std::string_view text, bool attribute) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    while (!text.empty()) {
        const size_t length = XmlCharLength(text);
        const char c = text[0];
        if (length == 0) {
            out += {'\\', 'x', digits[uint8_t(c) >> 4], digits[uint8_t(c) & 0xF]};
            text.remove_prefix(1);
            continue;
        }
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (attribute && c == '"')
            out += "&quot;";
        // Kept as they are, not turned into blanks as attribute values are.
        else if (attribute && (c == '\t' || c == '\n' || c == '\r'))
            out += c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
        else if (c == '\r')
            out += "&#13;";
        else
            out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

std::string JUnitXml(const TStationResults& results, const std::string& hostName) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuites" + Attribute("name", "portwell") + Totals(results) + ">\n";
    xml += "  <testsuite" + Attribute("name", results.Macro) + Totals(results) +
           Attribute("timestamp", results.StartedAt) + Attribute("hostname", hostName) + ">\n";
    for (const TDeviceResult& device : results.Devices)
        xml += TestCase(results, device);
    return xml + "  </testsuite>\n</testsuites>\n";
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) throw std::runtime_error("cannot write '" + path + "': " + Reason());
    size_t done = 0;
    bool written = true;
    while (written && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += size_t(n);
    }
    // mkstemp makes the file private; the report gets the mode an ordinary new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    written = written && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
    const std::string reason = Reason();
    if (::close(fd) != 0) written = false;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return;
    const std::string why = written ? Reason() : reason;
    ::unlink(temporary.c_str());
    throw std::runtime_error("cannot write '" + path + "': " + why);
}

} // namespace cli
