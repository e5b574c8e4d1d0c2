// Licensed under the MIT licence; see LICENSE.
#include "scene/ksZmbWriter.h"

#include "scene/ksZmbHash.h"
#include "scenegraph/ByteSink.h"
#include "scenegraph/FileTransaction.h"
#include "scenegraph/SceneEncoder.h"
#include "scenegraph/ZstdUnpack.h"

#include <QBuffer>
#include <QFile>

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// A device may take part of a write (a disk that fills up): the rest is
// written again, so a failure comes with the system's reason.
bool writeAll(QIODevice& device, const void* data, qint64 size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const qint64 written = device.write(p, size);
        if (written <= 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void putU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}
void putU64(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}
std::uint64_t getU64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
std::uint32_t getU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void setU64(std::uint8_t* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

struct SectionEntry {
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint64_t storedSize = 0;
    std::uint64_t rawSize = 0;
    std::uint64_t checksum = 0;
};

std::vector<std::uint8_t> headerBytes(const std::vector<SectionEntry>& sections)
{
    std::vector<std::uint8_t> out;
    out.reserve(ksZmb::HeaderSize + sections.size() * ksZmb::SectionEntrySize);
    out.insert(out.end(), std::begin(ksZmb::Magic), std::end(ksZmb::Magic));
    putU16(out, ksZmb::MajorVersion);
    putU16(out, ksZmb::MinorVersion);
    putU32(out, std::uint32_t(sections.size()));
    putU64(out, 0); // header checksum, filled in below
    for (const SectionEntry& s : sections) {
        putU32(out, s.id);
        putU32(out, s.flags);
        putU64(out, s.storedSize);
        putU64(out, s.rawSize);
        putU64(out, s.checksum);
    }
    return out;
}

std::uint64_t headerChecksum(const std::uint8_t* header, std::size_t tableSize)
{
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    XXH3_64bits_reset(state.get());
    KS_ZMB_XXH3_UPDATE(state.get(), header, ksZmb::ChecksummedHeaderBytes);
    KS_ZMB_XXH3_UPDATE(state.get(), header + ksZmb::HeaderSize, tableSize);
    return XXH3_64bits_digest(state.get());
}

// Takes one section's raw bytes, compresses them when asked, hashes what is
// stored and writes it to the device. Small pieces (the encoder writes
// numbers one by one) are gathered first; large arrays go through at once.
class SectionSink : public osg::ByteSink
{
public:
    SectionSink(QIODevice& device, bool compress, int level, std::uint64_t rawSize)
        : m_device(device), m_hash(XXH3_createState(), &XXH3_freeState), m_level(level)
    {
        XXH3_64bits_reset(m_hash.get());
        m_buffer.reserve(BufferSize);
        if (compress) {
            m_cctx = ZSTD_createCCtx();
            ZSTD_CCtx_setParameter(m_cctx, ZSTD_c_compressionLevel, level);
            // Compression then runs beside the encoder and the writes. The
            // output does not depend on the number of workers (one or more),
            // so files stay reproducible; a zstd without threads ignores it.
            if (rawSize >= ParallelThreshold)
                ZSTD_CCtx_setParameter(m_cctx, ZSTD_c_nbWorkers, 2);
            ZSTD_CCtx_setPledgedSrcSize(m_cctx, rawSize);
            m_out.resize(ZSTD_CStreamOutSize());
            m_sampling = true;
        }
    }
    ~SectionSink() override
    {
        if (m_cctx)
            ZSTD_freeCCtx(m_cctx);
    }

    void write(const void* data, std::size_t size) override
    {
        if (m_failed)
            return;
        m_raw += size;
        if (m_buffer.size() + size <= BufferSize) {
            const auto* p = static_cast<const std::uint8_t*>(data);
            m_buffer.insert(m_buffer.end(), p, p + size);
            return;
        }
        // The first time the buffer runs over, the larger of the buffered
        // bytes and the new ones (at least half a buffer) is the sample.
        if (size >= m_buffer.size())
            decide(data, size);
        else
            decide(m_buffer.data(), m_buffer.size());
        flushBuffer();
        if (size < BufferSize) {
            const auto* p = static_cast<const std::uint8_t*>(data);
            m_buffer.insert(m_buffer.end(), p, p + size);
        } else {
            consume(data, size, false);
        }
    }

    bool finish(SectionEntry& entry, QString& error)
    {
        // A section that fits in the buffer is sampled whole.
        decide(m_buffer.data(), m_buffer.size());
        flushBuffer();
        if (m_cctx && !m_failed)
            consume(nullptr, 0, true);
        if (m_failed) {
            error = m_error;
            return false;
        }
        entry.flags = m_cctx ? ksZmb::FlagZstd : 0;
        entry.storedSize = m_stored;
        entry.rawSize = m_raw;
        entry.checksum = XXH3_64bits_digest(m_hash.get());
        return true;
    }

private:
    static constexpr std::size_t BufferSize = 1 << 20;
    static constexpr std::uint64_t ParallelThreshold = 8u << 20;
    static constexpr std::size_t SampleCount = 8;
    static constexpr std::size_t SampleLength = 16 * 1024;
    static constexpr double MinimumGain = 2.0;

    void flushBuffer()
    {
        if (!m_buffer.empty())
            consume(m_buffer.data(), m_buffer.size(), false);
        m_buffer.clear();
    }

    // Samples spread over the section's first bytes, compressed on their
    // own: unless they shrink to half their size or less, the section is
    // stored as it is. zstd is two thirds of a save's processor time, and
    // geometry (positions, normals) gains a third at best from it; a save
    // that writes those bytes plain is faster even on a quiet machine, so
    // the time is spent only where the file at least halves. The output
    // still depends only on the content.
    bool compresses(const void* data, std::size_t size) const
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        const std::size_t step = size / SampleCount;
        const std::size_t length = std::min(SampleLength, size);
        std::vector<std::uint8_t> sample;
        sample.reserve(SampleCount * length);
        for (std::size_t i = 0; i < SampleCount && i * step + length <= size; ++i)
            sample.insert(sample.end(), bytes + i * step, bytes + i * step + length);
        std::vector<std::uint8_t> packed(ZSTD_compressBound(sample.size()));
        const std::size_t n = ZSTD_compress(packed.data(), packed.size(), sample.data(), sample.size(), m_level);
        return !ZSTD_isError(n) && double(n) * MinimumGain < double(sample.size());
    }

    void decide(const void* data, std::size_t size)
    {
        if (!m_sampling)
            return;
        m_sampling = false;
        if (!compresses(data, size)) {
            ZSTD_freeCCtx(m_cctx);
            m_cctx = nullptr;
        }
    }

    void consume(const void* data, std::size_t size, bool end)
    {
        if (m_failed)
            return;
        if (!m_cctx) {
            store(data, size);
            return;
        }
        ZSTD_inBuffer in{data, size, 0};
        for (;;) {
            ZSTD_outBuffer out{m_out.data(), m_out.size(), 0};
            const std::size_t left = ZSTD_compressStream2(m_cctx, &out, &in, end ? ZSTD_e_end : ZSTD_e_continue);
            if (ZSTD_isError(left)) {
                fail(QStringLiteral("compression failed: %1").arg(QString::fromLatin1(ZSTD_getErrorName(left))));
                return;
            }
            store(out.dst, out.pos);
            if (m_failed)
                return;
            if (end ? left == 0 : in.pos == in.size)
                return;
        }
    }

    void store(const void* data, std::size_t size)
    {
        if (size == 0)
            return;
        KS_ZMB_XXH3_UPDATE(m_hash.get(), data, size);
        if (!writeAll(m_device, data, qint64(size))) {
            fail(m_device.errorString());
            return;
        }
        m_stored += size;
    }

    void fail(const QString& message)
    {
        m_failed = true;
        m_error = message;
    }

    QIODevice& m_device;
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> m_hash;
    ZSTD_CCtx* m_cctx = nullptr;
    int m_level = 0;
    // The first bytes are still to be sampled.
    bool m_sampling = false;
    std::vector<std::uint8_t> m_buffer;
    std::vector<std::uint8_t> m_out;
    std::uint64_t m_raw = 0;
    std::uint64_t m_stored = 0;
    bool m_failed = false;
    QString m_error;
};

class VectorSink : public osg::ByteSink
{
public:
    void write(const void* data, std::size_t size) override
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    std::vector<std::uint8_t> bytes;
};

void putString32(osg::ByteSink& sink, const std::string& s)
{
    const std::uint32_t n = std::uint32_t(s.size());
    sink.write(&n, 4);
    sink.write(s.data(), s.size());
}

std::vector<std::uint8_t> encodeMetadata(const ksZmbMetadata& metadata)
{
    VectorSink sink;
    const std::uint32_t count = std::uint32_t(metadata.size());
    sink.write(&count, 4);
    for (const auto& [key, value] : metadata) {
        putString32(sink, key);
        putString32(sink, value);
    }
    return std::move(sink.bytes);
}

// The stash can hold large blobs, so it streams like the scene.
std::uint64_t stashSize(const ksSmartReferenceStash& stash)
{
    std::uint64_t size = 4;
    for (const auto& [name, data] : stash.getEntries())
        size += 4 + name.size() + 8 + std::uint64_t(data.size());
    return size;
}

void writeStash(const ksSmartReferenceStash& stash, osg::ByteSink& sink)
{
    const std::uint32_t count = std::uint32_t(stash.size());
    sink.write(&count, 4);
    for (const auto& [name, data] : stash.getEntries()) {
        putString32(sink, name);
        const std::uint64_t n = std::uint64_t(data.size());
        sink.write(&n, 8);
        sink.write(data.constData(), std::size_t(n));
    }
}

} // namespace

