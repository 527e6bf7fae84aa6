#pragma once
// A shared library held open for the lifetime of the object.
#include <string>

namespace platform {

class SharedLibrary {
public:
    // Loads `fileName` with the system's normal search rules; check Loaded() afterwards.
    explicit SharedLibrary(const std::string& fileName);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle != nullptr; }
    // The exported symbol named exactly `name`, or nullptr.
    void* Symbol(const std::string& name) const;

private:
    void* handle;
};

} // namespace platform
