// Runs a fuzz harness once on every file in the directories or files given, so that its seeds and
// the inputs it once failed on are checked by every test run, without a fuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsIn(const fs::path& place) {
    std::vector<fs::path> inputs;
    if (fs::is_regular_file(place)) inputs.push_back(place);
    if (fs::is_directory(place))
        for (const auto& entry : fs::directory_iterator(place))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    return inputs;
}

void Replay(const fs::path& input) {
    std::ifstream file(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", input.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& input : InputsIn(argv[i])) {
            Replay(input);
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
