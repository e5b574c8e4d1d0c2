// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "monitor/ksRevisionMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Opens the protected members to the tests.
class ExposedRevisionMonitor : public ksRevisionMonitor
{
public:
    using ksRevisionMonitor::getDirEntries;
    using ksRevisionMonitor::getWildcardFiles;
    using ksRevisionMonitor::getWildcardPath;
    using ksRevisionMonitor::setCache;
};

// A fresh temporary directory per test; every test starts a new cache series.
class RevisionMonitorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ksRevisionMonitor::clearCache();
    }

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    // Creates an empty file, and its directories when needed.
    QString touch(const QString& relative) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << file.toStdString();
        return file;
    }

    QTemporaryDir m_dir;
};
