#include "platform/EventFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <utility>

namespace {

bool Readable(const platform::EventFd& counter) {
    pollfd fd{counter.Fd(), POLLIN, 0};
    return poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN);
}

bool Open(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

TEST(EventFd, ReadableFromASignalUntilTheNextDrain) {
    platform::EventFd counter;
    ASSERT_TRUE(counter.Valid());
    EXPECT_EQ(counter.Error(), 0);
    EXPECT_FALSE(Readable(counter));
    counter.Drain(); // returns at once on a counter at zero
    counter.Signal();
    counter.Signal();
    EXPECT_TRUE(Readable(counter));
    counter.Drain();
    EXPECT_FALSE(Readable(counter));
}

TEST(EventFd, IsNotInheritedByProgramsStarted) {
    platform::EventFd counter;
    EXPECT_TRUE(fcntl(counter.Fd(), F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(fcntl(counter.Fd(), F_GETFL) & O_NONBLOCK);
}

TEST(EventFd, OwnershipMovesAndTheLastOwnerCloses) {
    int fd;
    {
        platform::EventFd first;
        fd = first.Fd();
        platform::EventFd second(std::move(first));
        EXPECT_FALSE(first.Valid());
        EXPECT_EQ(second.Fd(), fd);
        first.Signal(); // a moved-from counter does nothing
        EXPECT_FALSE(Readable(second));
        second.Signal();
        EXPECT_TRUE(Readable(second));
        EXPECT_TRUE(Open(fd));
    }
    EXPECT_FALSE(Open(fd));
}

TEST(EventFd, AssigningClosesTheCounterItReplaces) {
    platform::EventFd target;
    platform::EventFd source;
    const int replaced = target.Fd();
    const int kept = source.Fd();
    target = std::move(source);
    EXPECT_FALSE(Open(replaced));
    EXPECT_EQ(target.Fd(), kept);
    EXPECT_TRUE(Open(kept));
}

} // namespace
