#include "picture/load.h"

#include "picture/decoders.h"
#include "surface/rect.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel {

namespace {

enum class TFormat { None, Jpeg, Png, Webp, Bmp, Ico };

std::atomic<const TOtherPictureFormats*> OtherFormats{nullptr};

// The file name of a path without its folder.
std::string_view BaseName(std::string_view path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasExtension(std::string_view path) { return BaseName(path).find('.') != std::string_view::npos; }

// The extension of a file name or path in lower case ("pictures/a.JPG" ->
// "jpg"); empty without one.
std::string Extension(std::string_view name)
{
    name = BaseName(name);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return ext;
}

bool Starts(const uint8_t* data, size_t size, std::string_view magic, size_t at = 0)
{
    return size >= at + magic.size() && std::memcmp(data + at, magic.data(), magic.size()) == 0;
}

// The format of a file's first bytes, as its decoder will check them. An
// icon's four bytes of signature are those of a true-colour TGA too; a TGA
// has no icon count behind them.
TFormat FormatOf(const uint8_t* data, size_t size)
{
    if (Starts(data, size, "\xFF\xD8\xFF"))
        return TFormat::Jpeg;
    if (picture::IsPng(data, size))
        return TFormat::Png;
    if (Starts(data, size, "RIFF") && Starts(data, size, "WEBP", 8))
        return TFormat::Webp;
    if (Starts(data, size, "BM"))
        return TFormat::Bmp;
    if (size >= 6 && data[0] == 0 && data[1] == 0 && (data[2] == 1 || data[2] == 2) && data[3] == 0 &&
        (data[4] | data[5]) != 0)
        return TFormat::Ico;
    return TFormat::None;
}

// Formats only the other formats' reader reads, known by a signature that
// leaves no doubt, with an extension that reader names them by.
struct TOtherSignature {
    std::string_view Magic, Name, Extension;
};
constexpr TOtherSignature OtherSignatures[] = {
    {"GIF87a", "GIF", "gif"},
    {"GIF89a", "GIF", "gif"},
    {std::string_view("II*\0", 4), "TIFF", "tiff"},
    {std::string_view("MM\0*", 4), "TIFF", "tiff"},
};

const TOtherSignature* OtherSignatureOf(const uint8_t* data, size_t size)
{
    for (const TOtherSignature& s : OtherSignatures)
        if (Starts(data, size, s.Magic))
            return &s;
    return nullptr;
}

// What the content is, for a file no decoder takes: the format where the
// signature tells it, else its first bytes.
[[noreturn]] void RefuseContent(const uint8_t* data, size_t size)
{
    if (const TOtherSignature* known = OtherSignatureOf(data, size))
        throw TDecodeError("a " + std::string(known->Name) +
                           " picture, which this program does not read (it reads JPEG, PNG, WebP, BMP and ICO)");
    std::string first;
    for (size_t i = 0; i < std::min<size_t>(size, 4); ++i) {
        static const char digits[] = "0123456789ABCDEF";
        first += first.empty() ? "0x" : " 0x";
        first += digits[data[i] >> 4];
        first += digits[data[i] & 15];
    }
    throw TDecodeError("not a picture file (starts with " + first + ")");
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

void Decode(const uint8_t* data, size_t size, TBitmap& out, TLoadOptions options)
{
    if (size == 0)
        throw TDecodeError("empty file");
    if (options.MemoryBudget <= 0)
        options.MemoryBudget = PictureMemoryBudget();
    const TFormat format = FormatOf(data, size);
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
        DecodeJpeg(data, size, out, options.FitWidth, options.FitHeight, options.MemoryBudget,
                   options.AcceptTruncated);
        return;
    case TFormat::Png: picture::DecodePng(data, size, out, options); return;
    case TFormat::Webp: picture::DecodeWebp(data, size, out, options); return;
    case TFormat::Bmp: picture::DecodeBmp(data, size, out, options); return;
    case TFormat::Ico: picture::DecodeIco(data, size, out); return;
    case TFormat::None: break;
    }
    const TOtherPictureFormats* other = OtherFormats.load(std::memory_order_acquire);
    if (other == nullptr || !other->Decode(data, size, out, options))
        RefuseContent(data, size);
}

} // namespace

void SetOtherPictureFormats(const TOtherPictureFormats* formats)
{
    OtherFormats.store(formats, std::memory_order_release);
}

bool IsPictureFile(std::string_view path)
{
    static constexpr std::string_view own[] = {"jpg", "jpeg", "jpe", "jfif", "png", "webp", "bmp", "dib", "ico", "cur"};
    const std::string ext = Extension(path);
    if (ext.empty())
        return false;
    if (std::find(std::begin(own), std::end(own), ext) != std::end(own))
        return true;
    const TOtherPictureFormats* other = OtherFormats.load(std::memory_order_acquire);
    return other != nullptr && other->ReadsExtension(ext);
}

bool IsPictureContent(const std::string& path)
{
    // Enough for every signature above, and for an icon's count.
    constexpr size_t SignatureBytes = 12;
    try {
        size_t size = 0;
        const std::unique_ptr<uint8_t[]> bytes = ReadFile(path, size, SignatureBytes);
        if (FormatOf(bytes.get(), size) != TFormat::None)
            return true;
        const TOtherSignature* known = OtherSignatureOf(bytes.get(), size);
        const TOtherPictureFormats* other = OtherFormats.load(std::memory_order_acquire);
        return known != nullptr && other != nullptr && other->ReadsExtension(known->Extension);
    } catch (const TDecodeError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool IsPictureInFolder(const std::string& path)
{
    return IsPictureFile(path) || (!HasExtension(path) && IsPictureContent(path));
}

void LoadPicture(const std::string& path, TBitmap& out, const TLoadOptions& options)
{
    try {
        size_t size = 0;
        const std::unique_ptr<uint8_t[]> bytes = ReadFile(path, size);
        Decode(bytes.get(), size, out, options);
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
    // A PNG's size is in its first chunk; a JPEG's header and the metadata
    // before it (Exif, colour profiles) are rarely more than a few hundred
    // kilobytes.
    constexpr size_t JpegHeaderBytes = size_t{1} << 20;
    try {
        size_t size = 0;
        std::unique_ptr<uint8_t[]> bytes = ReadFile(path, size, picture::PngHeaderBytes);
        bool read = false;
        switch (FormatOf(bytes.get(), size)) {
        case TFormat::Png: read = picture::PngSize(bytes.get(), size, width, height); break;
        case TFormat::Jpeg:
            bytes = ReadFile(path, size, JpegHeaderBytes);
            read = JpegSize(bytes.get(), size, width, height);
            break;
        default: break;
        }
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
        Decode(data, size, out, options);
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
