#pragma once
// Writing a tree as the settings file's component stream.
#include "portwell/settings/ComponentTree.h"

#include <string>

namespace portwell::settings {

// The file image of `root`: the resource header, named after the root's class in upper case, and
// the stream. Throws ESettingsFormat for a tree the layout cannot hold (an empty class name, a
// name longer than 255 bytes, a Null inside a list, a stream beyond
// the limits of ComponentTree.h).
std::string WriteComponentStream(const TComponent& root);

} // namespace portwell::settings
