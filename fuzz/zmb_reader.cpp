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
    {
        ksZmbReader reader;
        if (reader.readMemory(data, size) != bool(reader.getRoot()))
            std::abort();
    }
    std::vector<std::uint8_t> sealed(data, data + size);
    if (ksZmbWriter::resealChecksums(sealed)) {
        ksZmbReader reader;
        const bool ok = reader.readMemory(sealed.data(), sealed.size());
        if (ok == !reader.getError().empty())
            std::abort(); // success leaves no error, a failure always says why
        if (ok) {
            // What was read writes back and reads again.
            const osg::NodeRefPtr root = reader.takeRoot();
            const std::vector<std::uint8_t> again = ksZmbWriter(root.get(), reader.getStash(), reader.getMetadata()).toBytes();
            ksZmbReader second;
            if (!second.readMemory(again.data(), again.size()))
                std::abort();
        }
    }
    return 0;
}
