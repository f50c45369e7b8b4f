#include "app/staging.h"

#include "app/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QResource>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace mirel {

namespace {

QString IoErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("File access denied");
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return QStringLiteral("Invalid filename");
    default:
        return QStringLiteral("I/O error %1").arg(error);
    }
}

bool IsDeniedError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// A link in the folder's place is not a folder to stage in, whatever it
// leads to.
bool IsUsableFolder(const QByteArray& path)
{
    struct stat st{};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.constData(), W_OK | X_OK) == 0;
}

// Throws the refusal of a folder the show would stage in but must not: a
// link, or (with checkOwner) a folder of another user's. Nothing to say
// about anything else.
void RefuseForeignFolder(const QString& folder, bool checkOwner)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return;
    if (S_ISLNK(st.st_mode))
        throw TShowError(StagingLinkRefusal(folder));
    if (checkOwner && S_ISDIR(st.st_mode) && st.st_uid != ::geteuid())
        throw TShowError(StagingOwnerRefusal(folder));
}

[[noreturn]] void FailCreate(const QString& path, int error)
{
    throw TShowError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

// Writes bytes to name in the folder open as dirFd, through a hidden
// temporary file renamed into place; shownPath names the file in errors.
// Returns what was written, as it is on disk.
struct stat WriteReplacingAt(int dirFd, const QByteArray& name, const QString& shownPath, const QByteArray& bytes)
{
    // A hidden name of our own, created exclusively: never an existing file
    // or a link that someone put there.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = '.' + name + '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt) + ".tmp";
        fd = ::openat(dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            FailCreate(shownPath, errno);
    }
    const auto failAfterCreate = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlinkat(dirFd, temp.constData(), 0);
        FailCreate(shownPath, error);
    };
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failAfterCreate(n < 0 ? errno : EIO);
        data += n;
        left -= n;
    }
    struct stat written{};
    if (::fstat(fd, &written) != 0)
        failAfterCreate(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        failAfterCreate(errno);
    // rename replaces whatever has the name, a link included, without
    // following it.
    if (::renameat(dirFd, temp.constData(), dirFd, name.constData()) != 0)
        failAfterCreate(errno);
    return written;
}

bool MatchesGraphicMask(const QString& name)
{
    static const QStringList suffixes = [] {
        QStringList list;
        for (const QString& pattern : QString::fromLatin1(GraphicFileMask).split(QLatin1Char(';')))
            list << pattern.mid(1); // "*.jpg" -> ".jpg"
        return list;
    }();
    for (const QString& suffix : suffixes)
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    return false;
}

