#pragma once
// The settings file's binary component stream, as a generic tree of objects with named, typed
// values, with the type bytes and limits of the stream that holds it. Knows nothing of the window:
// which component and property means what is the business of whoever maps its state onto the tree.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace portwell::settings {

// The type byte in front of every value in the stream.
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

// Bits of an object's flags byte.
enum TFilerFlag : uint8_t {
    ffInherited = 1,
    ffChildPos = 2, // the object carries a child position
    ffInline = 4,
};

// Limits that keep a damaged or hostile file from exhausting memory or the stack. The writer
// keeps to them too, so that everything it writes can be read back.
inline constexpr size_t kMaxSettingsFileSize = 64 * 1024 * 1024;
inline constexpr int kMaxNestingDepth = 64;        // objects, lists and collection items, nested
inline constexpr size_t kMaxStreamNodes = 1 << 20; // objects, properties, values and names

// What a value is, independent of how it is encoded: the integer sizes (vaInt8 to vaInt64) are
// all Integer, and the text kinds (vaString, vaLString, vaWString, vaUTF8String) are all Text,
// held as UTF-8. The writer picks the encoding.
enum class TValueKind : uint8_t {
    Null,
    List,
    Integer,
    Extended,
    Text,
    Ident,
    Boolean,
    Binary,
    Set,
    Nil,
    Collection,
    Single,
    Currency,
    Date,
};

struct TProperty;
struct TCollectionItem;

struct TValue {
    TValueKind Kind = TValueKind::Null;
    int64_t Int = 0;                    // Integer, Boolean (0 or 1), Currency (units of 1/10000)
    double Real = 0;                    // Extended, Single, Date
    std::string Bytes;                  // Text (UTF-8), Ident, Binary
    std::vector<TValue> Elements;       // List
    std::vector<std::string> Names;     // Set
    std::vector<TCollectionItem> Items; // Collection

    static TValue Null();
    static TValue Nil();
    static TValue Integer(int64_t value);
    static TValue Boolean(bool value);
    static TValue Text(std::string utf8);
    static TValue Ident(std::string name);
    static TValue Binary(std::string bytes);
    static TValue Extended(double value);
    static TValue Single(float value);
    static TValue Date(double value);
    static TValue Currency(int64_t tenThousandths);
    static TValue List(std::vector<TValue> elements);
    static TValue TextList(const std::vector<std::string>& texts);
    static TValue Set(std::vector<std::string> names);
    static TValue Collection(std::vector<TCollectionItem> items);

    // Reals compare by their bits, so that NaN equals itself and 0 differs from -0.
    bool operator==(const TValue& other) const;
};

struct TProperty {
    std::string Name; // nested properties are dotted: "Font.Name", "Items.Strings"
    TValue Value;
    bool operator==(const TProperty&) const = default;
};

struct TCollectionItem {
    std::optional<int64_t> Order;
    std::vector<TProperty> Properties;
    bool operator==(const TCollectionItem&) const = default;
};

// One object of the stream with the objects it owns. Names compare without regard to the case of
// ASCII letters, as the streaming toolkit does.
struct TComponent {
    uint8_t Flags = 0;    // TFilerFlag bits
    int64_t ChildPos = 0; // kept only when Flags holds ffChildPos
    std::string ClassName;
    std::string Name;
    std::vector<TProperty> Properties;
    std::vector<TComponent> Children;

    bool operator==(const TComponent&) const = default;

    // This object or the first one below it, depth first, with that name; null if none.
    const TComponent* FindComponent(std::string_view name) const;
    TComponent* FindComponent(std::string_view name);

    const TValue* FindProperty(std::string_view name) const;
    // Replaces the value of the property of that name, or appends the property.
    void SetProperty(std::string_view name, TValue value);

    // A property's value, or the fallback when the property is absent or of another kind.
    int64_t ReadInteger(std::string_view name, int64_t fallback) const;
    bool ReadBoolean(std::string_view name, bool fallback) const;
    std::string ReadText(std::string_view name, const std::string& fallback) const;
    std::string ReadIdent(std::string_view name, const std::string& fallback) const;
    // A list whose elements are all texts; anything else gives the fallback.
    std::vector<std::string> ReadTextList(std::string_view name,
                                          const std::vector<std::string>& fallback) const;
};

// A file that is not in this layout, or a tree that cannot be written in it. The message says
// what is wrong and at which byte offset of the file.
class ESettingsFormat : public std::runtime_error {
public:
    ESettingsFormat(const std::string& what, size_t offset);
    size_t Offset() const { return offset; }

private:
    size_t offset;
};

} // namespace portwell::settings
