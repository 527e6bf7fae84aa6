#pragma once
// Builds component stream files byte by byte, from the layout alone, for the tests.
#include <cstdint>
#include <string>
#include <string_view>

namespace portwell::settings::test {

class TStreamBytes {
public:
    TStreamBytes& Byte(uint8_t b) {
        bytes += char(b);
        return *this;
    }
    TStreamBytes& LittleEndian(uint64_t value, int n) {
        for (int i = 0; i < n; ++i)
            Byte(uint8_t(value >> (8 * i)));
        return *this;
    }
    TStreamBytes& Raw(std::string_view raw) {
        bytes += raw;
        return *this;
    }
    // A length byte and the bytes.
    TStreamBytes& Short(std::string_view s) { return Byte(uint8_t(s.size())).Raw(s); }
    TStreamBytes& Long(std::string_view s) { return LittleEndian(s.size(), 4).Raw(s); }

    // The class and object name of an object without flags.
    TStreamBytes& Object(std::string_view className, std::string_view name) {
        return Short(className).Short(name);
    }
    const std::string& Bytes() const { return bytes; }

private:
    std::string bytes;
};

// The resource header for `stream`, which starts with "TPF0".
inline std::string Header(size_t length, std::string_view name = "TFORM1") {
    TStreamBytes header;
    header.Byte(0xFF).LittleEndian(10, 2).Raw(name).Byte(0).LittleEndian(0x1030, 2);
    header.LittleEndian(length, 4);
    return header.Bytes();
}

inline std::string FileOf(std::string_view stream) {
    return Header(stream.size()) + std::string(stream);
}

} // namespace portwell::settings::test
