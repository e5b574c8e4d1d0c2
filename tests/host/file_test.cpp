// Licensed under the MIT licence; see LICENSE.
// Content checksums and file utilities.
#include "utils/ksFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
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

TEST_F(File, ChecksumsAreStableAcrossRunsAndBuilds)
{
    // Checksums are stored in scene files: a change of algorithm would make
    // every stored reference look outdated.
    EXPECT_EQ(ksFile::getChecksum(write("a.txt", "Talvik\n"), 0), 0x6ff292a1u);
    EXPECT_EQ(ksFile::getChecksum(write("empty.txt", ""), 0), 0x15d514c7u);
    EXPECT_EQ(ksFile::getChecksum(write("big.bin", noise(600000, 7)), 0), 0x38a11a61u);
}

TEST_F(File, FileChecksumEqualsTheChecksumOfTheContentAtEverySize)
{
    const std::size_t b = ksFile::checksumBufferSize;
    for (std::size_t size : {std::size_t(0), std::size_t(1), b - 1, b, b + 1, 3 * b + 17}) {
        SCOPED_TRACE(size);
        const QByteArray content = noise(size, static_cast<unsigned>(size));
        const std::string path = write("sized.bin", content);
        EXPECT_EQ(ksFile::getChecksum(path), ksFile::getDataChecksum(content.constData(), size));
        EXPECT_EQ(ksFile::getChecksum(path, 99), ksFile::getDataChecksum(content.constData(), size, 99));
        EXPECT_EQ(ksFile::getChecksum(path), ksFile::getChecksum(path));
    }
}

TEST_F(File, AChangeAnywhereChangesTheChecksum)
{
    QByteArray content = noise(3 * ksFile::checksumBufferSize + 5, 3);
    const std::uint32_t original = ksFile::getChecksum(write("f.bin", content));
    for (int offset : {0, int(ksFile::checksumBufferSize), content.size() - 1}) {
        SCOPED_TRACE(offset);
        QByteArray changed = content;
        changed[offset] = static_cast<char>(changed[offset] ^ 0x01);
        EXPECT_NE(ksFile::getChecksum(write("f.bin", changed)), original);
    }
    QByteArray longer = content;
    longer.append('\0');
    EXPECT_NE(ksFile::getChecksum(write("f.bin", longer)), original);
}

TEST_F(File, ZeroMeansNoFileAndNoContentGivesIt)
{
    EXPECT_EQ(ksFile::getChecksum(m_dir.filePath("missing.bin")), 0u);
    EXPECT_EQ(ksFile::getChecksum(m_dir.path()), 0u);
    EXPECT_EQ(ksFile::getChecksum(std::string()), 0u);

    // With this seed the raw hash of empty content folds to zero, which the
    // checksum must map to another value: 0 means "no checksum taken".
    const std::uint64_t zeroFoldingSeed = 1219523942;
    EXPECT_NE(ksFile::getChecksum(write("empty.txt", ""), zeroFoldingSeed), 0u);
    EXPECT_NE(ksFile::getDataChecksum("", 0, zeroFoldingSeed), 0u);
    EXPECT_NE(ksFile::getChecksum(write("empty.txt", "")), 0u);
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

TEST_F(File, ExistsDistinguishesFilesDirectoriesAndCase)
{
    const std::string path = write("Engine.STP", "x");
    EXPECT_TRUE(ksFile::exists(path, false, false));
    EXPECT_TRUE(ksFile::exists(QString::fromStdString(path)));
    EXPECT_FALSE(ksFile::exists(m_dir.filePath("missing.stp")));
    EXPECT_FALSE(ksFile::exists(std::string()));

    EXPECT_FALSE(ksFile::exists(m_dir.path(), false, false));
    EXPECT_TRUE(ksFile::exists(m_dir.path(), true, false));

    const QString otherCase = m_dir.filePath("engine.stp");
    EXPECT_FALSE(ksFile::exists(otherCase, false, false));
    EXPECT_TRUE(ksFile::exists(otherCase, false, true));
    EXPECT_FALSE(ksFile::exists(m_dir.filePath("engine.stl"), false, true));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("Parts"));
    EXPECT_FALSE(ksFile::exists(m_dir.filePath("parts"), false, true));
    EXPECT_TRUE(ksFile::exists(m_dir.filePath("parts"), true, true));
}

TEST_F(File, OwnerIsTheFilesUserName)
{
    const std::string path = write("owned.txt", "x");
    EXPECT_FALSE(ksFile::getOwner(path).empty());
    EXPECT_EQ(QString::fromStdString(ksFile::getOwner(path)), QFileInfo(QString::fromStdString(path)).owner());
    EXPECT_EQ(ksFile::getOwner(m_dir.filePath("missing.txt")), "");
}

struct NameCase
{
    const char* path;
    const char* fileName;
    const char* baseName;
};

TEST(FileNames, AreTakenFromTheTextWithEitherSeparator)
{
    const NameCase cases[] = {
        {"/data/cad/engine.stp", "engine.stp", "engine"},
        {"C:\\data\\cad\\engine.stp", "engine.stp", "engine"},
        {"mixed\\dir/sub\\part.v2.zmb", "part.v2.zmb", "part.v2"},
        {"archive.tar.gz", "archive.tar.gz", "archive.tar"},
        {"/data/.cache", ".cache", ".cache"},
        {"/data/name.", "name.", "name"},
        {"/data/noSuffix", "noSuffix", "noSuffix"},
        {"/data/dir/", "", ""},
        {"", "", ""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ksFile::getFileName(std::string(c.path)), c.fileName);
        EXPECT_EQ(ksFile::getBaseName(std::string(c.path)), c.baseName);
        EXPECT_EQ(ksFile::getFileName(QString::fromUtf8(c.path)), QString::fromUtf8(c.fileName));
        EXPECT_EQ(ksFile::getBaseName(QString::fromUtf8(c.path)), QString::fromUtf8(c.baseName));
        EXPECT_EQ(ksFile::getBaseName(c.path), c.baseName);
    }
    EXPECT_EQ(ksFile::convertToUnixSeparators("C:\\a\\b/c"), "C:/a/b/c");
    EXPECT_EQ(ksFile::convertToUnixSeparators(QStringLiteral("\\\\server\\share")), QStringLiteral("//server/share"));
    EXPECT_EQ(ksFile::getBaseName(QStringLiteral("/d/Motorhaube_ü.stp")), QStringLiteral("Motorhaube_ü"));
}

} // namespace
