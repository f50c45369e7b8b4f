// Where mirel-render's results go, and how it keeps them whole: every file is
// written under a temporary name beside its final one and renamed into place
// only when complete, an existing output is kept unless overwriting was asked
// for, and SIGINT/SIGTERM end the run through the same clean-up path.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mirel {

// What an output name asks for, by its extension (any case) or its form.
enum class TOutputKind {
    Png, Jpeg, WebP, Gif, // a picture; WebP and GIF are animated for more than one frame
    Mp4, Mkv, WebM, Mov, Avi, // a video
    Folder, // a folder of frame-%05d.png files
};

// Classifies out: a name ending in '/' or an existing folder is a Folder; else
// the extension decides. Throws std::runtime_error listing the accepted
// kinds for anything else.
TOutputKind OutputKindOf(const std::string& out);
bool IsVideo(TOutputKind kind);
// "png", "jpg", ... "folder": for messages.
std::string_view KindName(TOutputKind kind);
// The list for messages: ".png, .jpg, ... or a folder".
extern const char* const OutputKindList;

enum class TOverwrite { Ask, Yes, No }; // Ask: refuse, as No does, but say how to force it

// Thrown when SIGINT or SIGTERM arrived; Signal is the signal's number.
class TInterrupted : public std::runtime_error {
public:
    explicit TInterrupted(int signal) : std::runtime_error("interrupted"), Signal(signal) {}
    int Signal;
};

// SIGINT and SIGTERM from now on only set a flag that CheckInterrupted reads.
void CatchInterrupts();
// Throws TInterrupted once a signal arrived.
void CheckInterrupted();
// The signal that arrived, 0 if none.
int InterruptSignal();

// Refuses (std::runtime_error, one line) an existing file at path unless
// policy is Yes. Called before any work, so that a long render is not wasted.
void CheckOverwrite(const std::string& path, TOverwrite policy);

// A file under construction: created exclusively under a hidden temporary
// name in the final file's folder, removed again unless Commit ran.
class TPendingFile {
public:
    TPendingFile(std::string final, TOverwrite policy);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    const std::string& Path() const { return temp_; } // where to write
    const std::string& Final() const { return final_; }
    // The open descriptor of Path (owned; released by TakeFd).
    int TakeFd();
    // Syncs, gives the file the usual permissions and renames it into place;
    // with a policy other than Yes it never replaces a file that appeared in
    // the meantime. Throws std::runtime_error.
    void Commit();

private:
    std::string final_, temp_;
    TOverwrite policy_;
    int fd_ = -1;
    bool committed_ = false;
};

// A folder of numbered frames, built in a hidden temporary folder inside the
// target and moved into it on Commit. With policy Yes, Commit first removes
// the tool's own frame files (frame-NNNNN.png, nothing else) left from an
// earlier run; otherwise a folder holding such files is refused up front.
class TPendingFolder {
public:
    TPendingFolder(std::string folder, TOverwrite policy);
    ~TPendingFolder();
    TPendingFolder(const TPendingFolder&) = delete;
    TPendingFolder& operator=(const TPendingFolder&) = delete;

    // The temporary path of frame index (frame-%05d.png).
    std::string FramePath(int64_t index) const;
    static std::string FrameName(int64_t index);
    // True for the names FrameName makes.
    static bool IsFrameName(std::string_view name);
    void Commit(int64_t count);

private:
    std::string folder_, temp_;
    TOverwrite policy_;
    bool created_ = false, committed_ = false;
};

} // namespace mirel
