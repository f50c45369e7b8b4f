#include "tools/render/output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mirel {

namespace {

volatile std::sig_atomic_t caught = 0;

void OnSignal(int signal)
{
    caught = signal;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string Why()
{
    return std::strerror(errno);
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// dir and base of path; dir is "." for a bare name.
void Split(const std::string& path, std::string& dir, std::string& base)
{
    const size_t slash = path.find_last_of('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
}

// "no such folder" only when there is none; a folder that cannot be
// reached says why.
std::string NoFolder(const std::string& dir)
{
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return "not a folder '" + dir + "'";
    if (errno == ENOENT || errno == ENOTDIR)
        return "no such folder '" + dir + "'";
    return "cannot reach the folder '" + dir + "': " + Why();
}

// A process's start time in clock ticks after boot, field 22 of
// /proc/PID/stat; -1 when there is no such process, 0 when it cannot be told.
long long StartTime(pid_t pid)
{
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ESRCH ? -1 : 0;
    char buffer[1024];
    const ssize_t got = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (got <= 0)
        return got < 0 && errno == ESRCH ? -1 : 0;
    buffer[got] = '\0';
    // The command name, in parentheses, may hold spaces and parentheses.
    const char* at = std::strrchr(buffer, ')');
    if (!at)
        return 0;
    // Fields 3 (the state) to 22 follow, one space before each.
    for (int field = 3; field <= 22 && at; ++field)
        at = std::strchr(at + 1, ' ');
    long long start = 0;
    if (!at || std::from_chars(at + 1, buffer + got, start).ec != std::errc())
        return 0;
    return start;
}

// "PID-START" of this process, the part of its temporaries' names that
// tells whether their writer still runs.
const std::string& WriterTag()
{
    static const std::string tag = std::to_string(getpid()) + "-" + std::to_string(StartTime(getpid()));
    return tag;
}

// True when rest, what follows a temporary's prefix, is "PID-START-XXXXXX"
// of a writer that has ended: no process of that pid, or one started at
// another time (the pid was given again). Unknown start times count as live.
bool WriterGone(std::string_view rest)
{
    long long pid = 0, start = 0;
    const char* end = rest.data() + rest.size();
    auto [p, ec] = std::from_chars(rest.data(), end, pid);
    if (ec != std::errc() || p == end || *p != '-' || pid <= 0 || pid > INT32_MAX)
        return false;
    auto [q, ec2] = std::from_chars(p + 1, end, start);
    if (ec2 != std::errc() || q == end || *q != '-' || end - (q + 1) != 6 || start <= 0)
        return false;
    if (pid_t(pid) == getpid())
        return false;
    const long long now = StartTime(pid_t(pid));
    return now == -1 || (now > 0 && now != start);
}

// Opens path (never through a link) if it is the caller's own file or folder
// and nobody holds its lock; the descriptor keeps the lock. -1 otherwise.
int LockIfAbandoned(int dirFd, const char* name, bool folder)
{
    const int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                           (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) ||
        flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A lock held on path for as long as the descriptor is open.
int HoldLock(const std::string& path, bool folder)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

mode_t FileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

const char* const OutputKindList = ".png, .jpg, .jpeg, .webp, .gif, .mp4, .mkv, .webm, .mov, .avi or a folder (a name "
                                   "ending in /)";

TOutputKind OutputKindOf(const std::string& out)
{
    if (out.empty())
        throw std::runtime_error("the output name is empty");
    if (out.back() == '/' || IsDirectory(out))
        return TOutputKind::Folder;
    std::string dir, base;
    Split(out, dir, base);
    const size_t dot = base.find_last_of('.');
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : Lower(base.substr(dot + 1));
    static const std::pair<const char*, TOutputKind> table[] = {
        {"png", TOutputKind::Png},   {"jpg", TOutputKind::Jpeg}, {"jpeg", TOutputKind::Jpeg},
        {"webp", TOutputKind::WebP}, {"gif", TOutputKind::Gif},  {"mp4", TOutputKind::Mp4},
        {"mkv", TOutputKind::Mkv},   {"webm", TOutputKind::WebM}, {"mov", TOutputKind::Mov},
        {"avi", TOutputKind::Avi}};
    for (const auto& [name, kind] : table)
        if (ext == name)
            return kind;
    throw std::runtime_error(out + ": unknown output kind" + (ext.empty() ? "" : " '." + ext + "'") +
                             "; give " + OutputKindList);
}

bool IsVideo(TOutputKind kind)
{
    return kind == TOutputKind::Mp4 || kind == TOutputKind::Mkv || kind == TOutputKind::WebM ||
           kind == TOutputKind::Mov || kind == TOutputKind::Avi;
}

std::string_view KindName(TOutputKind kind)
{
    switch (kind) {
    case TOutputKind::Png: return "png";
    case TOutputKind::Jpeg: return "jpg";
    case TOutputKind::WebP: return "webp";
    case TOutputKind::Gif: return "gif";
    case TOutputKind::Mp4: return "mp4";
    case TOutputKind::Mkv: return "mkv";
    case TOutputKind::WebM: return "webm";
    case TOutputKind::Mov: return "mov";
    case TOutputKind::Avi: return "avi";
    case TOutputKind::Folder: return "folder";
    }
    return "";
}

void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A hang-up ends the run like SIGTERM, unless the run was started to
    // survive one (nohup).
    struct sigaction hup {};
    if (sigaction(SIGHUP, nullptr, &hup) == 0 && hup.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &action, nullptr);
    // Written to a reader that went away, or past a file size limit: the
    // write fails and the run ends through its clean-up instead of dying
    // where it stands with its temporaries left behind.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void FlushOutput()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string why = Why();
        std::clearerr(stdout);
        throw std::runtime_error("standard output: cannot write: " + why);
    }
}

void CheckInterrupted()
{
    if (caught)
        throw TInterrupted(caught);
}

int InterruptSignal()
{
    return caught;
}

void CheckFrameSize(const std::string& out, TOutputKind kind, int32_t w, int32_t h)
{
    const int32_t most = kind == TOutputKind::Avi ? 8190 : kind == TOutputKind::WebP ? 16383 : MaxFrameSide;
    if (w <= most && h <= most)
        return;
    throw std::runtime_error(out + ": a " + std::to_string(w) + "x" + std::to_string(h) + " frame is too large for ." +
                             std::string(KindName(kind)) + " (" + std::to_string(most) + "x" + std::to_string(most) +
                             " at most; --size sets the frame size)");
}

int OpenRegularFile(const std::string& path)
{
    // Not blocking: a FIFO with no writer would hold the open for ever.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(path + ": " + (errno == ENOENT ? std::string("no such file") : Why()));
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        close(fd);
        throw std::runtime_error(path + (folder ? ": a folder, not a file" : ": not a regular file"));
    }
    return fd;
}

void CheckOverwrite(const std::string& path, TOverwrite policy)
{
    struct stat st;
    if (policy == TOverwrite::Yes || lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
        throw std::runtime_error(path + ": is a folder");
    throw std::runtime_error(path + ": already exists" + (policy == TOverwrite::Ask ? " (-y overwrites it)" : ""));
}

TPendingFile::TPendingFile(std::string final, TOverwrite policy) : final_(std::move(final)), policy_(policy)
{
    CheckOverwrite(final_, policy_);
    std::string dir, base;
    Split(final_, dir, base);
    if (!IsDirectory(dir))
        throw std::runtime_error(final_ + ": " + NoFolder(dir));
    SweepStale(final_, false);
    std::string pattern = (dir == "/" ? "" : dir) + "/." + base + ".part-" + WriterTag() + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error(final_ + ": cannot write in '" + dir + "': " + Why());
    temp_ = name.data();
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0)
        lock_ = dup(fd_); // outlives the writer's descriptor and the muxer's reopening
}

TPendingFile::~TPendingFile()
{
    if (fd_ >= 0)
        close(fd_);
    if (!committed_)
        unlink(temp_.c_str());
    if (lock_ >= 0)
        close(lock_);
}

int TPendingFile::TakeFd()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void TPendingFile::Commit()
{
    CheckInterrupted(); // a run stopped while finishing leaves nothing either
    // Writers that took the descriptor have closed it; sync by name then.
    const int fd = fd_ >= 0 ? fd_ : open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0 || fchmod(fd, FileMode()) != 0) {
        const std::string why = Why();
        if (fd >= 0 && fd != fd_)
            close(fd);
        throw std::runtime_error(final_ + ": cannot finish writing: " + why);
    }
    if (fd != fd_)
        close(fd);
    if (policy_ == TOverwrite::Yes) {
        if (rename(temp_.c_str(), final_.c_str()) != 0)
            throw std::runtime_error(final_ + ": cannot rename into place: " + Why());
    } else {
        // link() never replaces: a file that appeared meanwhile is kept.
        if (link(temp_.c_str(), final_.c_str()) != 0) {
            if (errno == EEXIST)
                throw std::runtime_error(final_ + ": appeared while rendering; kept it");
            throw std::runtime_error(final_ + ": cannot rename into place: " + Why());
        }
        unlink(temp_.c_str());
    }
    committed_ = true;
}

std::string TPendingFolder::FrameName(int64_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(index));
    return name;
}