ksZmbWriter::ksZmbWriter(const osg::NodePtr& root, const ksSmartReferenceStash& stash, const ksZmbMetadata& metadata)
    : m_root(root), m_stash(stash), m_metadata(metadata)
{
}

bool ksZmbWriter::write(QIODevice& device, QString& error) const
{
    if (!m_root) {
        error = QStringLiteral("nothing to write");
        return false;
    }
    const osg::SceneEncoder encoder(m_root);
    const std::vector<std::uint8_t> metadata = encodeMetadata(m_metadata);

    std::vector<SectionEntry> sections(3);
    sections[0].id = ksZmb::MetadataSection;
    sections[1].id = ksZmb::StashSection;
    sections[2].id = ksZmb::SceneSection;

    const qint64 start = device.pos();
    std::vector<std::uint8_t> header = headerBytes(sections);
    if (!writeAll(device, header.data(), qint64(header.size()))) {
        error = device.errorString();
        return false;
    }

    // A section that packs tighter than readers believe a section can
    // (osg::MaxUnpackRatio) is written again as it is.
    const auto writeSection = [&](SectionEntry& entry, std::uint64_t size, const auto& fill) {
        const qint64 at = device.pos();
        {
            SectionSink sink(device, size >= ksZmb::CompressThreshold, m_level, size);
            fill(sink);
            if (!sink.finish(entry, error))
                return false;
        }
        if (!(entry.flags & ksZmb::FlagZstd) || osg::checkUnpackedSize(entry.storedSize, entry.rawSize).empty())
            return true;
        if (!device.seek(at)) {
            error = device.errorString();
            return false;
        }
        SectionSink sink(device, false, m_level, size);
        fill(sink);
        return sink.finish(entry, error);
    };
    if (!writeSection(sections[0], metadata.size(),
                      [&](osg::ByteSink& sink) { sink.write(metadata.data(), metadata.size()); })
        || !writeSection(sections[1], stashSize(m_stash), [&](osg::ByteSink& sink) { writeStash(m_stash, sink); })
        || !writeSection(sections[2], encoder.getSize(), [&](osg::ByteSink& sink) { encoder.write(sink); }))
        return false;

    header = headerBytes(sections);
    setU64(header.data() + ksZmb::ChecksummedHeaderBytes,
           headerChecksum(header.data(), header.size() - ksZmb::HeaderSize));
    const qint64 end = device.pos();
    if (!device.seek(start)
        || !writeAll(device, header.data(), qint64(header.size()))
        || !device.seek(end)) {
        error = device.errorString();
        return false;
    }
    return true;
}

