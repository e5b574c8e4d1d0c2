// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"
#include "scenegraph/RegularFile.h"

#include <string>
#include <vector>

namespace osg {

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
// file as it was. Reading trusts nothing in the file (see SceneDecoder) and
// builds nothing unless the whole file is valid. Failures return false or
// NullFC; getLastError() says what and where.
class SceneFileHandler {
public:
    static SceneFileHandler& the();

    bool write(const NodePtr& node, const std::string& path, bool compressed = false);
    // `progress`, when given, follows the bytes read of a large file.
    NodeRefPtr read(const std::string& path, const ReadProgress& progress = {});

    // The same for the whole file's bytes held in memory.
    std::vector<UInt8> writeToMemory(const NodePtr& node, bool compressed = false);
    NodeRefPtr readFromMemory(const UInt8* data, std::size_t size);

    const std::string& getLastError() const { return m_lastError; }

    // The largest scene block a compressed file may unpack to.
    static constexpr UInt64 MaxBlockSize = UInt64(1) << 36;

private:
    SceneFileHandler();
    bool checkHeader(const UInt8* data, std::size_t size, const std::string& context);
    // `ownBuffer`: the bytes are the handler's and go after the decode.
    NodeRefPtr decodeFile(const UInt8* data, std::size_t size, const std::string& context, bool ownBuffer);
    bool fail(const std::string& context, const std::string& message);

    std::string m_lastError;
};

} // namespace osg
