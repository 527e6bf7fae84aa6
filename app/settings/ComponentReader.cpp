#include "portwell/settings/ComponentReader.h"

#include "StreamLayout.h"
#include "portwell/settings/CodePage.h"
#include "portwell/settings/ExtendedReal.h"

#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace portwell::settings {

namespace {

using namespace layout;

constexpr size_t kMaxResourceName = 255;

std::string Plural(size_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

bool IsInteger(uint8_t type) {
    return type == vaInt8 || type == vaInt16 || type == vaInt32 || type == vaInt64;
}

size_t IntegerSize(uint8_t type) {
    switch (type) {
    case vaInt8:
        return 1;
    case vaInt16:
        return 2;
    case vaInt32:
        return 4;
    default:
        return 8;
    }
}

// Text of the code page in use where the file was written: UTF-8 here, Shift-JIS in files from
// Japanese Windows. Bytes that are neither are kept as they are.
std::string CodePageText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return ShiftJisToUtf8(bytes).value_or(std::string(bytes));
}

// Descriptions of what is read are plain literals, so that reading costs no allocation; the name
// of the property being read is added only to a message.
class TStreamReader {
public:
    explicit TStreamReader(std::string_view file) : data(file), end(file.size()) {}

    TComponent ReadFile() {
        ReadResourceHeader();
        ReadSignature();
        TComponent root = ReadObject(1);
        if (pos != end) Fail(Plural(end - pos, "byte") + " after the end of the root object", pos);
        return root;
    }

private:
    std::string_view data;
    size_t pos = 0;
    size_t end;
    size_t nodes = 0;
    std::string_view property; // the property whose value is being read, for messages

    [[noreturn]] void Fail(const std::string& what, size_t at) const {
        if (property.empty()) throw ESettingsFormat(what, at);
        throw ESettingsFormat(what + " in the property \"" + std::string(property) + "\"", at);
    }

    void Need(size_t n, const char* what) const {
        if (end - pos < n)
            Fail(std::string("the data ends inside ") + what + " (" + Plural(n, "byte") +
                     " needed, " + std::to_string(end - pos) + " left)",
                 pos);
    }

    uint8_t Peek(const char* what) const {
        Need(1, what);
        return uint8_t(data[pos]);
    }

    uint64_t LittleEndian(size_t n, const char* what) {
        Need(n, what);
        uint64_t value = 0;
        for (size_t i = 0; i < n; ++i)
            value |= uint64_t(uint8_t(data[pos + i])) << (8 * i);
        pos += n;
        return value;
    }

    uint8_t Byte(const char* what) { return uint8_t(LittleEndian(1, what)); }

    std::string_view Take(size_t n, const char* what) {
        Need(n, what);
        const std::string_view bytes = data.substr(pos, n);
        pos += n;
        return bytes;
    }

    std::string_view ShortString(const char* what) { return Take(Byte(what), what); }

    // A 32-bit count of `unitSize`-byte units that must fit in what is left.
    size_t Length32(size_t unitSize, const char* what) {
        const size_t at = pos;
        const uint64_t count = LittleEndian(4, what);
        if (count > (end - pos) / unitSize)
            Fail(std::string("the length of ") + what + " (" + std::to_string(count) +
                     ") points past the end of the data (" + Plural(end - pos, "byte") + " left)",
                 at);
        return size_t(count);
    }

    void Enter(int depth, size_t at) const {
        if (depth > kMaxNestingDepth)
            Fail("objects, lists or collections nested deeper than " +
                     std::to_string(kMaxNestingDepth) + " levels",
                 at);
    }

    void CountNode(size_t at) {
        if (++nodes > kMaxStreamNodes)
            Fail("more than " + std::to_string(kMaxStreamNodes) + " objects, properties and values",
                 at);
    }

    void ReadResourceHeader() {
        if (Byte("the resource header") != kResourceMarker)
            Fail("not a settings file: the resource header's first byte is not 0xFF", 0);
        const size_t typeAt = pos;
        const uint64_t type = LittleEndian(2, "the resource type");
        if (type != kRawDataResource)
            Fail("the resource type is " + std::to_string(type) + ", not 10 (raw data)", typeAt);
        ReadResourceName();
        LittleEndian(2, "the resource's memory flags"); // how Windows held it; of no use here
        ReadDataLength();
    }