ksFileResult ksZmbWriter::save(const QString& path) const
{
    const std::string target = QFile::encodeName(path).toStdString();
    const QString temporary = QFile::decodeName(osg::FileTransaction::temporaryPathFor(target).c_str());
    QFile file(temporary);
    // Unbuffered: the sections arrive in large pieces, and a full disk is
    // then reported by the write that met it, with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return ksFileResult::failure(file.errorString());
    QString error;
    bool written = write(file, error);
    file.close();
    if (written && file.error() != QFileDevice::NoError) {
        error = file.errorString();
        written = false;
    }
    if (!written) {
        file.remove();
        return ksFileResult::failure(error);
    }
    osg::FileTransaction transaction;
    transaction.stage(QFile::encodeName(temporary).toStdString(), target);
    std::string reason;
    if (!transaction.commit(reason))
        return ksFileResult::failure(QString::fromStdString(reason));
    return ksFileResult::success();
}

std::vector<std::uint8_t> ksZmbWriter::toBytes() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!write(buffer, error))
        return {};
    const QByteArray& data = buffer.data();
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

bool ksZmbWriter::resealChecksums(std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < ksZmb::HeaderSize)
        return false;
    const std::uint32_t count = getU32(bytes.data() + 12);
    if (count > ksZmb::MaxSections)
        return false;
    const std::size_t tableEnd = ksZmb::HeaderSize + std::size_t(count) * ksZmb::SectionEntrySize;
    if (bytes.size() < tableEnd)
        return false;
    std::uint64_t offset = tableEnd;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* entry = bytes.data() + ksZmb::HeaderSize + i * ksZmb::SectionEntrySize;
        const std::uint64_t stored = getU64(entry + 8);
        if (stored > bytes.size() - offset)
            return false;
        setU64(entry + 24, KS_ZMB_XXH3(bytes.data() + offset, std::size_t(stored)));
        offset += stored;
    }
    setU64(bytes.data() + ksZmb::ChecksummedHeaderBytes, headerChecksum(bytes.data(), tableEnd - ksZmb::HeaderSize));
    return true;
}
