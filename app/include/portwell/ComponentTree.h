#pragma once
// The settings file as a generic tree: components (class, name, flags), each with ordered,
// named, typed property values and the components it owns. The codec reads and writes this
// tree without knowing what any component means; the window's state is mapped onto it apart.
//
// Values are kept by meaning, not by their encoding: an integer read from one, two, four or
// eight bytes is one `int64_t`, and every text kind becomes UTF-8 `std::string`. So a tree read
// and written back reads as an equal tree, although the writer may choose other encodings.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace portwell::stream {

// The type byte that starts every value in the stream.
enum TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
};

// The low nibble of an object's flags byte.
enum TFilerFlag : uint8_t {
    ffInherited = 1,
    ffChildPos = 2,
    ffInline = 4,
};

class TValue;
struct TProperty;

struct TNull {
    bool operator==(const TNull&) const = default;
};
struct TNil {
    bool operator==(const TNil&) const = default;
};

// Reals compare by their bits, so that NaNs and signed zeros survive a round trip checkably.
struct TExtended {
    double Value = 0;
    bool operator==(const TExtended& other) const;
};
struct TSingle {
    float Value = 0;
    bool operator==(const TSingle& other) const;
};
struct TDate {
    double Days = 0;
    bool operator==(const TDate& other) const;
};
struct TCurrency {
    int64_t Scaled = 0; // the amount times 10000
    bool operator==(const TCurrency&) const = default;
};

// A name: an enumeration value, a colour, a component or an event handler (at most 255 bytes).
struct TIdent {
    std::string Name;
    bool operator==(const TIdent&) const = default;
};
struct TBinary {
    std::string Bytes;
    bool operator==(const TBinary&) const = default;
};
// Element names of a set, in stream order; none is empty.
struct TSet {
    std::vector<std::string> Elements;
    bool operator==(const TSet&) const = default;
};
// A list cannot hold a `TNull`: its zero type byte ends the list in the stream.
struct TList {
    std::vector<TValue> Items;
    bool operator==(const TList& other) const;
};
struct TCollectionItem {
    std::optional<int64_t> Order;
    std::vector<TProperty> Properties;
    bool operator==(const TCollectionItem& other) const;
};
struct TCollection {
    std::vector<TCollectionItem> Items;
    bool operator==(const TCollection&) const = default;
};

// One value of any stream type. Texts (`std::string`) are UTF-8, or bytes kept as they were
// when a file's text was neither UTF-8 nor Shift-JIS.
class TValue {
public:
    using TData = std::variant<TNull, TNil, bool, int64_t, TExtended, TSingle, TCurrency, TDate,
                               std::string, TIdent, TBinary, TSet, TList, TCollection>;

    TValue() = default;
    template <class T>
    requires(!std::same_as<std::remove_cvref_t<T>, TValue> && std::constructible_from<TData, T>)
        TValue(T&& value)
        : FData(std::forward<T>(value)) {}

    const TData& Data() const { return FData; }
    template <class T> const T* As() const { return std::get_if<T>(&FData); }
    template <class T> T* As() { return std::get_if<T>(&FData); }

    bool operator==(const TValue&) const = default;

private:
    TData FData;
};

// Nested properties have dotted names, such as "Items.Strings".
struct TProperty {
    std::string Name;
    TValue Value;
    bool operator==(const TProperty&) const = default;
};

struct TComponent {
    uint8_t Flags = 0;    // TFilerFlag bits
    int64_t ChildPos = 0; // meaningful with ffChildPos only
    std::string ClassName;
    std::string Name;
    std::vector<TProperty> Properties;
    std::vector<TComponent> Children; // the owned components, in stream order

    bool operator==(const TComponent&) const = default;

    // Property names compare without regard to ASCII letter case.
    const TValue* Property(std::string_view name) const;
    TValue* Property(std::string_view name);
    // Replaces the property's value, or appends the property when it is absent.
    void SetProperty(std::string_view name, TValue value);
    void RemoveProperty(std::string_view name);

    // The property's value when it is present and of the kind asked for, else `fallback`.
    int64_t ReadInteger(std::string_view name, int64_t fallback) const;
    bool ReadBool(std::string_view name, bool fallback) const;
    std::string ReadText(std::string_view name, const std::string& fallback) const;
    std::string ReadIdent(std::string_view name, const std::string& fallback) const;
    // A list whose items are all texts; any other value gives `fallback`.
    std::vector<std::string> ReadTextList(std::string_view name,
                                          const std::vector<std::string>& fallback) const;
};

// The first component named `name` (ASCII letter case ignored) in `root` and everything it
// owns, depth first, `root` included; nullptr when there is none.
const TComponent* FindComponent(const TComponent& root, std::string_view name);
TComponent* FindComponent(TComponent& root, std::string_view name);

// A list of texts, as "Items.Strings" and "Lines.Strings" hold them.
TList TextList(const std::vector<std::string>& texts);

} // namespace portwell::stream
