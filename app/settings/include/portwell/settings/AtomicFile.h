#pragma once
// Writing a file so that a crash, a kill or a full disk leaves either the old file or the new one,
// never a part: the bytes go to a new temporary file in the same folder, which is flushed and then
// renamed over the name. The rename replaces whatever the name is, a symbolic link included, and
// never writes through a link.
#include <filesystem>
#include <string_view>
#include <vector>

namespace portwell::settings {

// Writes `bytes` as `file` through a temporary file named TEMPORARYBASE.tmpPID-N, where
// `temporaryBase` is a path in the file's folder. A regular file that is replaced keeps its
// permissions. Throws std::system_error with the reason; nothing is left behind then.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         const std::filesystem::path& temporaryBase);

// Removes the temporary files TEMPORARYBASE.tmpPID-N that processes which are gone left behind,
// killed in the middle of a write, and returns them. The caller must be the only writer of such
// files while it runs, so its own process's are stale too.
std::vector<std::filesystem::path>
RemoveStaleTemporaries(const std::filesystem::path& temporaryBase);

} // namespace portwell::settings
