// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ReferenceNodes.h"

#include "scenegraph/SceneFileHandler.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/time.h>

// Files in a fresh temporary directory, removed with it.
class TempFiles
{
public:
    std::string path(const QString& name) const { return m_dir.filePath(name).toStdString(); }

    // With `modified` (seconds since the epoch) the file gets that time, so
    // that no test waits for the clock.
    std::string write(const QString& name, const QByteArray& content, qint64 modified = -1) const
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
        file.close();
        if (modified >= 0)
            setModificationTime(path(name), modified);
        return path(name);
    }

    void remove(const QString& name) const { EXPECT_TRUE(QFile::remove(m_dir.filePath(name))); }

    // An ".osb" file whose root, named "Root", has groups named `children`;
    // loaded as a smart file, it gives those groups to the reference node.
    std::string writeScene(const QString& name, const QStringList& children)
    {
        const osg::NodeRefPtr root = referencenodes::add(osg::NullFC, "Root");
        for (const QString& child : children)
            referencenodes::add(root.get(), child.toStdString());
        EXPECT_TRUE(osg::SceneFileHandler::the().write(root.get(), path(name)));
        return path(name);
    }

    static void setModificationTime(const std::string& path, qint64 seconds)
    {
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
    }

private:
    QTemporaryDir m_dir;
};
