// The file side of the show: the built-in pictures, the folder they are
// staged in, the listing of that folder and the clean-up.
//
// The pictures are staged into "mirel" beside the executable. When that
// folder can be neither used nor created for lack of rights (an installed
// program's folder is not writable), they go to
// $XDG_CACHE_HOME/mirel12/mirel (~/.cache when unset) instead.
//
// Staged files are written to a hidden temporary file in the same folder
// and renamed into place, so a reader never sees half a picture and a
// symbolic link planted at a staged path is replaced, never followed.
//
// The folder itself is never reached through a link either: a "mirel" that
// is a symbolic link (to a folder of the user's own photos, say) or that
// belongs to another user is refused, and once opened the folder is worked
// on through its descriptor, so a link swapped in for it later leads
// nowhere. Closing deletes only the files this run wrote that still are
// what it wrote: a user's file put in the place of a staged one stays.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

#include <sys/types.h>

namespace mirel {

struct TBuiltInPicture {
    const char* ResName;
    const char* FileName; // inside the staging folder
};

// In staging order; "SRC1" is 799 x 600 pixels, the others 774 x 600.
constexpr std::array<TBuiltInPicture, 13> BuiltInPictures{{
    {"SRC1", "01.jpg"}, {"SRC2", "02.jpg"}, {"SRC3", "03.jpg"}, {"SRC4", "04.jpg"}, {"SRC5", "05.jpg"},
    {"SRC6", "06.jpg"}, {"SRC7", "07.jpg"}, {"SRC8", "08.jpg"}, {"SRC9", "09.jpg"}, {"SRC10", "10.jpg"},
    {"SRC11", "11.jpg"}, {"SRC12", "12.jpg"}, {"SRC13", "13.jpg"},
}};

constexpr const char* PictureResType = "JPEG";
constexpr const char* StagingFolderName = "mirel";

// The file patterns the show lists, one per picture format it loads.
constexpr const char* GraphicFileMask = "*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf";

// Makes the built-in pictures readable as resources ":/JPEG/SRC1" ...; call
// once before ReadResource.
void InitBuiltInPictures();

// $XDG_CACHE_HOME, or ~/.cache when it is unset or empty.
QString DefaultCacheHome();

// The staging folder: <exeFolder>/mirel when it exists as a writable folder
// or can be created there, else <cacheHome>/mirel12/mirel, created with its
// parents. No trailing separator. Throws TShowError with the I/O error of
// the creation: "File access denied", "Invalid filename" or "I/O error <n>",
// or with the reason a folder there is refused (StagingLinkRefusal,
// StagingOwnerRefusal).
QString PrepareStagingFolder(const QString& exeFolder, const QString& cacheHome);

// Where an earlier start staged the pictures, creating nothing: the folder
// beside the executable when it is usable, else the one in the cache.
QString ChosenStagingFolder(const QString& exeFolder, const QString& cacheHome);

// Why a staging folder at path is not used.
QString StagingLinkRefusal(const QString& path);
QString StagingOwnerRefusal(const QString& path);

// An open staging folder: writes, lists and deletes relative to the folder
// it opened, whatever its path comes to name later, and remembers what it
// wrote so as to delete nothing else.
class TStagingFolder {
public:
    TStagingFolder() = default;
    ~TStagingFolder();
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;

    // Opens the folder at path itself, never a link there, and checks that
    // it belongs to the user. Throws TShowError with the reason otherwise.
    void Open(const QString& path);
    bool IsOpen() const { return fd_ >= 0; }
    const QString& Path() const { return path_; }

    // Creates or replaces name in the folder as WriteFileReplacing does, and
    // remembers the file written.
    void Write(const QString& name, const QByteArray& bytes);

    // As ListPictureFiles, for the opened folder.
    QStringList List() const;

    // Deletes the names written that still hold the very file written (same
    // device and inode); a file put in the place of one is left alone.
    // Forgets them all, so a second call deletes nothing.
    void DeleteWritten();

private:
    struct TWritten {
        QByteArray Name;
        dev_t Device;
        ino_t Inode;
    };
    int fd_ = -1;
    QString path_;
    std::vector<TWritten> written_;
};

// The bytes of a built-in resource, e.g. ("SRC1", "JPEG"). Throws TShowError
// "Resource <name> not found".
QByteArray ReadResource(const QString& resName, const QString& resType);

// Creates or replaces the file at path with bytes (through a temporary file
// and a rename). Throws TShowError "Cannot create file "<path>". <reason>".
void WriteFileReplacing(const QString& path, const QByteArray& bytes);

// The names (no folder) of the regular, visible files in folder that match
// GraphicFileMask without regard to case, ordered by name without regard to
// case. Empty when the folder cannot be read.
QStringList ListPictureFiles(const QString& folder);

// Deletes the staged pictures in folder. Files that are missing or cannot
// be deleted are passed over.
void DeleteStagedPictures(const QString& folder);

} // namespace mirel
