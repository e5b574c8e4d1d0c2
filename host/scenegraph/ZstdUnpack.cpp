// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ZstdUnpack.h"

#include <zstd.h>

#include <algorithm>
#include <memory>


namespace osg {

std::string checkUnpackedSize(UInt64 stored, UInt64 declared)
{
    // A frame's own header takes a few bytes, so tiny sections get that much slack.
    if (declared / MaxUnpackRatio <= std::max<UInt64>(stored, 64))
        return std::string();
    return "compressed data: announces " + std::to_string(declared) + " bytes from " + std::to_string(stored)
           + " (more than " + std::to_string(MaxUnpackRatio) + " to 1)";
}

bool unpackZstdFrame(const UInt8* data, std::size_t size, UInt64 declared, PageBuffer& out, std::string& error)
{
    error = checkUnpackedSize(size, declared);
    if (!error.empty())
        return false;
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    const auto grow = [&](UInt64 to) {
        if (out.resize(std::size_t(std::min(declared, to))))
            return true;
        error = "not enough memory to unpack " + std::to_string(declared) + " bytes";
        return false;
    };
    if (!ctx) {
        error = "not enough memory";
        return false;
    }
    if (!grow(std::max<UInt64>(UInt64(size) * 4, 1 << 16)))
        return false;
    ZSTD_inBuffer in{data, size, 0};
    std::size_t produced = 0;
    for (;;) {
        if (produced == out.size() && produced < declared && !grow(UInt64(out.size()) * 2))
            return false;
        // Once the announced bytes are all there, one more byte of room
        // shows whether the frame goes on.
        UInt8 probe = 0;
        ZSTD_outBuffer o = produced < out.size() ? ZSTD_outBuffer{out.data(), out.size(), produced}
                                                 : ZSTD_outBuffer{&probe, 1, 0};
        const std::size_t r = ZSTD_decompressStream(ctx.get(), &o, &in);
        if (ZSTD_isError(r)) {
            error = std::string("compressed data: ") + ZSTD_getErrorName(r);
            return false;
        }
        if (o.dst == &probe) {
            if (o.pos > 0) {
                error = "compressed data: more than the announced " + std::to_string(declared) + " bytes";
                return false;
            }
        } else if (o.pos > produced) {
            produced = o.pos;
            if (r != 0)
                continue;
        }
        if (r == 0)
            break;
        if (in.pos == in.size && (o.dst == &probe || o.pos < out.size())) {
            error = "compressed data: truncated";
            return false;
        }
    }
    if (produced != declared) {
        error = "compressed data: holds " + std::to_string(produced) + " bytes, not the announced "
                + std::to_string(declared);
        return false;
    }
    if (in.pos != in.size) {
        error = "compressed data: " + std::to_string(in.size - in.pos) + " unexpected bytes after the frame";
        return false;
    }
    return true;
}

} // namespace osg
