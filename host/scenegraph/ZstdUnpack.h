// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/MemoryPages.h"

#include <cstddef>
#include <string>

namespace osg {

// Files announce how large their compressed parts unpack to. zstd turns a
// few bytes into gigabytes (a frame of RLE blocks does 32,768 to 1), so an
// announced size is believed only up to this many times the stored size.
// Decoding a scene block takes up to about 16 times its size in memory, so
// this keeps a file of 1 MiB within 256 MiB; real scene data packs 1.5 to 5
// to 1 at the writers' levels, and they store as it is anything tighter.
inline constexpr UInt64 MaxUnpackRatio = 8;

// Empty when `declared` unpacked bytes are believable for `stored` bytes;
// else why not.
std::string checkUnpackedSize(UInt64 stored, UInt64 declared);

// Unpacks one zstd frame that must yield exactly `declared` bytes (checked
// with checkUnpackedSize first). The output grows with what the frame
// really yields, never with what it claims, and decoding stops the moment
// it yields more than declared. False with `error` set on any fault.
bool unpackZstdFrame(const UInt8* data, std::size_t size, UInt64 declared, PageBuffer& out, std::string& error);

} // namespace osg
