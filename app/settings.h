// The show's settings store: a key of string values, kept as an INI file.
//
// The key "software\mirel12" is the file $XDG_CONFIG_HOME/software/mirel12.ini
// (~/.config when the variable is unset), in the form QSettings writes, with
// the values under [General]:
//
//   [General]
//   reg_Showpause=8
//   reg_photodir=c:\\  (a backslash, escaped)
//   reg_phototarget=1
//
// Value names compare without regard to case: a value written as
// "reg_Showpause" is read back as "reg_showpause", and writing a name that
// exists in another case replaces that value under its first spelling.
//
// A key that exists but cannot be read reads as empty values; of a file
// larger than MaxKeyFileSize only the whole lines of its beginning are read.
// A key that cannot be created makes every
// write fail with "Failed to set data for '<name>'". Reading needs only read
// access, so a settings file that the user may read but not write still
// works. Every write replaces the file with a complete new one (a temporary
// file renamed into place), so a reader never sees a file half written, and
// a symbolic link at the key's place is replaced, not written through.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QSettings;
class QTemporaryFile;

namespace mirel {

class TRegistry {
public:
    static constexpr qint64 MaxKeyFileSize = 64 * 1024;

    // configHome: the folder holding the keys, as $XDG_CONFIG_HOME.
    explicit TRegistry(QString configHome);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // $XDG_CONFIG_HOME, or ~/.config when it is unset or empty.
    static QString DefaultConfigHome();

    // The file that stands for key, e.g. "software\mirel12" ->
    // <configHome>/software/mirel12.ini.
    QString KeyFile(const QString& key) const;

    // True when the key's file exists and can be read.
    bool KeyExists(const QString& key) const;

    // Opens the key, creating its file (and folders) first when canCreate.
    // Returns false when the key can be neither read nor created; reads are
    // then empty and writes fail.
    bool OpenKey(const QString& key, bool canCreate);
    void CloseKey();

    // The value's text; empty when the value or the key is missing.
    QString ReadString(const QString& name) const;
    // Stores the value at once. Throws TShowError
    // "Failed to set data for '<name>'" when it cannot be stored.
    void WriteString(const QString& name, const QString& value);

private:
    QString FindName(const QString& name) const;
    bool Replace(const QString& name, const QString& value);
    bool OpenBeginning();

    QString configHome_;
    QString path_;
    std::unique_ptr<QSettings> settings_;
    // The beginning of a file too large to read whole, which settings_ reads.
    std::unique_ptr<QTemporaryFile> copy_;
    bool writable_ = false;
};

// The whole of text as a 32-bit integer: optional leading spaces, an optional
// sign, then decimal digits or hexadecimal ones after "$" or "0x". Throws
// TShowError "'<text>' is not a valid integer value" otherwise, also when the
// number does not fit.
int32_t StrToInt(const QString& text);

} // namespace mirel
