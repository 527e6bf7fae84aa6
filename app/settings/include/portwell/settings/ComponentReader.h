#pragma once
// Reading the settings file's component stream into a tree.
#include "portwell/settings/ComponentTree.h"

#include <filesystem>
#include <string_view>

namespace portwell::settings {

// Reads a whole file image: the resource header, "TPF0" and the root object.
// Throws ESettingsFormat.
TComponent ReadComponentStream(std::string_view file);

// Reads the file (or pipe) at `path`; one beyond kMaxSettingsFileSize is refused without reading
// it whole. Throws ESettingsFormat for a file not in this layout, std::system_error when it cannot
// be read or is a directory or a device.
TComponent ReadComponentFile(const std::filesystem::path& path);

} // namespace portwell::settings
