// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>

#include <utility>

// What a file operation that gives no value returns (a save, a project
// load): whether it worked, and when not, why, in words a user can act on
// ("No space left on device"). Reads that give a value carry the same message
// beside it (ksZmbReadResult, osg::SceneReadResult), so no caller has to
// find a reason in the log or in a "last error".
struct ksFileResult {
    bool ok = false;
    QString message;

    static ksFileResult success() { return {true, QString()}; }
    static ksFileResult failure(QString message) { return {false, std::move(message)}; }

    explicit operator bool() const { return ok; }
};
