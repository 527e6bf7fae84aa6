#pragma once
// What the user types into the send bar, turned into the bytes that go to the device, and the
// history of what was sent.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace portwell {

// Text takes C-style escapes (\r \n \t \xNN \\); Hex takes what ComWriteHex takes.
enum class TSendMode { Text, Hex };
enum class TLineEnd { None, CR, LF, CRLF };

inline constexpr TSendMode DefaultSendMode = TSendMode::Text;
inline constexpr TLineEnd DefaultLineEnd = TLineEnd::CR;

std::string_view LineEndBytes(TLineEnd end);

// The bytes to send, or why there are none.
struct TSendBytes {
    std::string Bytes;
    std::string Error; // empty when the text was good
};

// The typed text in the given mode, followed by the line end. In Hex mode only hexadecimal digits,
// blanks and the separators , ; : - are allowed; the digits are read as ComWriteHex reads them.
TSendBytes BytesToSend(std::string_view text, TSendMode mode, TLineEnd end);

// The last texts sent, the newest last, and the place of an Up/Down walk through them.
class TSendHistory {
public:
    static constexpr size_t MaxEntries = 50;

    TSendHistory() = default;
    // Keeps the newest MaxEntries of `entries` (oldest first), without empty ones.
    explicit TSendHistory(const std::vector<std::string>& entries);

    const std::vector<std::string>& Entries() const { return entries; }

    // Keeps a text that was sent: a repeated text moves to the end. Ends the walk.
    void Add(const std::string& text);
    // Up: the entry before the one shown; `typed` is what the line holds, given back by Newer()
    // at the end of the walk. Nothing when there is no older entry.
    std::optional<std::string> Older(const std::string& typed);
    // Down: the entry after the one shown, and after the newest, the text that was being typed.
    std::optional<std::string> Newer();

private:
    std::vector<std::string> entries;
    size_t shown = 0; // entries.size() while no entry is shown
    std::string draft;
};

} // namespace portwell
