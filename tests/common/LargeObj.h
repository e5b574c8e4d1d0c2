// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdint>
#include <string>

// An OBJ file of at least `bytes` bytes: a triangle fan over vertices at
// pseudo-random places (fixed seed), so that neither the file nor a scene
// saved from it packs small. Files above Assimp's 16 MiB read buffer report
// their read on the way.
inline bool writeLargeObj(const QString& path, std::size_t bytes)
{
    const std::size_t vertices = bytes / 40 + 3;
    std::string text;
    text.reserve(vertices * 52);
    std::uint32_t seed = 16;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    char line[64];
    for (std::size_t i = 0; i < vertices; ++i)
        text.append(line, std::size_t(std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", next(), next(), next())));
    for (std::size_t i = 2; i < vertices; ++i)
        text.append(line, std::size_t(std::snprintf(line, sizeof line, "f 1 %zu %zu\n", i, i + 1)));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.data(), qint64(text.size())) == qint64(text.size());
}
