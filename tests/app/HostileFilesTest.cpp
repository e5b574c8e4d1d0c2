// Licensed under the MIT licence; see LICENSE.
// Files made to hang or exhaust the program: FIFOs where files belong, and
// small files that announce huge contents. Each is refused with its reason;
// the bombs run under an address-space limit, so a reader that believed
// one would fail to allocate instead of refusing it by its sizes.
#include "scene/ksZmbWriter.h"

#include "AppTestSupport.h"
#include "ZstdBomb.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <ctime>

using namespace apptest;

namespace {

// Long enough for a slow machine; a hang is stopped by it, not measured.
constexpr int HangLimit = 30000;

Result talvikLimited(const QStringList& arguments)
{
#ifdef TALVIK_ASAN
    // AddressSanitizer reserves terabytes of shadow memory, so an address-space
    // limit stops it before main; its own allocation limit takes that role, and
    // an allocation above it aborts the program instead of returning.
    QProcessEnvironment limit;
    limit.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS")
                                     + ":max_allocation_size_mb=512:allocator_may_return_null=0");
    return run(TALVIK_PROGRAM, arguments, 120000, limit);
#else
    // 512 MiB of address space: the program needs about a third of it.
    return run("/bin/sh", QStringList{"-c", "ulimit -v 524288 && exec \"$0\" \"$@\"", TALVIK_PROGRAM} + arguments);
#endif
}

// A FIFO in place of the file, with a later time than the file had: file
// times are whole seconds, and the change must count.
void makeFifo(const QString& path)
{
    QFile::remove(path);
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(::mkfifo(name.constData(), 0644), 0);
    const struct timespec later[2] = {{::time(nullptr) + 30, 0}, {::time(nullptr) + 30, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), later, 0), 0);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A ".zmb" file whose only section is `frame`, said to unpack to `raw` bytes.
QByteArray zmbBomb(const std::vector<std::uint8_t>& frame, quint64 raw)
{
    QByteArray file(reinterpret_cast<const char*>(ksZmb::Magic), sizeof ksZmb::Magic);
    const auto put = [&](auto value) { file.append(reinterpret_cast<const char*>(&value), sizeof value); };
    put(ksZmb::MajorVersion), put(quint16(0)), put(quint32(1)), put(quint64(0));
    put(ksZmb::SceneSection), put(ksZmb::FlagZstd), put(quint64(frame.size())), put(raw), put(quint64(0));
    std::vector<std::uint8_t> bytes(file.begin(), file.end());
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    EXPECT_TRUE(ksZmbWriter::resealChecksums(bytes));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

class HostileFiles : public ::testing::Test
{
protected:
    // p.zmb with one reference "a": source a.obj, smart file a.zmb.
    void SetUp() override
    {
        writeObj(in("a.obj"), 2);
        ASSERT_EQ(talvik({"import", in("a.obj"), "--into", in("p.zmb"), "--smart"}).exitCode, 0);
        ASSERT_TRUE(QFileInfo(in("a.zmb")).isFile());
    }
    QString in(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

TEST_F(HostileFiles, AFifoAsTheProjectIsRefusedAtOnce)
{
    makeFifo(in("fifo.zmb"));
    for (const QStringList& arguments : {QStringList{"status", in("fifo.zmb")}, QStringList{"watch", in("fifo.zmb")},
                                         QStringList{"import", in("a.obj"), "--into", in("fifo.zmb")},
                                         QStringList{"import", in("fifo.zmb"), "--into", in("p.zmb")}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Result result = talvik(arguments, HangLimit);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.err.section('\n', 0, 0), "talvik: " + in("fifo.zmb") + ": not a regular file");
    }
}

TEST_F(HostileFiles, AFifoAsASmartFileIsNotLoaded)
{
    makeFifo(in("a.zmb"));
    const Result result = talvik({"status", in("p.zmb"), "--verbose"}, HangLimit);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE((result.out + result.err).contains("not a regular file")) << (result.out + result.err).toStdString();
}

TEST_F(HostileFiles, AFifoAsASourceFileDoesNotStopTheWatch)
{
    QProcess watch;
    watch.start(TALVIK_PROGRAM, {"watch", in("p.zmb"), "--interval", "100"});
    QString out;
    const auto readUntil = [&](const QString& text) {
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(text) && clock.elapsed() < HangLimit) {
            watch.waitForReadyRead(100);
            out += QString::fromUtf8(watch.readAllStandardOutput());
        }
        return out.contains(text);
    };
    ASSERT_TRUE(readUntil("watching p.zmb")) << out.toStdString();
    makeFifo(in("a.obj"));
    EXPECT_TRUE(readUntil("source a.obj outdated")) << out.toStdString();
    EXPECT_TRUE(readUntil("notification: Reference update(s) available")) << out.toStdString();
    // The monitor's thread is not stuck in the FIFO: stopping joins it.
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(HangLimit));
    out += QString::fromUtf8(watch.readAllStandardOutput());
    EXPECT_EQ(watch.exitCode(), 0);
    EXPECT_TRUE(out.contains("stopped")) << out.toStdString();
}

// Each bomb would need gigabytes if its sizes were believed.
TEST_F(HostileFiles, BombsAreRefusedByTheirSizes)
{
    const std::vector<std::uint8_t> frame = zstdRleFrame(8192); // 33 KB that unpack to 1 GiB
    writeBytes(in("announced.zmb"), zmbBomb(frame, quint64(1) << 30));
    writeBytes(in("understated.zmb"), zmbBomb(frame, quint64(frame.size()) * 8));
    {
        QFile big(in("big.zmb")); // 2 GiB of holes, not a project
        ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(2) << 30));
    }
    // The third vertex is read as a face of no corners: Assimp's triangulation aborts on it.
    writeBytes(in("faceless.ply"), "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                                   "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
                                   "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    writeBytes(in("points.off"), "OFF\n353535235358 6 0\n" + QByteArray("0.5 -0.5 0.5\n").repeated(8)
                                     + QByteArray("4 0 1 3 2\n").repeated(6));

    const struct {
        QStringList arguments;
        QString reason;
    } cases[] = {
        {{"status", in("announced.zmb")}, "section SCEN: compressed data: announces 1073741824 bytes from 32774"},
        {{"status", in("understated.zmb")}, "section SCEN: compressed data: more than the announced 262192 bytes"},
        {{"status", in("big.zmb")}, "not a Talvik project file"},
        {{"import", in("points.off"), "--into", in("q.zmb")},
         "declares 353535235358 vertices and 6 faces, more than its 185 bytes can hold"},
        {{"import", in("faceless.ply"), "--into", in("q.zmb")}, "aiMesh::mFaces[0].mNumIndices is 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result result = talvikLimited(c.arguments);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_TRUE(result.err.contains(c.reason)) << result.err.toStdString();
    }

    // The same bomb as a smart file of a sound project.
    QFile::remove(in("a.zmb"));
    ASSERT_TRUE(QFile::copy(in("announced.zmb"), in("a.zmb")));
    const Result smart = talvikLimited({"status", in("p.zmb"), "--verbose"});
    EXPECT_TRUE((smart.out + smart.err).contains("more than 8 to 1")) << (smart.out + smart.err).toStdString();
}

} // namespace
