// The settings file reader on any input. What it reads must write, read back the same, and write
// the same bytes again; the window state taken from it must survive a save and a load. An input
// that does not start with the resource marker is taken as the stream after the header, so that
// mutations need not keep the header's length right.
#include "portwell/settings/ComponentReader.h"
#include "portwell/settings/ComponentWriter.h"
#include "portwell/settings/StateMapping.h"

#include <cstdio>
#include <cstdlib>

using namespace portwell;
using namespace portwell::settings;

namespace {

std::string WithHeader(std::string_view stream) {
    std::string file("\xFF\x0A\x00TFORM1\x00\x30\x10", 12);
    for (int i = 0; i < 4; ++i)
        file += char(stream.size() >> (8 * i));
    return file.append(stream);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings_reader: %s\n", what);
    std::abort();
}

void CheckStateRoundTrip(const TComponent& tree) {
    const TStoredState state = StateFromComponents(tree);
    const std::string saved = WriteComponentStream(StateToComponents(state));
    if (!(StateFromComponents(ReadComponentStream(saved)) == state))
        Fail("the window state reads back different after a save");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string file = size > 0 && data[0] == 0xFF ? std::string(input) : WithHeader(input);
    TComponent first;
    try {
        first = ReadComponentStream(file);
    } catch (const ESettingsFormat&) {
        return 0;
    }
    const std::string written = WriteComponentStream(first);
    if (!(ReadComponentStream(written) == first)) Fail("the written tree reads back different");
    if (WriteComponentStream(ReadComponentStream(written)) != written)
        Fail("writing the tree read back gives other bytes");
    CheckStateRoundTrip(first);
    return 0;
}
