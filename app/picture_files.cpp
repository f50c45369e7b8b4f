#include "app/picture_files.h"

#include "picture/load.h"

#include <QCollator>
#include <QLocale>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <random>

namespace mirel {

namespace {

void ListFolder(const QString& folder, bool recursive, const QCollator& order, QStringList& out)
{
    QDir dir(folder);
    QStringList files = dir.entryList(QDir::Files | QDir::Readable);
    files.removeIf([&dir](const QString& name) {
        return !IsPictureInFolder(QFile::encodeName(dir.filePath(name)).toStdString());
    });
    std::sort(files.begin(), files.end(), order);
    for (const QString& name : files)
        out << dir.filePath(name);
    if (!recursive)
        return;
    QStringList folders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    std::sort(folders.begin(), folders.end(), order);
    for (const QString& name : folders)
        ListFolder(dir.filePath(name), recursive, order, out);
}

} // namespace

TPictureFiles ListPictures(const QStringList& paths, bool recursive)
{
    QCollator order{QLocale(QLocale::English)};
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);
    TPictureFiles result;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            ListFolder(path, recursive, order, result.Files);
        else if (info.isFile())
            result.Files << path;
        else
            result.Problems << QStringLiteral("%1: no such file or folder").arg(path);
    }
    return result;
}

void ShuffleFiles(QStringList& files)
{
    std::random_device seed;
    std::mt19937 generator(seed());
    std::shuffle(files.begin(), files.end(), generator);
}

} // namespace mirel
