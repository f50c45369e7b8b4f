// The pictures a command line names: the picture files of the folders
// (and, recursively, of their sub-folders) and the files given themselves.
#pragma once

#include <QString>
#include <QStringList>

namespace mirel {

struct TPictureFiles {
    QStringList Files;    // full paths, in show order
    QStringList Problems; // one line each: a path that is neither a folder nor a readable file
};

// Lists paths: a folder contributes its picture files (those the loader
// reads, by extension or, without one, by content; hidden ones left out), with recursive those of its
// sub-folders too (links to folders are not followed, so no loop); a file
// is taken as it is, whatever its name. Each folder's pictures come in
// natural order (file2 before file10, letter case aside), files of a
// folder before its sub-folders; the paths keep their order.
TPictureFiles ListPictures(const QStringList& paths, bool recursive);

// A random order, different at every start.
void ShuffleFiles(QStringList& files);

} // namespace mirel
