// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdint>
#include <vector>

// One zstd frame of `blocks` RLE blocks, each four bytes that unpack to
// 128 KiB of one byte (32,768 to 1): the smallest file that unpacks to the
// most, made by hand so that tests need no compressor.
inline std::vector<std::uint8_t> zstdRleFrame(int blocks)
{
    // Magic; a frame header without a content size; a 128 KiB window.
    std::vector<std::uint8_t> frame{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x38};
    for (int i = 0; i < blocks; ++i) {
        const std::uint32_t header = (i + 1 == blocks ? 1u : 0u) | 1u << 1 | (128u << 10) << 3;
        frame.insert(frame.end(), {std::uint8_t(header), std::uint8_t(header >> 8), std::uint8_t(header >> 16), 0});
    }
    return frame;
}
