// Licensed under the MIT licence; see LICENSE.
// Content checksums and file utilities.
#include "utils/ksFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

class File : public ::testing::Test
{
protected:
    std::string write(const QString& name, const QByteArray& content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(content), content.size());
        return path.toStdString();
    }

    static QByteArray noise(std::size_t size, unsigned seed)
    {
        QByteArray bytes(static_cast<int>(size), Qt::Uninitialized);
        std::mt19937 random(seed);
        for (auto& byte : bytes)
            byte = static_cast<char>(random());
        return bytes;
    }

    QTemporaryDir m_dir;
};

TEST_F(File, ChecksumsAreStableCoverEveryByteAndZeroOnlyMeansNoFile)
{
    // Checksums are stored in scene files: a change of algorithm would make
    // every stored reference look outdated.
    EXPECT_EQ(ksFile::getChecksum(write("a.txt", "Talvik\n"), 0), 0x6ff292a1u);
    EXPECT_EQ(ksFile::getChecksum(write("big.bin", noise(600000, 7)), 0), 0x38a11a61u);

    const std::size_t b = ksFile::checksumBufferSize;
    for (std::size_t size : {b - 1, b, b + 1}) {
        SCOPED_TRACE(size);
        const QByteArray content = noise(size, static_cast<unsigned>(size));
        EXPECT_EQ(ksFile::getChecksum(write("sized.bin", content), 99),
                  ksFile::getDataChecksum(content.constData(), size, 99));
    }

    QByteArray content = noise(3 * b + 5, 3);
    const std::uint32_t original = ksFile::getChecksum(write("f.bin", content));
    for (int offset : {int(b), content.size() - 1}) {
        QByteArray changed = content;
        changed[offset] = static_cast<char>(changed[offset] ^ 0x01);
        EXPECT_NE(ksFile::getChecksum(write("f.bin", changed)), original) << offset;
    }
    content.append('\0');
    EXPECT_NE(ksFile::getChecksum(write("f.bin", content)), original);

    // 0 means "no checksum taken": no file gives it, empty content does not.
    EXPECT_EQ(ksFile::getChecksum(m_dir.filePath("missing.bin")), 0u);
    EXPECT_EQ(ksFile::getChecksum(m_dir.path()), 0u);
    // Opening a FIFO for reading would wait for a writer.
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0644), 0);
    EXPECT_EQ(ksFile::getChecksum(m_dir.filePath("fifo")), 0u);
    EXPECT_EQ(ksFile::getChecksum(std::string()), 0u);
    // With this seed the raw hash of empty content folds to zero.
    const std::uint64_t zeroFoldingSeed = 1219523942;
    EXPECT_NE(ksFile::getChecksum(write("empty.txt", ""), zeroFoldingSeed), 0u);
    EXPECT_NE(ksFile::getDataChecksum("", 0, zeroFoldingSeed), 0u);

    EXPECT_TRUE(ksFile::exists(write("x.stp", "x")));
    EXPECT_FALSE(ksFile::exists(m_dir.path())) << "a directory only when asked for";
    EXPECT_TRUE(ksFile::exists(m_dir.path(), true));
}

TEST_F(File, ChecksumsFromSeveralThreadsAgree)
{
    const std::string path = write("shared.bin", noise(2 * ksFile::checksumBufferSize + 3, 11));
    const std::uint32_t expected = ksFile::getChecksum(path);
    std::vector<std::uint32_t> results(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                results[t] |= ksFile::getChecksum(path) ^ expected;
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(results, std::vector<std::uint32_t>(4, 0u));
}

} // namespace
