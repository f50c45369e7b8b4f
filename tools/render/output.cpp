#include "tools/render/output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
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
        throw std::runtime_error(final_ + ": no such folder '" + dir + "'");
    std::string pattern = (dir == "/" ? "" : dir) + "/." + base + ".part-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error(final_ + ": cannot write in '" + dir + "': " + Why());
    temp_ = name.data();
}

TPendingFile::~TPendingFile()
{
    if (fd_ >= 0)
        close(fd_);
    if (!committed_)
        unlink(temp_.c_str());
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
    if (lstat(folder_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !IsDirectory(folder_))
        throw std::runtime_error(folder_ + ": exists and is not a folder");
    if (!IsDirectory(folder_)) {
        if (mkdir(folder_.c_str(), 0777) != 0)
            throw std::runtime_error(folder_ + ": cannot create the folder: " + Why());
        created_ = true;
    } else if (policy_ != TOverwrite::Yes && !FrameFiles(folder_).empty()) {
        throw std::runtime_error(folder_ + ": holds frames already" +
                                 (policy_ == TOverwrite::Ask ? " (-y replaces them)" : ""));
    }
    std::string pattern = folder_ + "/.frames-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        const std::string why = Why();
        if (created_)
            rmdir(folder_.c_str());
        throw std::runtime_error(folder_ + ": cannot write in the folder: " + why);
    }
    temp_ = name.data();
}

TPendingFolder::~TPendingFolder()
{
    if (!committed_) {
        RemoveTree(temp_);
        if (created_)
            rmdir(folder_.c_str());
    }
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

} // namespace mirel
