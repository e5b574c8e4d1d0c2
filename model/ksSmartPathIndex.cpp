// Licensed under the MIT licence; see LICENSE.
#include "model/ksSmartPathIndex.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QString ksSmartPathIndex::normalise(const std::string& path)
{
    return normalise(QByteArray::fromRawData(path.data(), int(path.size())));
}

QString ksSmartPathIndex::normalise(const QByteArray& path)
{
    return QFileInfo(QString::fromUtf8(path)).absoluteFilePath();
}

void ksSmartPathIndex::set(quint32 core, const QByteArray& path)
{
    if (path.isEmpty()) {
        remove(core);
        return;
    }
    const bool relative = !path.startsWith('/');
    // The other relative keys first, so that this one is made in the same
    // directory as they are.
    if (relative)
        followWorkingDirectory();
    const QString key = normalise(path);
    QString& current = m_keys[core];
    if (current != key) {
        erase(core, current);
        current = key;
        insert(core, key);
    }
    if (!relative) {
        m_relativePaths.remove(core);
        return;
    }
    if (m_relativePaths.isEmpty())
        m_workingDirectory = QDir::currentPath();
    m_relativePaths[core] = path;
}

void ksSmartPathIndex::remove(quint32 core)
{
    const auto old = m_keys.find(core);
    if (old == m_keys.end())
        return;
    erase(core, *old);
    m_keys.erase(old);
    m_relativePaths.remove(core);
}

const std::vector<quint32>& ksSmartPathIndex::coresOf(const std::string& path)
{
    static const std::vector<quint32> none;
    if (path.empty())
        return none;
    followWorkingDirectory();
    const auto found = m_cores.constFind(normalise(path));
    return found == m_cores.cend() ? none : *found;
}

void ksSmartPathIndex::followWorkingDirectory()
{
    if (m_relativePaths.isEmpty())
        return;
    const QString current = QDir::currentPath();
    if (current == m_workingDirectory)
        return;
    m_workingDirectory = current;
    for (auto it = m_relativePaths.cbegin(); it != m_relativePaths.cend(); ++it) {
        QString& key = m_keys[it.key()];
        erase(it.key(), key);
        key = normalise(it.value());
        insert(it.key(), key);
    }
}

void ksSmartPathIndex::insert(quint32 core, const QString& key)
{
    std::vector<quint32>& cores = m_cores[key];
    cores.insert(std::lower_bound(cores.begin(), cores.end(), core), core);
}

void ksSmartPathIndex::erase(quint32 core, const QString& key)
{
    if (key.isEmpty())
        return;
    const auto bucket = m_cores.find(key);
    if (bucket == m_cores.end())
        return;
    std::vector<quint32>& cores = *bucket;
    const auto at = std::lower_bound(cores.begin(), cores.end(), core);
    if (at != cores.end() && *at == core)
        cores.erase(at);
    if (cores.empty())
        m_cores.erase(bucket);
}