    void ReadResourceName() {
        const size_t at = pos;
        if (Peek("the resource name") == kResourceMarker)
            Fail("the resource is named by a number, not by a name", at);
        const size_t zero = data.find('\0', at);
        if (zero == at) Fail("the resource name is empty", at);
        if (zero == std::string_view::npos || zero - at > kMaxResourceName)
            Fail("the resource name has no ending zero byte within " +
                     Plural(kMaxResourceName, "byte"),
                 at);
        pos = zero + 1;
    }

    void ReadDataLength() {
        const size_t at = pos;
        const uint64_t length = LittleEndian(kLengthField, "the data length");
        const size_t rest = end - pos;
        if (length > kMaxSettingsFileSize)
            Fail("the header announces " + Plural(length, "byte") + " of data, more than the " +
                     std::to_string(kMaxSettingsFileSize) + " a settings file may hold",
                 at);
        if (length > rest)
            Fail("the header announces " + Plural(length, "byte") + " of data, but only " +
                     std::to_string(rest) + " follow",
                 at);
        if (length < rest)
            Fail(Plural(rest - length, "byte") + " follow the data that the header announces",
                 pos + length);
    }

    void ReadSignature() {
        const size_t at = pos;
        if (Take(kSignature.size(), "the signature \"TPF0\"") != kSignature)
            Fail("the component stream does not start with the signature \"TPF0\"", at);
    }

    TComponent ReadObject(int depth) {
        const size_t at = pos;
        Enter(depth, at);
        CountNode(at);
        TComponent object;
        if ((Peek("an object") & kFlagsMark) == kFlagsMark) {
            object.Flags = Byte("an object's flags") & 0x0F;
            if (object.Flags & ffChildPos) object.ChildPos = ReadInteger("the child position");
        }
        const size_t classAt = pos;
        object.ClassName = ShortString("a class name");
        if (object.ClassName.empty()) Fail("an object without a class name", classAt);
        object.Name = ShortString("an object name");
        object.Properties = ReadProperties(depth);
        while (Peek("the list of owned objects") != 0)
            object.Children.push_back(ReadObject(depth + 1));
        ++pos;
        return object;
    }

    std::vector<TProperty> ReadProperties(int depth) {
        std::vector<TProperty> properties;
        const std::string_view outer = property;
        for (;;) {
            const size_t at = pos;
            std::string name(ShortString("a property name"));
            if (name.empty()) break;
            CountNode(at);
            property = name;
            TValue value = ReadValue(depth);
            property = outer;
            properties.push_back({std::move(name), std::move(value)});
        }
        return properties;
    }

    int64_t ReadInteger(const char* what) {
        const size_t at = pos;
        const uint8_t type = Byte(what);
        if (!IsInteger(type))
            Fail(std::string(what) + " is not an integer (value type " + std::to_string(type) + ")",
                 at);
        return IntegerData(type, what);
    }

    int64_t IntegerData(uint8_t type, const char* what) {
        const size_t size = IntegerSize(type);
        const uint64_t raw = LittleEndian(size, what);
        const int unused = int(64 - 8 * size);
        return int64_t(raw << unused) >> unused; // sign-extend
    }

    TValue ReadValue(int depth) {
        const size_t at = pos;
        CountNode(at);
        const uint8_t type = Byte("a value");
        switch (type) {
        case vaNull:
            return TValue::Null();
        case vaNil:
            return TValue::Nil();
        case vaFalse:
            return TValue::Boolean(false);
        case vaTrue:
            return TValue::Boolean(true);
        case vaInt8:
        case vaInt16:
        case vaInt32:
        case vaInt64:
            return TValue::Integer(IntegerData(type, "an integer"));
        case vaExtended:
            return TValue::Extended(ReadExtended());
        case vaSingle:
            return TValue::Single(std::bit_cast<float>(uint32_t(LittleEndian(4, "a single"))));
        case vaDate:
            return TValue::Date(std::bit_cast<double>(LittleEndian(8, "a date")));
        case vaCurrency:
            return TValue::Currency(int64_t(LittleEndian(8, "a currency")));
        case vaString:
            return TValue::Text(CodePageText(ShortString("a string")));
        case vaLString:
            return TValue::Text(CodePageText(LongBytes("a long string")));
        case vaUTF8String:
            return TValue::Text(std::string(LongBytes("a UTF-8 string")));
        case vaWString:
            return TValue::Text(ReadWideString());
        case vaIdent:
            return TValue::Ident(std::string(ShortString("an identifier")));
        case vaBinary:
            return TValue::Binary(std::string(LongBytes("binary data")));
        case vaSet:
            return TValue::Set(ReadSetNames());
        case vaList:
            return TValue::List(ReadList(depth + 1, at));
        case vaCollection:
            return TValue::Collection(ReadCollection(depth + 1));
        default:
            Fail("unknown value type " + std::to_string(type), at);
        }
    }

