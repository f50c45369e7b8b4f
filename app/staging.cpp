#include "app/staging.h"

#include "app/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QResource>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

bool IsUsableFolder(const QByteArray& path)
{
    struct stat st{};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.constData(), W_OK | X_OK) == 0;
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
    if (IsUsableFolder(primaryPath))
        return primary;
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
    if (const int error = MakePath(fallbackPath))
        throw TShowError(IoErrorText(error));
    if (::access(fallbackPath.constData(), W_OK | X_OK) != 0)
        throw TShowError(IoErrorText(errno));
    return fallback;
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
    const auto fail = [&](int error) {
        throw TShowError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    };
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
    const QByteArray name = slash < 0 ? target : target.mid(slash + 1);

    // A hidden name of our own, created exclusively: never an existing file
    // or a link that someone put there.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder + '.' + name + '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            fail(errno);
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temp.constData());
            fail(error);
        }
        data += n;
        left -= n;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        fail(error);
    }
    // rename replaces whatever has the name, a link included, without
    // following it.
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        fail(error);
    }
}

QStringList ListPictureFiles(const QString& folder)
{
    QDir dir(folder);
    dir.setNameFilters(QString::fromLatin1(GraphicFileMask).split(QLatin1Char(';')));
    // Files only (links to files count), no hidden ones, no sockets, devices
    // or broken links; the name filters ignore case unless told otherwise.
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

void DeleteStagedPictures(const QString& folder)
{
    for (const TBuiltInPicture& picture : BuiltInPictures)
        ::unlink(QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(picture.FileName)).constData());
}

} // namespace mirel
