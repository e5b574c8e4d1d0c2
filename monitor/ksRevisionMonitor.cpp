// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksRevisionMonitor.h"

#include "monitor/ksDirectoryListing.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpressionMatch>

#include <algorithm>
#include <utility>
#include <vector>

thread_local QMap<QString, QSet<QString>> ksRevisionMonitor::m_cache;

ksRevisionMonitor::ksRevisionMonitor() = default;

ksRevisionMonitor::ksRevisionMonitor(const ksRevisionMonitor& other)
    : m_expressions(other.m_expressions)
{
}

ksRevisionMonitor::ksRevisionMonitor(ksRevisionMonitor&& other)
    : m_expressions(std::move(other.m_expressions))
{
    other.m_expressions.clear();
}

ksRevisionMonitor& ksRevisionMonitor::operator=(const ksRevisionMonitor& other)
{
    if (this != &other)
        m_expressions = other.m_expressions;
    return *this;
}

ksRevisionMonitor& ksRevisionMonitor::operator=(ksRevisionMonitor&& other)
{
    if (this != &other) {
        m_expressions = std::move(other.m_expressions);
        other.m_expressions.clear();
    }
    return *this;
}

ksRevisionMonitor::~ksRevisionMonitor() = default;

void ksRevisionMonitor::setExpressions(const QStringList& expressions)
{
    m_expressions.clear();
    for (const QString& pattern : expressions) {
        QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption
                                                   | QRegularExpression::UseUnicodePropertiesOption);
        expression.optimize();
        m_expressions.append(expression);
    }
}

QString ksRevisionMonitor::getRevision(const QString& path)
{
    const QString subject = QDir::toNativeSeparators(path);
    for (const QRegularExpression& expression : qAsConst(m_expressions)) {
        // An invalid expression never matches; asking it would only log a warning.
        if (!expression.isValid())
            continue;
        const QRegularExpressionMatch match = expression.match(subject);
        if (!match.hasMatch())
            continue;

        const QStringList names = expression.namedCaptureGroups();
        std::vector<std::pair<QString, QString>> parts;
        for (int i = 1; i <= match.lastCapturedIndex(); ++i) {
            QString key = i < names.size() ? names.at(i) : QString();
            if (key.isEmpty())
                key = QStringLiteral("|%1").arg(i);
            parts.emplace_back(std::move(key), match.captured(i));
        }
        // "|" sorts after letters, digits and '_', so named groups come first; the
        // unnamed keys compare as strings, which puts "|10" before "|2".
        std::stable_sort(parts.begin(), parts.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });

        QString revision;
        for (const auto& part : parts)
            revision += part.second;
        return revision;
    }
    return QString();
}

QString ksRevisionMonitor::getWildcardPath(const QString& path)
{
    QString wildcard = path;
    for (const QRegularExpression& expression : qAsConst(m_expressions)) {
        if (!expression.isValid())
            continue;
        const QRegularExpressionMatch match = expression.match(path);
        if (!match.hasMatch())
            continue;
        // Last group first, so that the offsets of the earlier groups stay valid.
        for (int i = match.lastCapturedIndex(); i >= 1; --i) {
            const int start = match.capturedStart(i);
            if (start < 0)
                continue;
            wildcard.replace(start, match.capturedLength(i), QStringLiteral("*"));
        }
        return wildcard;
    }
    return path;
}

QStringList ksRevisionMonitor::getWildcardFiles(const QString& wildcardPath)
{
    if (wildcardPath.isEmpty())
        return {};

    QFileInfo info(wildcardPath);
    info.makeAbsolute();
    QStringList components;
    while (!info.isRoot()) {
        const QString parent = info.absolutePath();
        components.prepend(info.fileName());
        if (parent == info.absoluteFilePath())
            break;
        info = QFileInfo(parent);
    }
    if (components.isEmpty())
        return {};

    QStringList paths{info.absoluteFilePath()};
    for (const QString& component : qAsConst(components)) {
        QStringList next;
        if (component.contains(QLatin1Char('*'))) {
            for (const QString& path : qAsConst(paths)) {
                const QDir dir(path);
                const QSet<QString> names = getDirEntries(path, component);
                for (const QString& name : names)
                    next.append(dir.filePath(name));
            }
        } else {
            next.reserve(paths.size());
            for (const QString& path : qAsConst(paths))
                next.append(QDir(path).filePath(component));
        }
        paths = std::move(next);
    }

    // A listed last component exists by construction; a literal one has to be checked.
    if (!components.last().contains(QLatin1Char('*'))) {
        paths.erase(std::remove_if(paths.begin(), paths.end(),
                                   [](const QString& path) { return !QFileInfo::exists(path); }),
                    paths.end());
    }
    for (QString& path : paths)
        path = QDir::toNativeSeparators(path);
    return paths;
}

QSet<QString> ksRevisionMonitor::getDirEntries(const QString& dir, const QString& filter)
{
    const QDir directory(dir);
    const QString key = directory.absoluteFilePath(filter);
    const auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd())
        return *cached;

    // A key new to the series is listed afresh, even when the directory was
    // read for another pattern: files may have come or gone since.
    // Qt opens the path as given, not cleaned: "link/../x" goes through the link.
    const QString listed = directory.isRelative() ? QDir::currentPath() + QLatin1Char('/') + directory.path()
                                                  : directory.path();
    const QSet<QString> names = ksDirectoryListing(listed).names(filter);
    m_cache.insert(key, names);
    return names;
}

QMap<QString, QString> ksRevisionMonitor::findRevisions(const QString& path)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const QString wildcardPath = getWildcardPath(nativePath);
    QMap<QString, QString> revisions;
    for (const QString& file : getWildcardFiles(wildcardPath)) {
        const QString revision = getRevision(file);
        if (!revision.isEmpty())
            revisions.insert(revision, file);
    }
    return revisions;
}

QString ksRevisionMonitor::getNewestRevision(const QStringList& revisions)
{
    const QStringList sorted = sortRevision(revisions);
    return sorted.isEmpty() ? QString() : sorted.last();
}

QStringList ksRevisionMonitor::sortRevision(const QStringList& revisions)
{
    if (revisions.isEmpty())
        return {};

    const QRegularExpression prefixExpression(QStringLiteral("^(\\D*)\\d+$"));
    const QRegularExpressionMatch prefixMatch = prefixExpression.match(revisions.first());
    const QString prefix = prefixMatch.hasMatch() ? prefixMatch.captured(1) : QString();

    const QRegularExpression numbered(
        QStringLiteral("^%1\\d+$").arg(QRegularExpression::escape(prefix)));
    const bool allNumbered = std::all_of(revisions.begin(), revisions.end(), [&](const QString& r) {
        return numbered.match(r).hasMatch();
    });

    QStringList sorted = revisions;
    if (allNumbered) {
        // Same prefix everywhere, so a longer number is a greater one (given no
        // leading zeros); equal lengths compare digit by digit.
        std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
    } else {
        std::sort(sorted.begin(), sorted.end());
    }
    return sorted;
}

void ksRevisionMonitor::clearCache()
{
    m_cache.clear();
}

void ksRevisionMonitor::setCache(const QMap<QString, QSet<QString>>& cache)
{
    m_cache = cache;
}
