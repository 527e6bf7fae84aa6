#include "portwell/settings/ComponentWriter.h"

#include "StreamLayout.h"
#include "portwell/settings/ExtendedReal.h"

#include <bit>
#include <limits>

namespace portwell::settings {

namespace {

using namespace layout;

bool HasNonAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return true;
    return false;
}

template <typename T> bool Fits(int64_t value) {
    return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

// The resource is named after the root's class in upper case; a class name that cannot stand
// there gives way to the usual one.
std::string ResourceName(const std::string& className) {
    std::string name = className;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    const bool usable = name.find('\0') == std::string::npos && uint8_t(name[0]) != kResourceMarker;
    return usable ? name : "TFORM1";
}

// Mirrors the reader step by step, with the same limits, so that what it writes reads back.
class TStreamWriter {
public:
    std::string WriteFile(const TComponent& root) {
        if (root.ClassName.empty()) Fail("cannot write an object without a class name");
        Byte(kResourceMarker);
        LittleEndian(kRawDataResource, 2);
        Append(ResourceName(root.ClassName));
        Byte(0);
        LittleEndian(kMemoryFlags, 2);
        const size_t lengthAt = out.size();
        LittleEndian(0, kLengthField);
        Append(kSignature);
        WriteObject(root, 1);
        const size_t length = out.size() - lengthAt - kLengthField;
        for (size_t i = 0; i < kLengthField; ++i)
            out[lengthAt + i] = char(length >> (8 * i));
        return std::move(out);
    }

private:
    std::string out;
    size_t nodes = 0;

    [[noreturn]] void Fail(const std::string& what) const {
        throw ESettingsFormat(what, out.size());
    }

    void Reserve(size_t n) {
        if (n > kMaxSettingsFileSize - out.size())
            Fail("cannot write more than the " + std::to_string(kMaxSettingsFileSize) +
                 " bytes a settings file may hold");
    }

    void Append(std::string_view bytes) {
        Reserve(bytes.size());
        out.append(bytes);
    }

    void Byte(uint8_t b) {
        Reserve(1);
        out += char(b);
    }

    void LittleEndian(uint64_t value, size_t n) {
        Reserve(n);
        for (size_t i = 0; i < n; ++i)
            out += char(value >> (8 * i));
    }

    void Enter(int depth) const {
        if (depth > kMaxNestingDepth)
            Fail("cannot write objects, lists or collections nested deeper than " +
                 std::to_string(kMaxNestingDepth) + " levels");
    }

    void CountNode() {
        if (++nodes > kMaxStreamNodes)
            Fail("cannot write more than " + std::to_string(kMaxStreamNodes) +
                 " objects, properties and values");
    }

    void ShortString(std::string_view s, const char* what) {
        if (s.size() > kMaxShortString)
            Fail(std::string("cannot write ") + what + " of " + std::to_string(s.size()) +
                 " bytes; at most 255 fit");
        Byte(uint8_t(s.size()));
        Append(s);
    }

    void NonEmptyShortString(std::string_view s, const char* what) {
        if (s.empty()) Fail(std::string("cannot write an empty ") + what + ", which ends a list");
        ShortString(s, what);
    }

    void LongString(uint8_t type, std::string_view s) {
        Byte(type);
        Reserve(kLengthField + s.size());
        LittleEndian(s.size(), kLengthField);
        Append(s);
    }

    void Integer(int64_t value) {
        if (Fits<int8_t>(value)) {
            Byte(vaInt8);
            LittleEndian(uint64_t(value), 1);
        } else if (Fits<int16_t>(value)) {
            Byte(vaInt16);
            LittleEndian(uint64_t(value), 2);
        } else if (Fits<int32_t>(value)) {
            Byte(vaInt32);
            LittleEndian(uint64_t(value), 4);
        } else {
            Byte(vaInt64);
            LittleEndian(uint64_t(value), 8);
        }
    }

    // Texts are UTF-8, the code page in use, so any byte beyond ASCII calls for vaUTF8String.
    void Text(std::string_view text) {
        if (HasNonAscii(text)) {
            LongString(vaUTF8String, text);
        } else if (text.size() <= kMaxShortString) {
            Byte(vaString);
            ShortString(text, "a string");
        } else {
            LongString(vaLString, text);
        }
    }

    void WriteObject(const TComponent& object, int depth) {
        Enter(depth);
        CountNode();
        if (object.Flags & kFlagsMark) Fail("cannot write flags beyond the low four bits");
        // A class name of 240 bytes or more would pass for a flags byte without one in front.
        if (object.Flags != 0 || object.ClassName.size() >= kFlagsMark) {
            Byte(kFlagsMark | object.Flags);
            if (object.Flags & ffChildPos) Integer(object.ChildPos);
        }
        if (object.ClassName.empty()) Fail("cannot write an object without a class name");
        ShortString(object.ClassName, "a class name");
        ShortString(object.Name, "an object name");
        WriteProperties(object.Properties, depth);
        for (const TComponent& child : object.Children)
            WriteObject(child, depth + 1);
        Byte(0);
    }

    void WriteProperties(const std::vector<TProperty>& properties, int depth) {
        for (const TProperty& property : properties) {
            NonEmptyShortString(property.Name, "property name");
            CountNode();
            WriteValue(property.Value, depth);
        }
        Byte(0);
    }

    void WriteValue(const TValue& value, int depth) {
        CountNode();
        switch (value.Kind) {
        case TValueKind::Null:
            return Byte(vaNull);
        case TValueKind::Nil:
            return Byte(vaNil);
        case TValueKind::Boolean:
            return Byte(value.Int ? vaTrue : vaFalse);
        case TValueKind::Integer:
            return Integer(value.Int);
        case TValueKind::Extended:
            return WriteExtended(value.Real);
        case TValueKind::Single:
            return WriteSingle(value.Real);
        case TValueKind::Date:
            return WriteFixed(vaDate, std::bit_cast<uint64_t>(value.Real), 8);
        case TValueKind::Currency:
            return WriteFixed(vaCurrency, uint64_t(value.Int), 8);
        case TValueKind::Text:
            return Text(value.Bytes);
        case TValueKind::Ident:
            Byte(vaIdent);
            return ShortString(value.Bytes, "an identifier");
        case TValueKind::Binary:
            return LongString(vaBinary, value.Bytes);
        case TValueKind::Set:
            return WriteSet(value.Names);
        case TValueKind::List:
            return WriteList(value.Elements, depth + 1);
        case TValueKind::Collection:
            return WriteCollection(value.Items, depth + 1);
        }
        Fail("cannot write a value of unknown kind " + std::to_string(int(value.Kind)));
    }

    void WriteFixed(uint8_t type, uint64_t bits, size_t n) {
        Byte(type);
        LittleEndian(bits, n);
    }

    void WriteSingle(double value) {
        WriteFixed(vaSingle, std::bit_cast<uint32_t>(float(value)), 4);
    }

    void WriteExtended(double value) {
        Byte(vaExtended);
        const TExtendedBytes bytes = DoubleToExtended(value);
        Append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    void WriteSet(const std::vector<std::string>& names) {
        Byte(vaSet);
        for (const std::string& name : names) {
            NonEmptyShortString(name, "set element name");
            CountNode();
        }
        Byte(0);
    }

    void WriteList(const std::vector<TValue>& elements, int depth) {
        Enter(depth);
        Byte(vaList);
        for (const TValue& element : elements) {
            if (element.Kind == TValueKind::Null)
                Fail("cannot write a Null element in a list, which it would end");
            WriteValue(element, depth);
        }
        Byte(vaNull);
    }

    void WriteCollection(const std::vector<TCollectionItem>& items, int depth) {
        Byte(vaCollection);
        for (const TCollectionItem& item : items) {
            Enter(depth);
            CountNode();
            if (item.Order) Integer(*item.Order);
            Byte(vaList);
            WriteProperties(item.Properties, depth);
        }
        Byte(vaNull);
    }
};

} // namespace

std::string WriteComponentStream(const TComponent& root) {
    return TStreamWriter().WriteFile(root);
}

} // namespace portwell::settings
