#pragma once
// A small file system of a test's own on a fresh folder: a disk that fills up, or a folder that
// nobody may write to, even root. Mounting needs root (or CAP_SYS_ADMIN); a test without it is
// skipped, saying why.
#include "TempDir.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace testsupport {

class SmallFileSystem {
public:
    explicit SmallFileSystem(size_t bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted; }
    // Why it could not be mounted.
    const std::string& Why() const { return why; }
    const std::filesystem::path& Path() const { return folder.Path(); }
    std::filesystem::path operator/(const std::string& name) const { return folder / name; }

    // Takes all the room that is left, so that the next write fails for want of space.
    void Fill();
    // Mounts it again read-only; false when that fails.
    bool MakeReadOnly();

private:
    TempDir folder;
    bool mounted = false;
    std::string why;
};

} // namespace testsupport
