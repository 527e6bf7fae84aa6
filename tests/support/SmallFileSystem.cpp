#include "SmallFileSystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

SmallFileSystem::SmallFileSystem(size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted = ::mount("portwell-test", Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted)
        why = "mounting a small file system needs root: " + std::string(std::strerror(errno));
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted) ::umount2(Path().c_str(), MNT_DETACH);
}

void SmallFileSystem::Fill() {
    const int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::vector<char> block(4096, 0);
    while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {}
    if (fd >= 0) ::close(fd);
}

bool SmallFileSystem::MakeReadOnly() {
    return mounted &&
           ::mount(nullptr, Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace testsupport
