// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>

class ksTalvikHost;

// Checks and loads the project file a command names. Every check runs before
// anything is loaded or written, so bad input leaves the disk as it was.
class ksProjectFile
{
public:
    // Empty when `path` names a readable ".zmb" file; else why not, e.g.
    // "no such file". With `mayBeNew` a missing file is fine when its folder
    // exists and is writable.
    static QString check(const QString& path, bool mayBeNew = false);
    // Empty when `path` is a regular file that can be read; else why not
    // ("not a regular file", "not readable (Permission denied)"). Never
    // blocks, whatever the path names.
    static QString checkReadable(const QString& path);
    // check(), reporting the reason when there is one; true when usable.
    static bool usable(const QString& path, bool mayBeNew = false);
    // Empty when a save can replace the project at `path` (its folder takes
    // new files, and an existing project is not read-only); else why not.
    static QString checkWritable(const QString& path);

    // Loads the project into a fresh scene; false with the reason.
    static bool load(ksTalvikHost& host, const QString& path, QString& error);

    // "talvik: <file>: <reason>" on standard error.
    static void report(const QString& file, const QString& reason);
};
