// Licensed under the MIT licence; see LICENSE.
// libFuzzer target for the ".zmb" reader. Each input is read twice: as it
// is (the checksums turn away almost every mutation at the door), and with
// its checksums recomputed, so that mutations reach the table, the metadata
// and stash decoders, zstd and the scene decoder behind them.
#include "scenegraph/SceneGraph.h"

#include "scene/ksZmbReader.h"
#include "scene/ksZmbWriter.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const ksZmbReadResult result = ksZmbReader::read(data, size); bool(result) != bool(result.root))
        std::abort();
    std::vector<std::uint8_t> sealed(data, data + size);
    if (ksZmbWriter::resealChecksums(sealed)) {
        const ksZmbReadResult result = ksZmbReader::read(sealed.data(), sealed.size());
        // A success gives a scene, a failure always says why.
        if (bool(result) != bool(result.root))
            std::abort();
        if (result) {
            // What was read writes back and reads again.
            const std::vector<std::uint8_t> again = ksZmbWriter(result.root.get(), result.stash, result.metadata).toBytes();
            if (!ksZmbReader::read(again.data(), again.size()))
                std::abort();
        }
    }
    return 0;
}
