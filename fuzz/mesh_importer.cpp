// Licensed under the MIT licence; see LICENSE.
// libFuzzer target for the mesh importer on the formats whose headers
// declare element counts that Assimp allocates for up front (OFF, PLY).
// The first input byte picks the suffix; the rest is the file. Run it with
// -rss_limit_mb=256: a header the importer believed would exceed it.
#include "scenegraph/SceneGraph.h"

#include "import/ksMeshImporter.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const suffixes[] = {"off", "ply"};
    // The importer reads paths; one file per process, rewritten per input.
    const std::string path = "/tmp/fuzz_mesh_importer." + std::to_string(::getpid()) + "." + suffixes[data[0] % 2];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
    QString error;
    ksMeshImporter::read(QString::fromStdString(path), &error);
    ::unlink(path.c_str());
    return 0;
}
