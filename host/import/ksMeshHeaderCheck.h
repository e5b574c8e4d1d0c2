// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Refuses mesh files whose header declares more elements than the file can
// hold, before Assimp allocates for them: its OFF and PLY readers allocate
// and clear every declared element up front, so 300 bytes can claim
// hundreds of gigabytes. An element takes at least a few bytes in the file
// (an OFF vertex "0 0 0\n", a PLY element one byte), which bounds what an
// honest header can declare. A PLY header must also end within the bytes
// checked: Assimp reads one without "end_header" forever.
class ksMeshHeaderCheck
{
public:
    // Bytes of the file's start that check() wants to see.
    static constexpr std::size_t HeadSize = 4096;

    // Empty when the counts fit (or the format declares none); else why
    // not, e.g. "declares 353535235358 vertices and 6 faces, more than its
    // 309 bytes can hold". `suffix` is lower case.
    static QString check(const QString& suffix, const char* head, std::size_t headSize, std::uint64_t fileSize);
};
