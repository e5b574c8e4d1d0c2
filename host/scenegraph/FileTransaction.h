// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <chrono>
#include <string>

namespace osg {

// Replaces several files as one step. A writer writes each new file to a
// temporary beside its target (temporaryPathFor) and stages it; the
// outermost transaction's commit then makes every staged file durable in one
// pass, renames each over its target in the order staged, and syncs their
// folders once each. Until then every target keeps its old content, while
// the host's own reads (its file utilities and loader) see the staged
// content through stagedPath(), so a save can be read back, checksummed and
// recorded before it is committed.
//
// A transaction opened while one is open joins it: its commit does nothing
// but report whether the joined work so far went well, and one that ends
// without commit fails the whole. The outermost transaction removes every
// temporary and every file it was told of (removeOnFailure) when it ends
// without a successful commit, so a failed save leaves the old files and
// nothing else. A process killed before the renames leaves its temporaries
// (hidden names) and the old files; killed during the renames, each target
// is its old or its new version. The next writer that keeps all others out
// removes such leftovers beside the files it writes
// (removeStaleTemporaries).
//
// Opened, staged and committed on the main thread; stagedPath may be asked
// from any thread.
class FileTransaction {
public:
    FileTransaction();
    ~FileTransaction();
    FileTransaction(const FileTransaction&) = delete;
    FileTransaction& operator=(const FileTransaction&) = delete;

    // A fresh hidden name in `path`'s folder for the new content of `path`.
    static std::string temporaryPathFor(const std::string& path);

    // `temporary` holds the complete new content of `path`. Staging the
    // same path again drops the earlier temporary.
    void stage(const std::string& temporary, const std::string& path);
    // A file made for the open save alone (a kept previous version),
    // removed when the save fails. Nothing without an open transaction.
    static void removeOnFailure(const std::string& path);

    // The outermost: sync, rename and sync the folders; false with `error`
    // ("<file>: <reason>") when a step failed, after removing what is left
    // of the temporaries. Joined: false when the transaction already failed.
    bool commit(std::string& error);

    // A temporary of a process that is still running may be older than
    // this only when its pid was reused by another process.
    static constexpr std::chrono::hours StaleAge{24};

    // Removes the temporaries left by killed saves in the folder of every
    // file staged so far: files named exactly as temporaryPathFor names them
    // whose process is gone, or which are older than StaleAge. Only a writer
    // that keeps the other writers of these files out (the program's project
    // lock) may call it. The number removed.
    int removeStaleTemporaries() const;
    // The same for one folder.
    static int removeStaleTemporaries(const std::string& folder);

    static bool isOpen();
    // The temporary staged for `path` while a transaction is open, else
    // `path` itself.
    static std::string stagedPath(const std::string& path);

private:
    bool m_outermost;
    bool m_committed = false;
};

} // namespace osg
