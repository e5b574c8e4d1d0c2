// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneFileHandler.h"

#include "scenegraph/ByteCursor.h"
#include "scenegraph/FileTransaction.h"
#include "scenegraph/MemorySink.h"
#include "scenegraph/RegularFile.h"
#include "scenegraph/Node.h"
#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneEncoder.h"
#include "scenegraph/ZstdUnpack.h"

#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

// The header and the block, compressed when asked. A block that packs
// tighter than readers believe is written as it is.
bool writeFile(const SceneEncoder& encoder, ByteSink& sink, bool compressed, std::string& error)
{
    if (!compressed) {
        writeHeader(sink, false);
        encoder.write(sink);
        return true;
    }
    const std::vector<UInt8> block = encoder.toBytes();
    std::vector<UInt8> packed(ZSTD_compressBound(block.size()));
    const std::size_t n = ZSTD_compress(packed.data(), packed.size(), block.data(), block.size(), 3);
    if (ZSTD_isError(n)) {
        error = std::string("compression failed: ") + ZSTD_getErrorName(n);
        return false;
    }
    const UInt64 size = block.size();
    const bool believable = checkUnpackedSize(n, size).empty();
    writeHeader(sink, believable);
    if (believable) {
        sink.write(&size, 8);
        sink.write(packed.data(), n);
    } else {
        sink.write(block.data(), block.size());
    }
    return true;
}

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
    std::string error;
    if (!writeFile(encoder, sink, compressed, error))
        sink.flush();
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
    std::string error;
    if (!writeFile(encoder, sink, compressed, error)) {
        fail("", error);
        return {};
    }
    return sink.takeBytes();
}

namespace {

SceneReadResult failedRead(const std::string& context, const std::string& message)
{
    return {NullFC, context.empty() ? message : context + ": " + message};
}

} // namespace

SceneReadResult SceneFileHandler::readScene(const std::string& path, const ReadProgress& progress)
{
    RegularFile file;
    if (!file.open(path))
        return failedRead(path, "cannot open: " + file.getError());
    // The header is checked before the rest is read: a large file of
    // another kind costs one small read.
    const std::size_t size = std::size_t(file.size());
    UInt8 header[HeaderSize];
    const std::size_t head = std::min(size, HeaderSize);
    if (!file.read(header, head))
        return failedRead(path, "cannot read: " + file.getError());
    const std::string problem = checkHeader(header, head);
    if (!problem.empty())
        return failedRead(path, problem);
    PageBuffer bytes;
    if (!bytes.resize(size))
        return failedRead(path, "not enough memory to read " + std::to_string(size) + " bytes");
    std::memcpy(bytes.data(), header, head);
    if (!file.read(bytes.data() + head, size - head, progress))
        return failedRead(path, "cannot read: " + file.getError());
    return decodeFile(bytes.data(), size, path, true);
}

SceneReadResult SceneFileHandler::readScene(const UInt8* data, std::size_t size)
{
    return decodeFile(data, size, "", false);
}

NodeRefPtr SceneFileHandler::read(const std::string& path)
{
    SceneReadResult result = readScene(path);
    m_lastError = std::move(result.message);
    return result.node;
}

NodeRefPtr SceneFileHandler::readFromMemory(const UInt8* data, std::size_t size)
{
    SceneReadResult result = readScene(data, size);
    m_lastError = std::move(result.message);
    return result.node;
}

std::string SceneFileHandler::checkHeader(const UInt8* data, std::size_t size)
{
    ByteCursor c(data, size);
    const UInt8* magic = nullptr;
    UInt16 major = 0, minor = 0;
    UInt32 flags = 0;
    if (!c.take(sizeof Magic, magic) || std::memcmp(magic, Magic, sizeof Magic) != 0)
        return "file header: not an .osb file";
    if (!c.readU16(major) || !c.readU16(minor) || !c.readU32(flags))
        return "file header: truncated";
    if (major != MajorVersion || minor > MinorVersion)
        return "file header: version " + std::to_string(major) + "." + std::to_string(minor)
               + " is not readable (this reader reads " + std::to_string(MajorVersion) + ".0 to "
               + std::to_string(MajorVersion) + "." + std::to_string(MinorVersion) + ")";
    if (flags & ~CompressedFlag)
        return "file header: unknown flags " + std::to_string(flags);
    return std::string();
}

SceneReadResult SceneFileHandler::decodeFile(const UInt8* data, std::size_t size, const std::string& context,
                                             bool ownBuffer)
{
    const std::string problem = checkHeader(data, size);
    if (!problem.empty())
        return failedRead(context, problem);
    ByteCursor c(data + HeaderSize, size - HeaderSize);
    UInt32 flags = 0;
    std::memcpy(&flags, data + HeaderSize - 4, 4);

    const UInt8* block = data + HeaderSize;
    std::size_t blockSize = c.remaining();
    PageBuffer unpacked;
    if (flags & CompressedFlag) {
        UInt64 expected = 0;
        if (!c.readU64(expected))
            return failedRead(context, "file header: truncated");
        if (expected > MaxBlockSize)
            return failedRead(context, "file header: block size " + std::to_string(expected) + " exceeds the limit");
        std::string error;
        if (!unpackZstdFrame(block + 8, c.remaining(), expected, unpacked, error))
            return failedRead(context, error);
        block = unpacked.data();
        blockSize = std::size_t(expected);
    }

    SceneDecoder decoder;
    decoder.requireWholeBuffer(true);
    decoder.requireSingleRoot(&Node::getClassType());
    decoder.releaseInputAsRead(ownBuffer || unpacked.size() != 0);
    if (!decoder.decode(block, blockSize))
        return failedRead(context, decoder.getError());
    return {NodeRefPtr::dcast(decoder.takeRoots().front()), std::string()};
}

} // namespace osg