bool TPendingFolder::IsFrameName(std::string_view name)
{
    constexpr std::string_view head = "frame-", tail = ".png";
    if (name.size() < head.size() + 5 + tail.size() || name.substr(0, head.size()) != head ||
        name.substr(name.size() - tail.size()) != tail)
        return false;
    const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    // %05d: five digits, or more without a leading zero.
    if (digits.size() > 5 && digits[0] == '0')
        return false;
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

std::vector<std::string> FrameFiles(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (TPendingFolder::IsFrameName(entry->d_name))
                names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

void RemoveTree(const std::string& folder)
{
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                unlink((folder + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
}

} // namespace

TPendingFolder::TPendingFolder(std::string folder, TOverwrite policy) : folder_(std::move(folder)), policy_(policy)
{
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    struct stat st;
    if (lstat(folder_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !IsDirectory(folder_)) {
        // A link that leads nowhere says why.
        if (S_ISLNK(st.st_mode) && stat(folder_.c_str(), &st) != 0)
            throw std::runtime_error(folder_ + ": cannot reach it: " + Why());
        throw std::runtime_error(folder_ + ": exists and is not a folder");
    }
    if (!IsDirectory(folder_)) {
        if (mkdir(folder_.c_str(), 0777) != 0)
            throw std::runtime_error(folder_ + ": cannot create the folder: " + Why());
        created_ = true;
    } else if (policy_ != TOverwrite::Yes && !FrameFiles(folder_).empty()) {
        throw std::runtime_error(folder_ + ": holds frames already" +
                                 (policy_ == TOverwrite::Ask ? " (-y replaces them)" : ""));
    }
    SweepStale(folder_, true);
    std::string pattern = folder_ + "/.frames-" + WriterTag() + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        const std::string why = Why();
        if (created_)
            rmdir(folder_.c_str());
        throw std::runtime_error(folder_ + ": cannot write in the folder: " + why);
    }
    temp_ = name.data();
    lock_ = HoldLock(temp_, true);
}

TPendingFolder::~TPendingFolder()
{
    if (!committed_) {
        RemoveTree(temp_);
        if (created_)
            rmdir(folder_.c_str());
    }
    if (lock_ >= 0)
        close(lock_);
}

std::string TPendingFolder::FinalFramePath(int64_t index) const
{
    return folder_ + "/" + FrameName(index);
}

std::string TPendingFolder::FramePath(int64_t index) const
{
    return temp_ + "/" + FrameName(index);
}

void TPendingFolder::Commit(int64_t count)
{
    CheckInterrupted();
    std::vector<std::string> old = FrameFiles(folder_);
    if (!old.empty() && policy_ != TOverwrite::Yes)
        throw std::runtime_error(folder_ + ": frames appeared while rendering; kept them");
    // Stale frames beyond the new count would be read as part of the sequence.
    for (const std::string& name : old)
        if (unlink((folder_ + "/" + name).c_str()) != 0)
            throw std::runtime_error(folder_ + "/" + name + ": cannot remove: " + Why());
    for (int64_t i = 0; i < count; ++i) {
        const std::string name = FrameName(i);
        if (rename((temp_ + "/" + name).c_str(), (folder_ + "/" + name).c_str()) != 0)
            throw std::runtime_error(folder_ + "/" + name + ": cannot move into place: " + Why());
    }
    RemoveTree(temp_);
    committed_ = true;
}

int SweepStale(const std::string& final, bool folder)
{
    // Without our own start time the others' cannot be trusted either.
    if (StartTime(getpid()) <= 0)
        return 0;
    std::string dir, prefix;
    if (folder) {
        dir = final;
        prefix = ".frames-";
    } else {
        Split(final, dir, prefix);
        prefix = "." + prefix + ".part-";
    }
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR* listing = fdopendir(dup(dirFd));
    std::vector<std::string> stale;
    if (listing) {
        while (const dirent* entry = readdir(listing)) {
            const std::string_view name = entry->d_name;
            if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
                WriterGone(name.substr(prefix.size())))
                stale.emplace_back(name);
        }
        closedir(listing);
    }
    int removed = 0;
    for (const std::string& name : stale) {
        const int fd = LockIfAbandoned(dirFd, name.c_str(), folder);
        if (fd < 0)
            continue;
        if (folder) {
            // Only what a run puts there: its frames.
            if (DIR* frames = fdopendir(dup(fd))) {
                while (const dirent* entry = readdir(frames))
                    if (TPendingFolder::IsFrameName(entry->d_name))
                        unlinkat(fd, entry->d_name, 0);
                closedir(frames);
            }
            removed += unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0;
        } else {
            removed += unlinkat(dirFd, name.c_str(), 0) == 0;
        }
        close(fd);
    }
    close(dirFd);
    return removed;
}

} // namespace mirel
