#include "picture/load.h"

#include "picture/decoders.h"
#include "surface/rect.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel {

namespace {

enum class TFormat { None, Jpeg, Png, Webp, Bmp, Ico };

// The file name of a path without its folder.
std::string_view BaseName(std::string_view path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasExtension(std::string_view path) { return BaseName(path).find('.') != std::string_view::npos; }

// The extension of a file name or path ("pictures/a.JPG" -> "jpg"), or the
// whole name when it has no dot (so that "png" names the format itself).
std::string Extension(std::string_view name)
{
    name = BaseName(name);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos)
        name.remove_prefix(dot + 1);
    std::string ext(name);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return ext;
}

TFormat FormatOf(std::string_view name)
{
    const std::string ext = Extension(name);
    if (ext == "jpg" || ext == "jpeg")
        return TFormat::Jpeg;
    if (ext == "png")
        return TFormat::Png;
    if (ext == "webp")
        return TFormat::Webp;
    if (ext == "bmp")
        return TFormat::Bmp;
    if (ext == "ico")
        return TFormat::Ico;
    return TFormat::None;
}

// No picture within the pixel limit needs a larger file: 32 bits a pixel
// uncompressed, plus room for headers, palettes and metadata.
constexpr int64_t MaxFileBytes = MaxPicturePixels * 4 + (int64_t{16} << 20);

class TFile {
public:
    explicit TFile(int fd) : fd_(fd) {}
    ~TFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens once and checks what was opened, so a name swapped for a FIFO, a
// device or a folder after a listing cannot slip through; the open does not
// wait for a FIFO's writer.
std::unique_ptr<uint8_t[]> ReadFile(const std::string& path, size_t& size, size_t limit = SIZE_MAX)
{
    TFile file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        const int error = errno;
        throw TDecodeError(error == ENOENT ? "no such file" : std::strerror(error));
    }
    struct stat st{};
    if (::fstat(file.Get(), &st) != 0)
        throw TDecodeError(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw TDecodeError("a folder, not a picture file");
    if (!S_ISREG(st.st_mode))
        throw TDecodeError("not a regular file");
    if (st.st_size == 0)
        throw TDecodeError("empty file");
    if (st.st_size > MaxFileBytes)
        throw TDecodeError("file of " + std::to_string(st.st_size) + " bytes is larger than any picture within the limit");
    // The size was taken from the opened file; a file that grows meanwhile
    // is read only as far as it was, one that shrinks as far as it goes.
    const size_t expected = std::min(size_t(st.st_size), limit);
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[expected]);
    size_t done = 0;
    while (done < expected) {
        const ssize_t n = ::read(file.Get(), bytes.get() + done, expected - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw TDecodeError(std::strerror(errno));
        if (n == 0)
            break;
        done += size_t(n);
    }
    size = done;
    return bytes;
}

// A file's name without a dot has no extension at all (the whole name is
// not one); in memory, a name without a dot is the format's own name.
[[noreturn]] void RefuseFormat(std::string_view name, bool path)
{
    const std::string ext = Extension(name);
    if (ext.empty() || (path && !HasExtension(name)))
        throw TDecodeError("no file extension to tell the picture format");
    throw TDecodeError(HasExtension(name) ? "unknown picture file extension (." + ext + ")"
                                          : "unknown picture format (" + ext + ")");
}

void Decode(const uint8_t* data, size_t size, TFormat format, std::string_view name, TBitmap& out,
            TLoadOptions options)
{
    if (format == TFormat::None)
        RefuseFormat(name, false);
    if (size == 0)
        throw TDecodeError("empty file");
    if (options.MemoryBudget <= 0)
        options.MemoryBudget = PictureMemoryBudget();
    if (options.Contain && options.FitWidth > 0 && options.FitHeight > 0) {
        int32_t width = 0, height = 0;
        const bool known = format == TFormat::Jpeg  ? JpegSize(data, size, width, height)
                           : format == TFormat::Png ? picture::PngSize(data, size, width, height)
                                                    : false;
        if (known && width > 0 && height > 0) {
            const TRect filled = AspectFitRect(Rect(0, 0, width, height), Rect(0, 0, options.FitWidth, options.FitHeight));
            options.FitWidth = std::max(1, filled.Right - filled.Left);
            options.FitHeight = std::max(1, filled.Bottom - filled.Top);
        }
    }
    switch (format) {
    case TFormat::Jpeg:
        DecodeJpeg(data, size, out, options.FitWidth, options.FitHeight, options.MemoryBudget);
        return;
    case TFormat::Png: picture::DecodePng(data, size, out, options); return;
    case TFormat::Webp: picture::DecodeWebp(data, size, out, options); return;
    case TFormat::Bmp: picture::DecodeBmp(data, size, out, options); return;
    case TFormat::Ico: picture::DecodeIco(data, size, out); return;
    case TFormat::None: break;
    }
}

} // namespace

bool IsPictureFile(std::string_view path) { return HasExtension(path) && FormatOf(path) != TFormat::None; }

void LoadPicture(const std::string& path, TBitmap& out, const TLoadOptions& options)
{
    try {
        const TFormat format = HasExtension(path) ? FormatOf(path) : TFormat::None;
        if (format == TFormat::None)
            RefuseFormat(path, true); // before opening anything
        size_t size = 0;
        const std::unique_ptr<uint8_t[]> bytes = ReadFile(path, size);
        Decode(bytes.get(), size, format, path, out, options);
    } catch (const TDecodeError& e) {
        throw TDecodeError(path + ": " + e.what());
    } catch (const TBitmapError& e) {
        throw TDecodeError(path + ": " + e.what());
    } catch (const std::bad_alloc&) {
        throw TDecodeError(path + ": " + picture::OutOfMemory);
    }
}

int64_t PictureMemoryBudget()
{
    // Read once: the environment does not change under a running program.
    static const int64_t budget = [] {
        const char* text = std::getenv("MIREL_PICTURE_MEMORY_MB");
        if (text == nullptr || *text == '\0')
            return DefaultPictureMemoryBudget;
        char* end = nullptr;
        errno = 0;
        const long long mb = std::strtoll(text, &end, 10);
        // Nonsense falls back on the default rather than on no limit.
        if (errno != 0 || *end != '\0' || mb <= 0 || mb > (int64_t{1} << 40))
            return DefaultPictureMemoryBudget;
        return int64_t(mb) << 20;
    }();
    return budget;
}

bool PeekPictureSize(const std::string& path, int32_t& width, int32_t& height)
{
    const TFormat format = HasExtension(path) ? FormatOf(path) : TFormat::None;
    if (format != TFormat::Jpeg && format != TFormat::Png)
        return false;
    // A PNG's size is in its first chunk; a JPEG's header and the metadata
    // before it (Exif, colour profiles) are rarely more than a few hundred
    // kilobytes.
    constexpr size_t JpegHeaderBytes = size_t{1} << 20;
    try {
        size_t size = 0;
        const std::unique_ptr<uint8_t[]> bytes =
            ReadFile(path, size, format == TFormat::Png ? picture::PngHeaderBytes : JpegHeaderBytes);
        const bool read = format == TFormat::Png ? picture::PngSize(bytes.get(), size, width, height)
                                                 : JpegSize(bytes.get(), size, width, height);
        if (!read)
            return false;
        picture::CheckPictureSize(width, height);
        return true;
    } catch (const TDecodeError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void DecodePicture(const uint8_t* data, size_t size, std::string_view name, TBitmap& out,
                   const TLoadOptions& options)
{
    const bool named = HasExtension(name);
    try {
        Decode(data, size, FormatOf(name), name, out, options);
    } catch (const TDecodeError& e) {
        if (!named)
            throw;
        throw TDecodeError(std::string(name) + ": " + e.what());
    } catch (const TBitmapError& e) {
        throw TDecodeError(named ? std::string(name) + ": " + e.what() : std::string(e.what()));
    } catch (const std::bad_alloc&) {
        throw TDecodeError(named ? std::string(name) + ": " + picture::OutOfMemory : picture::OutOfMemory);
    }
}

namespace picture {

void CheckPictureSize(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        throw TDecodeError("a picture of no pixels");
    if (width > TBitmap::MaxSide || height > TBitmap::MaxSide || width * height > MaxPicturePixels)
        throw TDecodeError("picture of " + std::to_string(width) + "x" + std::to_string(height) +
                           " pixels is over the limit");
}

void CheckWorkingMemory(int64_t bytes, int64_t budget)
{
    if (bytes > budget)
        throw TDecodeError(WorkingMemoryMessage(bytes, budget));
}

bool IsPng(const uint8_t* data, size_t size)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

} // namespace picture

} // namespace mirel