// The picture files in the folder open as dirFd; see ListPictureFiles.
QStringList ListPictureFilesAt(int dirFd)
{
    QStringList names;
    // fdopendir takes the descriptor over: give it one of its own.
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (!MatchesGraphicMask(name))
            continue;
        // Files only (links to files count), no sockets, devices or broken
        // links.
        struct stat st{};
        if (::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

// mkdir -p; returns 0 or the errno of the step that failed.
int MakePath(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1); ; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (!part.isEmpty() && ::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    struct stat st{};
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

QString FallbackFolder(const QString& cacheHome)
{
    return cacheHome + QStringLiteral("/mirel12/") + QLatin1String(StagingFolderName);
}

QString PrimaryFolder(const QString& exeFolder)
{
    QString folder = exeFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QLatin1String(StagingFolderName);
}

} // namespace

QString DefaultCacheHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg;
}

QString PrepareStagingFolder(const QString& exeFolder, const QString& cacheHome)
{
    const QString primary = PrimaryFolder(exeFolder);
    const QByteArray primaryPath = QFile::encodeName(primary);
    if (IsUsableFolder(primaryPath)) {
        RefuseForeignFolder(primary, true);
        return primary;
    }
    // A link there is refused rather than passed over for the cache: the
    // user put it there and should hear why it is not used. A folder that
    // is not ours to write (an installed program's) sends the pictures to
    // the cache as before.
    RefuseForeignFolder(primary, false);
    struct stat st{};
    if (::stat(primaryPath.constData(), &st) != 0) {
        if (::mkdir(primaryPath.constData(), 0777) == 0)
            return primary;
        if (!IsDeniedError(errno))
            throw TShowError(IoErrorText(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        throw TShowError(IoErrorText(EEXIST)); // a file is in the folder's place
    }
    // The executable's folder is not ours to write: stage in the user's cache.
    const QString fallback = FallbackFolder(cacheHome);
    const QByteArray fallbackPath = QFile::encodeName(fallback);
    RefuseForeignFolder(fallback, true);
    if (const int error = MakePath(fallbackPath))
        throw TShowError(IoErrorText(error));
    if (::access(fallbackPath.constData(), W_OK | X_OK) != 0)
        throw TShowError(IoErrorText(errno));
    RefuseForeignFolder(fallback, true);
    return fallback;
}

QString StagingLinkRefusal(const QString& path)
{
    return QStringLiteral("The pictures are not staged in \"%1\": it is a symbolic link, and the show writes and "
                          "deletes files only in a real folder of its own")
        .arg(path);
}

QString StagingOwnerRefusal(const QString& path)
{
    return QStringLiteral("The pictures are not staged in \"%1\": the folder belongs to another user").arg(path);
}

QString ChosenStagingFolder(const QString& exeFolder, const QString& cacheHome)
{
    const QString primary = PrimaryFolder(exeFolder);
    return IsUsableFolder(QFile::encodeName(primary)) ? primary : FallbackFolder(cacheHome);
}

QByteArray ReadResource(const QString& resName, const QString& resType)
{
    const QString path = QStringLiteral(":/") + resType + QLatin1Char('/') + resName;
    const QResource resource(path);
    if (!resource.isValid() || !QFileInfo(path).isFile())
        throw TShowError(QStringLiteral("Resource %1 not found").arg(resName));
    return resource.uncompressedData();
}

void WriteFileReplacing(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray name = slash < 0 ? target : target.mid(slash + 1);
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        FailCreate(path, errno);
    try {
        WriteReplacingAt(dirFd, name, path, bytes);
    } catch (...) {
        ::close(dirFd);
        throw;
    }
    ::close(dirFd);
}

QStringList ListPictureFiles(const QString& folder)
{
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return {};
    QStringList names = ListPictureFilesAt(dirFd);
    ::close(dirFd);
    return names;
}

void DeleteStagedPictures(const QString& folder)
{
    for (const TBuiltInPicture& picture : BuiltInPictures)
        ::unlink(QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(picture.FileName)).constData());
}

TStagingFolder::~TStagingFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TStagingFolder::Open(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st{};
        // O_NOFOLLOW fails a link with ELOOP, O_DIRECTORY a link to a folder
        // with ENOTDIR on some systems: look at what is there.
        if (error == ELOOP || (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)))
            throw TShowError(StagingLinkRefusal(path));
        throw TShowError(IoErrorText(error));
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        throw TShowError(StagingOwnerRefusal(path));
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    path_ = path;
    written_.clear();
}

void TStagingFolder::Write(const QString& name, const QByteArray& bytes)
{
    const QByteArray encoded = QFile::encodeName(name);
    const struct stat st = WriteReplacingAt(fd_, encoded, path_ + QLatin1Char('/') + name, bytes);
    // Written again: the earlier file under the name is gone.
    std::erase_if(written_, [&](const TWritten& w) { return w.Name == encoded; });
    written_.push_back({encoded, st.st_dev, st.st_ino});
}

QStringList TStagingFolder::List() const
{
    return fd_ >= 0 ? ListPictureFilesAt(fd_) : QStringList();
}

void TStagingFolder::DeleteWritten()
{
    for (const TWritten& w : std::exchange(written_, {})) {
        struct stat st{};
        if (::fstatat(fd_, w.Name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_dev == w.Device && st.st_ino == w.Inode)
            ::unlinkat(fd_, w.Name.constData(), 0);
    }
}

} // namespace mirel
