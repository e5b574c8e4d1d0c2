// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneFileHandler.h"

#include "scenegraph/ByteCursor.h"
#include "scenegraph/FileTransaction.h"
#include "scenegraph/MemorySink.h"
#include "scenegraph/Node.h"
#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneEncoder.h"

#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace osg {

namespace {

constexpr UInt8 Magic[8] = {0x89, 'O', 'S', 'B', '\r', '\n', 0x1A, '\n'};
constexpr UInt16 MajorVersion = 1;
constexpr UInt16 MinorVersion = 0;
constexpr UInt32 CompressedFlag = 1;
constexpr std::size_t HeaderSize = 8 + 2 + 2 + 4;

std::string systemError()
{
    return std::strerror(errno);
}

// Buffered writes to a file descriptor; large pieces go out directly.
class FileSink : public ByteSink {
public:
    explicit FileSink(int fd) : m_fd(fd) { m_buffer.reserve(Capacity); }

    void write(const void* data, std::size_t size) override
    {
        if (size >= Capacity / 2) {
            flush();
            writeAll(static_cast<const UInt8*>(data), size);
            return;
        }
        if (m_buffer.size() + size > Capacity)
            flush();
        const auto* p = static_cast<const UInt8*>(data);
        m_buffer.insert(m_buffer.end(), p, p + size);
    }

    bool flush()
    {
        if (!m_buffer.empty())
            writeAll(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return m_error.empty();
    }
    const std::string& error() const { return m_error; }

private:
    static constexpr std::size_t Capacity = 1 << 20;

    void writeAll(const UInt8* p, std::size_t size)
    {
        while (size > 0 && m_error.empty()) {
            const ssize_t n = ::write(m_fd, p, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_error = systemError();
                return;
            }
            p += n;
            size -= std::size_t(n);
        }
    }

    int m_fd;
    std::vector<UInt8> m_buffer;
    std::string m_error;
};

void writeHeader(ByteSink& sink, bool compressed)
{
    const UInt16 major = MajorVersion, minor = MinorVersion;
    const UInt32 flags = compressed ? CompressedFlag : 0;
    sink.write(Magic, sizeof Magic);
    sink.write(&major, 2);
    sink.write(&minor, 2);
    sink.write(&flags, 4);
}

// Compresses the encoded block into `sink`, with its size in front.
bool writeCompressed(const SceneEncoder& encoder, ByteSink& sink, std::string& error)
{
    const std::vector<UInt8> block = encoder.toBytes();
    std::vector<UInt8> packed(ZSTD_compressBound(block.size()));
    const std::size_t n = ZSTD_compress(packed.data(), packed.size(), block.data(), block.size(), 3);
    if (ZSTD_isError(n)) {
        error = std::string("compression failed: ") + ZSTD_getErrorName(n);
        return false;
    }
    const UInt64 size = block.size();
    sink.write(&size, 8);
    sink.write(packed.data(), n);
    return true;
}

// Unpacks one zstd frame that must hold exactly `expected` bytes. The output
// grows with what the frame really yields, never with what it claims.
bool decompress(const UInt8* data, std::size_t size, UInt64 expected, std::vector<UInt8>& out, std::string& error)
{
    std::unique_ptr<ZSTD_DStream, decltype(&ZSTD_freeDStream)> stream(ZSTD_createDStream(), &ZSTD_freeDStream);
    ZSTD_initDStream(stream.get());
    out.resize(std::size_t(std::min<UInt64>(expected, std::max<UInt64>(UInt64(size) * 8, 1 << 16))));
    ZSTD_inBuffer in{data, size, 0};
    std::size_t produced = 0;
    for (;;) {
        if (produced == out.size()) {
            if (produced == expected) {
                // Anything still coming is more than the header announced.
                UInt8 probe = 0;
                ZSTD_outBuffer extra{&probe, 1, 0};
                const std::size_t r = ZSTD_decompressStream(stream.get(), &extra, &in);
                if (ZSTD_isError(r) || extra.pos > 0) {
                    error = ZSTD_isError(r) ? std::string("compressed data: ") + ZSTD_getErrorName(r)
                                            : "compressed data: more than the announced block size";
                    return false;
                }
                if (r != 0) {
                    error = "compressed data: truncated";
                    return false;
                }
                break;
            }
            out.resize(std::size_t(std::min<UInt64>(expected, UInt64(out.size()) * 2)));
        }
        ZSTD_outBuffer o{out.data(), out.size(), produced};
        const std::size_t r = ZSTD_decompressStream(stream.get(), &o, &in);
        if (ZSTD_isError(r)) {
            error = std::string("compressed data: ") + ZSTD_getErrorName(r);
            return false;
        }
        const bool progressed = o.pos > produced;
        produced = o.pos;
        if (r == 0) {
            if (produced != expected) {
                error = "compressed data: holds " + std::to_string(produced) + " bytes, the header announced "
                        + std::to_string(expected);
                return false;
            }
            break;
        }
        if (!progressed && in.pos == in.size && produced < out.size()) {
            error = "compressed data: truncated";
            return false;
        }
    }
    if (in.pos != in.size) {
        error = "compressed data: " + std::to_string(in.size - in.pos) + " unexpected bytes after the frame";
        return false;
    }
    return true;
}

// The whole file in memory for the decoder. Large files get memory backed by
// huge pages where the system allows: a fresh buffer costs a page fault per
// page, which for a big scene is as much as the read itself.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t size)
    {
        if (size >= LargeFile) {
            m_mapped = (size + HugePage - 1) / HugePage * HugePage;
            void* p = ::mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) {
                ::madvise(p, m_mapped, MADV_HUGEPAGE);
                m_data = static_cast<UInt8*>(p);
                return;
            }
            m_mapped = 0;
        }
        m_heap.reset(new UInt8[size ? size : 1]); // left uninitialised: read over at once
        m_data = m_heap.get();
    }
    ~ReadBuffer()
    {
        if (m_mapped)
            ::munmap(m_data, m_mapped);
    }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    UInt8* data() { return m_data; }

private:
    static constexpr std::size_t LargeFile = std::size_t(16) << 20;
    static constexpr std::size_t HugePage = std::size_t(2) << 20;

