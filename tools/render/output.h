// Where mirel-render's results go, and how it keeps them whole: every file is
// written under a temporary name beside its final one and renamed into place
// only when complete, an existing output is kept unless overwriting was asked
// for, and SIGINT, SIGTERM and SIGHUP end the run through the same clean-up
// path. A temporary name carries its writer's pid and start time, so that one
// left by a run that died outright (SIGKILL, a crash, a power cut) can be told
// from a live run's and removed by the next run writing the same output.
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

// Thrown when SIGINT, SIGTERM or SIGHUP arrived; Signal is the signal's number.
class TInterrupted : public std::runtime_error {
public:
    explicit TInterrupted(int signal) : std::runtime_error("interrupted"), Signal(signal) {}
    int Signal;
};

// SIGINT, SIGTERM and SIGHUP (unless ignored already, as under nohup) from
// now on only set a flag that CheckInterrupted reads. SIGPIPE and SIGXFSZ are
// ignored: a closed pipe or a file size limit is then a write error (EPIPE,
// EFBIG) that ends the run through the clean-up path like any other.
void CatchInterrupts();
// Throws TInterrupted once a signal arrived.
void CheckInterrupted();
// The signal that arrived, 0 if none.
int InterruptSignal();

// Pushes what was printed to standard output out now; throws
// std::runtime_error naming the reason when that fails (a closed pipe).
void FlushOutput();

// Refuses (std::runtime_error, one line naming the size) a frame of w x h that
// the encoder of out's kind cannot take: MPEG-4 part 2 counts in 13 bits
// (and the size is made even), WebP in 14.
void CheckFrameSize(const std::string& out, TOutputKind kind, int32_t w, int32_t h);

// Opens path for reading if it is a regular file; throws std::runtime_error
// naming path and the reason otherwise (a FIFO would block the open, a device
// feed without end). The caller closes the descriptor.
int OpenRegularFile(const std::string& path);

// Largest frame side, for --size and for a size taken from a picture.
constexpr int32_t MaxFrameSide = 16384;

// Refuses (std::runtime_error, one line) an existing file at path unless
// policy is Yes. Called before any work, so that a long render is not wasted.
void CheckOverwrite(const std::string& path, TOverwrite policy);

// A file under construction: created exclusively under a hidden temporary
// name in the final file's folder (.NAME.part-PID-START-XXXXXX), removed again
// unless Commit ran. Creating one first removes such files of the same final
// name whose writer is gone.
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
    int lock_ = -1; // held for the file's life: tells sweepers it is in use
    bool committed_ = false;
};

// A folder of numbered frames, built in a hidden temporary folder inside the
// target and moved into it on Commit. With policy Yes, Commit first removes
// the tool's own frame files (frame-NNNNN.png, nothing else) left from an
// earlier run; otherwise a folder holding such files is refused up front.
// The temporary folder is .frames-PID-START-XXXXXX; those of runs that are gone
// are removed when a new one is made in the same folder.
class TPendingFolder {
public:
    TPendingFolder(std::string folder, TOverwrite policy);
    ~TPendingFolder();
    TPendingFolder(const TPendingFolder&) = delete;
    TPendingFolder& operator=(const TPendingFolder&) = delete;

    // The temporary path of frame index (frame-%05d.png).
    std::string FramePath(int64_t index) const;
    // Where frame index ends up: for messages, which outlive the temporary.
    std::string FinalFramePath(int64_t index) const;
    static std::string FrameName(int64_t index);
    // True for the names FrameName makes.
    static bool IsFrameName(std::string_view name);
    void Commit(int64_t count);

private:
    std::string folder_, temp_;
    TOverwrite policy_;
    int lock_ = -1;
    bool created_ = false, committed_ = false;
};

// Removes the temporaries of final (.NAME.part-*), or with folder true those
// inside final (.frames-*), whose writer has ended: its pid gone or reused
// (another start time) and no lock held on it. Only the caller's own files
// and folders, never links; names without a pid are left alone. Returns how
// many were removed.
int SweepStale(const std::string& final, bool folder);

} // namespace mirel
