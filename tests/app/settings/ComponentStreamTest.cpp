#include "StreamBytes.h"
#include "portwell/settings/ComponentReader.h"
#include "portwell/settings/ComponentWriter.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace portwell::settings;
using namespace portwell::settings::test;
using namespace std::string_literals;

namespace {

TProperty Prop(std::string name, TValue value) {
    return {std::move(name), std::move(value)};
}

TComponent Form(std::vector<TProperty> properties = {}, std::vector<TComponent> children = {}) {
    return {0, 0, "TForm1", "Form1", std::move(properties), std::move(children)};
}

// "Caption" with the UTF-16 units of "ポート" and an emoji as a surrogate pair.
void WideCaption(TStreamBytes& s) {
    s.Short("Caption").Byte(vaWString).LittleEndian(5, 4);
    for (uint16_t unit : {0x30DD, 0x30FC, 0x30C8, 0xD83D, 0xDE00})
        s.LittleEndian(unit, 2);
}

std::string HandBuiltFile() {
    TStreamBytes s;
    s.Raw("TPF0").Object("TForm1", "Form1");
    s.Short("Left").Byte(vaInt16).LittleEndian(260, 2);
    WideCaption(s);
    s.Short("Log").Byte(vaLString).Long(std::string(300, 'a'));
    s.Short("Title").Byte(vaString).Short("\x83\x65\x83\x58\x83\x67"); // Shift-JIS
    s.Short("Raw").Byte(vaString).Short("\x81\x20"); // neither UTF-8 nor Shift-JIS
    s.Short("Anchors").Byte(vaSet).Short("akLeft").Short("akTop").Byte(0);
    s.Short("Icon").Byte(vaBinary).Long(std::string("\x00\x01\xFF", 3));
    s.Short("Ratio").Byte(vaExtended).LittleEndian(0xC000000000000000, 8).LittleEndian(0x3FFF, 2);
    s.Short("Columns").Byte(vaCollection);
    s.Byte(vaList).Short("Width").Byte(vaInt8).Byte(5).Short("Caption").Byte(vaString).Short("A");
    s.Byte(0);
    s.Byte(vaInt8).Byte(1).Byte(vaList).Short("Width").Byte(vaInt32).LittleEndian(70000, 4).Byte(0);
    s.Byte(0);
    s.Short("Font.Name").Byte(vaUTF8String).Long("ＭＳ Ｐゴシック");
    s.Byte(0);
    // A group box with a child position, holding the macro list.
    s.Byte(0xF0 | ffInherited | ffChildPos).Byte(vaInt8).Byte(2).Object("TGroupBox", "GroupBox1");
    s.Byte(0);
    s.Object("TComboBox", "ComboBox7");
    s.Short("Items.Strings").Byte(vaList).Byte(vaString).Short("(New)");
    s.Byte(vaLString).Long("Test=Print('a');\r\n").Byte(0);
    s.Short("ItemIndex").Byte(vaInt8).Byte(1).Byte(0).Byte(0);
    s.Byte(0);
    // A component no Portwell version knows.
    s.Object("TFancyWidget", "Widget1");
    s.Short("Sparkle").Byte(vaIdent).Short("clBlue");
    s.Short("Glow").Byte(vaSingle).LittleEndian(0x3F000000, 4);
    s.Short("When").Byte(vaDate).LittleEndian(std::bit_cast<uint64_t>(45000.25), 8);
    s.Short("Price").Byte(vaCurrency).LittleEndian(123456, 8);
    s.Short("Nothing").Byte(vaNil);
    s.Short("Enabled").Byte(vaFalse);
    s.Short("Visible").Byte(vaTrue);
    s.Short("Big").Byte(vaInt64).LittleEndian(uint64_t(1) << 40, 8);
    s.Short("Empty").Byte(vaNull);
    s.Byte(0).Byte(0);
    s.Byte(0);
    return FileOf(s.Bytes());
}

TComponent HandBuiltTree() {
    TComponent comboBox{0,
                        0,
                        "TComboBox",
                        "ComboBox7",
                        {Prop("Items.Strings", TValue::TextList({"(New)", "Test=Print('a');\r\n"})),
                         Prop("ItemIndex", TValue::Integer(1))},
                        {}};
    TComponent groupBox{ffInherited | ffChildPos, 2, "TGroupBox", "GroupBox1", {}, {comboBox}};
    TComponent widget{
        0,
        0,
        "TFancyWidget",
        "Widget1",
        {Prop("Sparkle", TValue::Ident("clBlue")), Prop("Glow", TValue::Single(0.5f)),
         Prop("When", TValue::Date(45000.25)), Prop("Price", TValue::Currency(123456)),
         Prop("Nothing", TValue::Nil()), Prop("Enabled", TValue::Boolean(false)),
         Prop("Visible", TValue::Boolean(true)), Prop("Big", TValue::Integer(int64_t(1) << 40)),
         Prop("Empty", TValue::Null())},
        {}};
    const TValue columns = TValue::Collection(
        {{std::nullopt, {Prop("Width", TValue::Integer(5)), Prop("Caption", TValue::Text("A"))}},
         {1, {Prop("Width", TValue::Integer(70000))}}});
    return Form({Prop("Left", TValue::Integer(260)), Prop("Caption", TValue::Text("ポート😀")),
                 Prop("Log", TValue::Text(std::string(300, 'a'))),
                 Prop("Title", TValue::Text("テスト")), Prop("Raw", TValue::Text("\x81\x20")),
                 Prop("Anchors", TValue::Set({"akLeft", "akTop"})),
                 Prop("Icon", TValue::Binary(std::string("\x00\x01\xFF", 3))),
                 Prop("Ratio", TValue::Extended(1.5)), Prop("Columns", columns),
                 Prop("Font.Name", TValue::Text("ＭＳ Ｐゴシック"))},
                {groupBox, widget});
}

TEST(ComponentStream, ReadsAFileBuiltFromTheLayout) {
    const TComponent root = ReadComponentStream(HandBuiltFile());
    EXPECT_EQ(root, HandBuiltTree());
    const TComponent* comboBox = root.FindComponent("combobox7");
    ASSERT_NE(comboBox, nullptr);
    EXPECT_EQ(comboBox->ReadTextList("Items.Strings", {}).size(), 2u);
    EXPECT_EQ(root.ReadText("Title", ""), "テスト");
}

TEST(ComponentStream, RewritesAFileFromAnotherWriterIntoOneThatReadsTheSame) {
    const TComponent root = ReadComponentStream(HandBuiltFile());
    const std::string written = WriteComponentStream(root);
    EXPECT_EQ(ReadComponentStream(written), root);
    EXPECT_EQ(WriteComponentStream(ReadComponentStream(written)), written);
}

TEST(ComponentStream, RoundTripsEveryKindOfValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const TValue values[] = {
        TValue::Null(),
        TValue::Nil(),
        TValue::Boolean(false),
        TValue::Boolean(true),
        TValue::Integer(0),
        TValue::Integer(std::numeric_limits<int64_t>::min()),
        TValue::Integer(std::numeric_limits<int64_t>::max()),
        TValue::Extended(0.0),
        TValue::Extended(-0.0),
        TValue::Extended(-1e300),
        TValue::Extended(4.9e-324),
        TValue::Extended(inf),
        TValue::Extended(nan),
        TValue::Single(3.25f),
        TValue::Single(-std::numeric_limits<float>::denorm_min()),
        TValue::Date(45000.75),
        TValue::Currency(std::numeric_limits<int64_t>::min()),
        TValue::Text(""),
        TValue::Text("（New File）"),
        TValue::Text(std::string(255, 'x')),
        TValue::Text(std::string(256, 'x')),
        TValue::Text(std::string("\xFF\xFE\x00", 3)),
        TValue::Ident("cbr9600"),
        TValue::Binary(""),
        TValue::Binary(std::string("\x00\x80\xFF", 3)),
        TValue::Set({}),
        TValue::Set({"fsBold", "fsItalic"}),
        TValue::List({}),
        TValue::List({TValue::Integer(1), TValue::List({TValue::Text("a")}), TValue::Nil()}),
        TValue::Collection({}),
        TValue::Collection(
            {{std::nullopt, {}}, {-5, {Prop("Items.Strings", TValue::TextList({"x"}))}}}),
    };
    for (const TValue& value : values) {
        const TComponent root = Form({Prop("V", value)});
        EXPECT_EQ(ReadComponentStream(WriteComponentStream(root)), root)
            << "kind " << int(value.Kind) << " " << value.Bytes;
    }
}

// The written bytes of one value: a form with the single property "V" holds it between its
// name and the two zero bytes that end the properties and the owned objects.
std::string ValueBytes(const TValue& value) {
    const std::string file = WriteComponentStream(Form({Prop("V", value)}));
    const size_t start = Header(0).size() + std::string("TPF0\6TForm1\5Form1\1V").size();
    return file.substr(start, file.size() - start - 2);
}

TEST(ComponentStream, WritesIntegersInTheSmallestSize) {
    const struct {
        int64_t value;
        std::string bytes;
    } cases[] = {
        {0, std::string("\x02\x00", 2)},
        {-128, "\x02\x80"},
        {127, "\x02\x7F"},
        {-129, "\x03\x7F\xFF"},
        {128, std::string("\x03\x80\x00", 3)},
        {-32768, std::string("\x03\x00\x80", 3)},
        {32767, "\x03\xFF\x7F"},
        {-32769, "\x04\xFF\x7F\xFF\xFF"},
        {32768, std::string("\x04\x00\x80\x00\x00", 5)},
        {INT32_MIN, std::string("\x04\x00\x00\x00\x80", 5)},
        {INT32_MAX, "\x04\xFF\xFF\xFF\x7F"},
        {int64_t(INT32_MIN) - 1, std::string("\x13\xFF\xFF\xFF\x7F\xFF\xFF\xFF\xFF", 9)},
        {int64_t(INT32_MAX) + 1, std::string("\x13\x00\x00\x00\x80\x00\x00\x00\x00", 9)},
        {INT64_MIN, std::string("\x13\x00\x00\x00\x00\x00\x00\x00\x80", 9)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValueBytes(TValue::Integer(c.value)), c.bytes) << c.value;
        EXPECT_EQ(
            ReadComponentStream(WriteComponentStream(Form({Prop("V", TValue::Integer(c.value))})))
                .ReadInteger("V", 1),
            c.value);
    }
}

TEST(ComponentStream, WritesTextsAsShortLongOrUtf8Strings) {
    const struct {
        std::string text;
        uint8_t type;
        size_t lengthBytes;
    } cases[] = {
        {"", vaString, 1},
        {std::string(255, 'a'), vaString, 1},
        {std::string(256, 'a'), vaLString, 4},
        {"é", vaUTF8String, 4},
        {std::string(200, 'a') + "日本", vaUTF8String, 4},
        {"\x81\x20", vaUTF8String, 4},
    };
    for (const auto& c : cases) {
        const std::string bytes = ValueBytes(TValue::Text(c.text));
        EXPECT_EQ(uint8_t(bytes[0]), c.type) << c.text;
        EXPECT_EQ(bytes.substr(1 + c.lengthBytes), c.text);
    }
}

TEST(ComponentStream, WritesTheHeaderWithTheRootClassAndTheDataLength) {
    TComponent root = Form();
    root.ClassName = "TMain";
    const std::string file = WriteComponentStream(root);
    const std::string stream = "TPF0\5TMain\5Form1\0\0"s;
    EXPECT_EQ(file, Header(stream.size(), "TMAIN") + stream);
}

TEST(ComponentStream, ClassNamesThatLookLikeFlagsGetAFlagsByte) {
    TComponent child{0, 0, std::string(240, 'C'), "Child", {}, {}};
    const TComponent root = Form({}, {child});
    EXPECT_EQ(ReadComponentStream(WriteComponentStream(root)), root);
}

TEST(ComponentStream, NestingUpToTheLimitRoundTrips) {
    TValue list = TValue::List({});
    for (int depth = 2; depth < kMaxNestingDepth; ++depth)
        list = TValue::List({list});
    const TComponent root = Form({Prop("Deep", list)});
    EXPECT_EQ(ReadComponentStream(WriteComponentStream(root)), root);

    const TComponent tooDeep = Form({Prop("Deep", TValue::List({list}))});
    EXPECT_THROW(WriteComponentStream(tooDeep), ESettingsFormat);
}

TEST(ComponentStream, TheWriterRefusesWhatTheLayoutCannotHold) {
    const struct {
        const char* why;
        TComponent root;
        const char* message;
    } cases[] = {
        {"no class name", TComponent{}, "without a class name"},
        {"long object name", TComponent{0, 0, "TForm1", std::string(256, 'n'), {}, {}},
         "object name of 256 bytes"},
        {"empty property name", Form({Prop("", TValue::Integer(1))}), "empty property name"},
        {"long identifier", Form({Prop("V", TValue::Ident(std::string(256, 'i')))}),
         "identifier of 256"},
        {"Null in a list", Form({Prop("V", TValue::List({TValue::Null()}))}), "Null element"},
        {"empty set element", Form({Prop("V", TValue::Set({""}))}), "empty set element name"},
        {"flags", TComponent{0x10, 0, "TForm1", "Form1", {}, {}}, "flags beyond"},
    };
    for (const auto& c : cases) {
        try {
            WriteComponentStream(c.root);
            ADD_FAILURE() << c.why << ": written";
        } catch (const ESettingsFormat& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.why << ": " << e.what();
        }
    }
}

// Expects ESettingsFormat with `message` at `offset`, and nothing else.
void ExpectFormatError(const std::string& file, const std::string& message, size_t offset,
                       const std::string& why) {
    try {
        ReadComponentStream(file);
        ADD_FAILURE() << why << ": read without error";
    } catch (const ESettingsFormat& e) {
        EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
            << why << ": " << e.what();
        EXPECT_EQ(e.Offset(), offset) << why << ": " << e.what();
        EXPECT_NE(std::string(e.what()).find("at byte offset " + std::to_string(offset)),
                  std::string::npos)
            << why;
    }
}

std::string StreamWithProperty(std::string_view valueBytes) {
    TStreamBytes s;
    s.Raw("TPF0").Object("TForm1", "Form1").Short("V").Raw(valueBytes).Byte(0).Byte(0);
    return s.Bytes();
}

// Where a property value of StreamWithProperty starts in the file.
const size_t kValueAt = Header(0).size() + std::string("TPF0\6TForm1\5Form1\1V").size();

std::string Nested(int depth, std::string_view open, std::string_view close) {
    std::string bytes;
    for (int i = 0; i < depth; ++i)
        bytes += open;
    for (int i = 0; i < depth; ++i)
        bytes += close;
    return bytes;
}

TEST(ComponentStream, BadInputGivesItsErrorAndNothingElse) {
    const size_t header = Header(0).size();
    std::string overCap = Header(0);
    overCap.replace(header - 4, 4, "\x01\x00\x00\x04"s); // 64 MiB + 1
    const struct {
        const char* why;
        std::string file;
        const char* message;
        size_t offset;
    } cases[] = {
        {"empty", "", "the data ends inside the resource header", 0},
        {"not a resource", "TPF0", "first byte is not 0xFF", 0},
        {"resource type", "\xFF\x0B\x00TFORM1\0"s, "resource type is 11", 1},
        {"numbered resource", "\xFF\x0A\x00\xFF\x01\x00"s, "named by a number", 3},
        {"empty name", "\xFF\x0A\x00\x00"s, "resource name is empty", 3},
        {"name without end", "\xFF\x0A\x00"s + std::string(300, 'N'), "no ending zero byte", 3},
        {"announced over the cap", overCap, "more than the 67108864", header - 4},
        {"announced beyond the end", Header(10) + "TPF0", "announces 10 bytes of data, but only 4",
         header - 4},
        {"trailing bytes", Header(4) + "TPF0xy", "2 bytes follow the data", header + 4},
        {"signature", FileOf("TPF1\6TForm1\5Form1\0\0"), "signature \"TPF0\"", header},
        {"no class name", FileOf("TPF0\0\5Form1\0\0"s), "without a class name", header + 4},
        {"after the root", FileOf("TPF0\6TForm1\5Form1\0\0\0"s), "1 byte after the end",
         header + 19},
        {"unknown value type", FileOf(StreamWithProperty("\x15")), "unknown value type 21",
         kValueAt},
        {"long string past the end", FileOf(StreamWithProperty("\x0C\xFF\xFF\xFF\xFF")),
         "length of a long string (4294967295) points past the end", kValueAt + 1},
        {"wide string past the end", FileOf(StreamWithProperty("\x12\x04\x00\x00\x00\x41\x00"s)),
         "length of a wide string (4) points past", kValueAt + 1},
        {"binary past the end", FileOf(StreamWithProperty("\x0A\x05\x00\x00\x00"s)),
         "length of binary data (5)", kValueAt + 1},
        {"short string past the end",
         FileOf("TPF0\6TForm1\x40"
                "Form1"s),
         "ends inside an object name (64 bytes needed, 5 left)", header + 12},
        {"collection item", FileOf(StreamWithProperty("\x0E\x06")),
         "collection item starts with value type 6", kValueAt + 1},
        {"collection order", FileOf(StreamWithProperty("\x0E\x02\x01\x02")),
         "not followed by a list", kValueAt + 3},
        {"child position", FileOf("TPF0\xF2\x06"s), "child position is not an integer", header + 5},
        {"lists without end", FileOf(StreamWithProperty(Nested(65, "\x01", "\0"s))),
         "nested deeper than 64", kValueAt + 63},
        {"objects without end", FileOf("TPF0" + Nested(65, "\6TChild\1C\0"s, "\0"s)),
         "nested deeper than 64", header + 4 + 64 * 10},
        {"collections without end", FileOf(StreamWithProperty(Nested(64, "\x0E\x01\1V"s, "\0\0"s))),
         "nested deeper than 64", kValueAt + 63 * 4 + 1},
        {"error names the property", FileOf(StreamWithProperty("\x0A\x05\x00\x00\x00"s)),
         "in the property \"V\"", kValueAt + 1},
    };
    for (const auto& c : cases)
        ExpectFormatError(c.file, c.message, c.offset, c.why);
}

TEST(ComponentStream, EveryTruncationOfAValidFileIsAnError) {
    const std::string file = HandBuiltFile();
    const std::string stream = file.substr(Header(0).size());
    for (size_t length = 0; length < file.size(); ++length)
        EXPECT_THROW(ReadComponentStream(file.substr(0, length)), ESettingsFormat) << length;
    // With a header that agrees, so that the stream's own bounds checks are reached.
    for (size_t length = 0; length < stream.size(); ++length)
        EXPECT_THROW(ReadComponentStream(FileOf(stream.substr(0, length))), ESettingsFormat)
            << length;
}

TEST(ComponentStream, MoreNodesThanTheLimitAreRefused) {
    // The form, its property and the list take three nodes; the elements take the rest.
    const size_t elements = kMaxStreamNodes - 3;
    const TComponent atLimit =
        Form({Prop("V", TValue::List(std::vector<TValue>(elements, TValue::Nil())))});
    const std::string file = WriteComponentStream(atLimit);
    EXPECT_EQ(ReadComponentStream(file), atLimit);

    TComponent overLimit = atLimit;
    overLimit.Properties[0].Value.Elements.push_back(TValue::Nil());
    EXPECT_THROW(WriteComponentStream(overLimit), ESettingsFormat);
    const std::string stream = StreamWithProperty("\x01" + std::string(elements + 1, vaNil) + '\0');
    ExpectFormatError(FileOf(stream), "more than 1048576", kValueAt + 1 + elements, "nodes");
}

class TempFile {
public:
    TempFile() {
        char pattern[] = "/tmp/portwell-stream-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path = pattern;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

TEST(ComponentFile, ReadsAWrittenFile) {
    TempFile file;
    const TComponent root = HandBuiltTree();
    const std::string bytes = WriteComponentStream(root);
    FILE* f = std::fopen(file.path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    EXPECT_EQ(ReadComponentFile(file.path), root);
}

TEST(ComponentFile, RefusesAnOverlargeFileWithoutReadingIt) {
    TempFile file;
    ASSERT_EQ(truncate(file.path.c_str(), off_t(300) * 1024 * 1024), 0); // sparse
    try {
        ReadComponentFile(file.path);
        ADD_FAILURE() << "read";
    } catch (const ESettingsFormat& e) {
        EXPECT_NE(std::string(e.what()).find("the file is 314572800 bytes long"), std::string::npos)
            << e.what();
    }
}

TEST(ComponentFile, RefusesAnEndlessPipeAtTheLimit) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        sigset_t pipeSignal; // held back in this thread only: the write then fails with EPIPE
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const std::string chunk(65536, '\xFF');
        while (write(ends[1], chunk.data(), chunk.size()) > 0) {}
        close(ends[1]);
    });
    EXPECT_THROW(ReadComponentFile("/proc/self/fd/" + std::to_string(ends[0])), ESettingsFormat);
    close(ends[0]);
    writer.join();
}

TEST(ComponentFile, DevicesAndDirectoriesAreSystemErrors) {
    for (const char* path : {"/dev/zero", "/tmp"})
        EXPECT_THROW(ReadComponentFile(path), std::system_error) << path;
}

TEST(ComponentFile, AMissingFileIsASystemError) {
    try {
        ReadComponentFile("/nonexistent/portwell.ini");
        ADD_FAILURE() << "read";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/portwell.ini"), std::string::npos);
    }
}

TEST(ComponentTree, FindsComponentsAndPropertiesByNameInAnyCase) {
    TComponent root = HandBuiltTree();
    EXPECT_EQ(root.FindComponent("FORM1"), &root);
    ASSERT_NE(root.FindComponent("widget1"), nullptr);
    EXPECT_EQ(root.FindComponent("widget1")->ClassName, "TFancyWidget");
    EXPECT_EQ(root.FindComponent("Missing"), nullptr);
    TComponent* comboBox = root.FindComponent("ComboBox7");
    ASSERT_NE(comboBox, nullptr);
    comboBox->SetProperty("itemindex", TValue::Integer(0));
    comboBox->SetProperty("Text", TValue::Text("x"));
    EXPECT_EQ(comboBox->Properties.size(), 3u);
    EXPECT_EQ(comboBox->ReadInteger("ItemIndex", 9), 0);
}

TEST(ComponentTree, PropertiesOfAnotherKindOrAbsentGiveTheFallback) {
    const TComponent root = HandBuiltTree();
    const TComponent& widget = *root.FindComponent("Widget1");
    EXPECT_EQ(root.ReadInteger("Left", 0), 260);
    EXPECT_EQ(root.ReadInteger("Caption", -1), -1);
    EXPECT_EQ(root.ReadInteger("Top", 138), 138);
    EXPECT_TRUE(widget.ReadBoolean("Visible", false));
    EXPECT_FALSE(widget.ReadBoolean("Enabled", true));
    EXPECT_TRUE(widget.ReadBoolean("Big", true));
    EXPECT_EQ(widget.ReadIdent("Sparkle", ""), "clBlue");
    EXPECT_EQ(widget.ReadIdent("Visible", "none"), "none");
    EXPECT_EQ(root.ReadText("Anchors", "fallback"), "fallback");
    EXPECT_EQ(root.ReadTextList("Left", {"a"}), std::vector<std::string>{"a"});

    const TComponent mixed =
        Form({Prop("L", TValue::List({TValue::Text("a"), TValue::Integer(1)}))});
    EXPECT_EQ(mixed.ReadTextList("L", {"fallback"}), std::vector<std::string>{"fallback"});
}

} // namespace
