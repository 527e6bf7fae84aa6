#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace platform {

SharedLibrary::SharedLibrary(const std::string& fileName)
    : handle(fileName.empty() ? nullptr : dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

SharedLibrary::~SharedLibrary() {
    if (handle) dlclose(handle);
}

void* SharedLibrary::Symbol(const std::string& name) const {
    return handle ? dlsym(handle, name.c_str()) : nullptr;
}

} // namespace platform
