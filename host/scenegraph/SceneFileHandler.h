// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"
#include "scenegraph/RegularFile.h"

#include <string>
#include <vector>

namespace osg {

// What a read gives, as osgDB's ReadResult: the node, or NullFC and why.
struct SceneReadResult {
    NodeRefPtr node;
    // Empty when the node was read; else what and where
    // ("/a/b.osb: record 12 (Transform).Matrix: truncated").
    std::string message;

    explicit operator bool() const { return bool(node); }
};

// Reads and writes ".osb" scene files:
//
//   magic 0x89 'O' 'S' 'B' '\r' '\n' 0x1A '\n', major u16, minor u16, flags u32
//   flags bit 0 clear: one scene block (SceneBlockFormat.h) up to the end of the file
//   flags bit 0 set:   block size u64, then one zstd frame holding the block
//
// A reader takes files of its own major version and any minor version up to
// its own. The block holds exactly one root, a node.
//
// Writing goes to a temporary file beside the target, which is flushed to
// disk and then renamed over the target: a failed write leaves the previous
// file as it was; it returns false or an empty vector, and getLastError()
// says why. Reading trusts nothing in the file (see SceneDecoder), builds
// nothing unless the whole file is valid, and keeps no state: each read
// gives its node together with its message.
class SceneFileHandler {
public:
    static SceneFileHandler& the();

    bool write(const NodePtr& node, const std::string& path, bool compressed = false);
    // The same for the whole file's bytes held in memory.
    std::vector<UInt8> writeToMemory(const NodePtr& node, bool compressed = false);
    // The message of the last failed write (or read through read() or
    // readFromMemory()).
    const std::string& getLastError() const { return m_lastError; }

    // `progress`, when given, follows the bytes read of a large file.
    static SceneReadResult readScene(const std::string& path, const ReadProgress& progress = {});
    static SceneReadResult readScene(const UInt8* data, std::size_t size);

    // Reads that leave their message in getLastError(), for the callers
    // that have not moved to readScene yet.
    NodeRefPtr read(const std::string& path);
    NodeRefPtr readFromMemory(const UInt8* data, std::size_t size);

    // The largest scene block a compressed file may unpack to.
    static constexpr UInt64 MaxBlockSize = UInt64(1) << 36;

private:
    SceneFileHandler();
    // Empty when the header is one this reader reads; else why not.
    static std::string checkHeader(const UInt8* data, std::size_t size);
    // `ownBuffer`: the bytes are the handler's and go after the decode.
    static SceneReadResult decodeFile(const UInt8* data, std::size_t size, const std::string& context,
                                      bool ownBuffer);
    bool fail(const std::string& context, const std::string& message);

    std::string m_lastError;
};

} // namespace osg
