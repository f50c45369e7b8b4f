// Preloaded into the show by show_close_e2e.sh: opening the picture named
// $MIREL_HOLD_NAME (the file name, no folder) blocks until the test lets it
// go, so that the test knows, without looking at a clock, that a picture's
// load is still under way. Before blocking it creates $MIREL_HOLD_DIR/blocked;
// it then waits to open the FIFO $MIREL_HOLD_DIR/gate, which goes on until
// someone opens the FIFO for writing.
//
// Every open goes straight to the system call, so that the hold needs no
// lookup of the next definition and works the same under a sanitizer.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int RawOpenAt(int dirFd, const char* path, int flags, mode_t mode)
{
    const long fd = ::syscall(SYS_openat, dirFd, path, flags, mode);
    return int(fd);
}

void HoldIfAsked(const char* path)
{
    const char* held = std::getenv("MIREL_HOLD_NAME");
    const char* dir = std::getenv("MIREL_HOLD_DIR");
    if (!held || !dir || !path)
        return;
    const char* slash = std::strrchr(path, '/');
    if (std::strcmp(slash ? slash + 1 : path, held) != 0)
        return;
    const int saved = errno;
    const std::string folder(dir);
    const int marker = RawOpenAt(AT_FDCWD, (folder + "/blocked").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (marker >= 0)
        ::close(marker);
    int gate;
    do
        gate = RawOpenAt(AT_FDCWD, (folder + "/gate").c_str(), O_RDONLY | O_CLOEXEC, 0);
    while (gate < 0 && errno == EINTR);
    if (gate >= 0)
        ::close(gate);
    errno = saved;
}

mode_t ModeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    HoldIfAsked(path);
    return RawOpenAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    HoldIfAsked(path);
    return RawOpenAt(AT_FDCWD, path, flags, mode);
}

int __open_2(const char* path, int flags)
{
    HoldIfAsked(path);
    return RawOpenAt(AT_FDCWD, path, flags, 0);
}

int __open64_2(const char* path, int flags)
{
    HoldIfAsked(path);
    return RawOpenAt(AT_FDCWD, path, flags, 0);
}

int openat(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    HoldIfAsked(path);
    return RawOpenAt(dirFd, path, flags, mode);
}

int openat64(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    HoldIfAsked(path);
    return RawOpenAt(dirFd, path, flags, mode);
}

} // extern "C"