    double ReadExtended() {
        TExtendedBytes bytes;
        const std::string_view raw = Take(bytes.size(), "an extended real");
        std::copy(raw.begin(), raw.end(), bytes.begin());
        return ExtendedToDouble(bytes);
    }

    std::string_view LongBytes(const char* what) { return Take(Length32(1, what), what); }

    std::string ReadWideString() {
        const size_t units = Length32(2, "a wide string");
        return Utf16LeToUtf8(Take(2 * units, "a wide string"));
    }

    std::vector<std::string> ReadSetNames() {
        std::vector<std::string> names;
        for (;;) {
            const size_t at = pos;
            std::string name(ShortString("the name of a set element"));
            if (name.empty()) return names;
            CountNode(at);
            names.push_back(std::move(name));
        }
    }

    std::vector<TValue> ReadList(int depth, size_t at) {
        Enter(depth, at);
        std::vector<TValue> elements;
        while (Peek("a list") != vaNull)
            elements.push_back(ReadValue(depth));
        ++pos;
        return elements;
    }

    std::vector<TCollectionItem> ReadCollection(int depth) {
        std::vector<TCollectionItem> items;
        for (;;) {
            const size_t at = pos;
            const uint8_t type = Byte("a collection");
            if (type == vaNull) return items;
            Enter(depth, at);
            CountNode(at);
            TCollectionItem item;
            if (IsInteger(type)) {
                item.Order = IntegerData(type, "the order of a collection item");
                ExpectListStart();
            } else if (type != vaList) {
                Fail("a collection item starts with value type " + std::to_string(type) +
                         ", not with a list",
                     at);
            }
            item.Properties = ReadProperties(depth);
            items.push_back(std::move(item));
        }
    }

    void ExpectListStart() {
        const size_t at = pos;
        if (Byte("a collection item") != vaList)
            Fail("the order of a collection item is not followed by a list", at);
    }
};

[[noreturn]] void ThrowErrno(const std::filesystem::path& path) {
    throw std::system_error(errno, std::generic_category(), path.string());
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd(fd) {}
    ~TFileDescriptor() {
        if (fd >= 0) close(fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

[[noreturn]] void FileTooLarge(const std::string& size) {
    throw ESettingsFormat("the file is " + size + ", more than the " +
                              std::to_string(kMaxSettingsFileSize) +
                              " bytes a settings file may hold",
                          kMaxSettingsFileSize);
}

// Reads at most the limit plus one byte, so that a device or a pipe without end is refused too.
std::string ReadCapped(int fd, const std::filesystem::path& path) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ThrowErrno(path);
        if (n == 0) return bytes;
        bytes.append(buffer, size_t(n));
        if (bytes.size() > kMaxSettingsFileSize) FileTooLarge("longer");
    }
}

} // namespace

TComponent ReadComponentStream(std::string_view file) {
    return TStreamReader(file).ReadFile();
}

TComponent ReadComponentFile(const std::filesystem::path& path) {
    // Opened without waiting for a writer, in case it is a named pipe that has none.
    const TFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) ThrowErrno(path);
    struct stat status;
    if (fstat(file.Get(), &status) != 0) ThrowErrno(path);
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode))
        throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                                path.string() + ": not a file");
    if (uint64_t(status.st_size) > kMaxSettingsFileSize)
        FileTooLarge(std::to_string(status.st_size) + " bytes long");
    if (fcntl(file.Get(), F_SETFL, 0) != 0) ThrowErrno(path);
    return ReadComponentStream(ReadCapped(file.Get(), path));
}

} // namespace portwell::settings
