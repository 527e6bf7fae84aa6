#pragma once
// A fresh folder for one test, removed with everything in it when the test ends.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() {
        std::string pattern = testing::TempDir() + "/portwell-XXXXXX";
        // Normal, as the settings store names its files: testing::TempDir() ends with a "/".
        if (mkdtemp(pattern.data())) path = std::filesystem::path(pattern).lexically_normal();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }

private:
    std::filesystem::path path;
};

} // namespace testsupport