    std::unique_ptr<UInt8[]> m_heap;
    UInt8* m_data = nullptr;
    std::size_t m_mapped = 0;
};

} // namespace

SceneFileHandler& SceneFileHandler::the()
{
    static SceneFileHandler* handler = new SceneFileHandler();
    return *handler;
}

SceneFileHandler::SceneFileHandler() = default;

bool SceneFileHandler::fail(const std::string& context, const std::string& message)
{
    m_lastError = context.empty() ? message : context + ": " + message;
    return false;
}

bool SceneFileHandler::write(const NodePtr& node, const std::string& path, bool compressed)
{
    m_lastError.clear();
    if (!node)
        return fail(path, "nothing to write");
    const SceneEncoder encoder(node);

    const std::string temp = FileTransaction::temporaryPathFor(path);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(path, "cannot create the temporary file " + temp + ": " + systemError());

    FileSink sink(fd);
    writeHeader(sink, compressed);
    std::string error;
    if (compressed) {
        if (!writeCompressed(encoder, sink, error))
            sink.flush();
    } else {
        encoder.write(sink);
    }
    if (error.empty() && !sink.flush())
        error = "cannot write: " + sink.error();
    if (::close(fd) != 0 && error.empty())
        error = "cannot close: " + systemError();
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return fail(path, error);
    }
    // Synced and renamed over the target by the transaction: now, or with
    // the other files of the save that this write is part of.
    FileTransaction transaction;
    transaction.stage(temp, path);
    if (!transaction.commit(error))
        return fail("", error);
    return true;
}

std::vector<UInt8> SceneFileHandler::writeToMemory(const NodePtr& node, bool compressed)
{
    m_lastError.clear();
    if (!node) {
        fail("", "nothing to write");
        return {};
    }
    const SceneEncoder encoder(node);
    MemorySink sink;
    sink.reserve(HeaderSize + std::size_t(encoder.getSize()));
    writeHeader(sink, compressed);
    std::string error;
    if (compressed) {
        if (!writeCompressed(encoder, sink, error)) {
            fail("", error);
            return {};
        }
    } else {
        encoder.write(sink);
    }
    return sink.takeBytes();
}

NodeRefPtr SceneFileHandler::read(const std::string& path)
{
    m_lastError.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(path, "cannot open: " + systemError());
        return NullFC;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fail(path, "not a regular file");
        return NullFC;
    }
    const std::size_t size = std::size_t(info.st_size);
    ReadBuffer bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.data() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = n < 0 ? systemError() : "the file shrank while being read";
            ::close(fd);
            fail(path, "cannot read: " + why);
            return NullFC;
        }
        done += std::size_t(n);
    }
    ::close(fd);
    return decodeFile(bytes.data(), size, path);
}

NodeRefPtr SceneFileHandler::readFromMemory(const UInt8* data, std::size_t size)
{
    m_lastError.clear();
    return decodeFile(data, size, "");
}

NodeRefPtr SceneFileHandler::decodeFile(const UInt8* data, std::size_t size, const std::string& context)
{
    ByteCursor c(data, size);
    const UInt8* magic = nullptr;
    UInt16 major = 0, minor = 0;
    UInt32 flags = 0;
    if (!c.take(sizeof Magic, magic) || std::memcmp(magic, Magic, sizeof Magic) != 0) {
        fail(context, "file header: not an .osb file");
        return NullFC;
    }
    if (!c.readU16(major) || !c.readU16(minor) || !c.readU32(flags)) {
        fail(context, "file header: truncated");
        return NullFC;
    }
    if (major != MajorVersion || minor > MinorVersion) {
        fail(context, "file header: version " + std::to_string(major) + "." + std::to_string(minor)
                          + " is not readable (this reader reads " + std::to_string(MajorVersion) + ".0 to "
                          + std::to_string(MajorVersion) + "." + std::to_string(MinorVersion) + ")");
        return NullFC;
    }
    if (flags & ~CompressedFlag) {
        fail(context, "file header: unknown flags " + std::to_string(flags));
        return NullFC;
    }

    const UInt8* block = data + c.offset();
    std::size_t blockSize = c.remaining();
    std::vector<UInt8> unpacked;
    if (flags & CompressedFlag) {
        UInt64 expected = 0;
        if (!c.readU64(expected)) {
            fail(context, "file header: truncated");
            return NullFC;
        }
        if (expected > MaxBlockSize) {
            fail(context, "file header: block size " + std::to_string(expected) + " exceeds the limit");
            return NullFC;
        }
        std::string error;
        if (!decompress(data + c.offset(), c.remaining(), expected, unpacked, error)) {
            fail(context, error);
            return NullFC;
        }
        block = unpacked.data();
        blockSize = unpacked.size();
    }

    SceneDecoder decoder;
    decoder.requireWholeBuffer(true);
    decoder.requireSingleRoot(&Node::getClassType());
    if (!decoder.decode(block, blockSize)) {
        fail(context, decoder.getError());
        return NullFC;
    }
    NodeRefPtr root = NodeRefPtr::dcast(decoder.takeRoots().front());
    return root;
}

} // namespace osg
