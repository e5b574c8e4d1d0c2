// Licensed under the MIT licence; see LICENSE.
#include "ksProgressBar.h"

#include "scene/ksFileIO.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
constexpr int barWidth = 30;
}

ksProgressBar::ksProgressBar(bool enabled, QObject* parent) : QObject(parent)
{
    m_active = enabled && ::isatty(STDERR_FILENO);
    if (!m_active)
        return;
    ksFileIO* io = ksFileIO::instance();
    connect(io, &ksFileIO::advancedProgressStarted, this, &ksProgressBar::started);
    connect(io, &ksFileIO::advancedProgressChanged, this, &ksProgressBar::changed);
    connect(io, &ksFileIO::advancedProgressFinished, this, &ksProgressBar::finished);
    connect(io, &ksFileIO::advancedProgressPartChanged, this, &ksProgressBar::partChanged);
}

ksProgressBar::~ksProgressBar()
{
    clear();
}

void ksProgressBar::started(const QString& title, int steps, int depth)
{
    m_levels.resize(std::size_t(std::max(depth - 1, 0)));
    m_levels.push_back({title, steps, 0, 0.0, QString()});
    draw();
}

void ksProgressBar::changed(int value, int steps, int depth)
{
    if (depth < 1 || std::size_t(depth) > m_levels.size())
        return;
    Level& level = m_levels[std::size_t(depth - 1)];
    level.value = value;
    level.steps = steps;
    level.part = 0;
    level.detail.clear();
    draw(false);
}

void ksProgressBar::partChanged(double fraction, const QString& detail, int depth)
{
    if (depth < 1 || std::size_t(depth) > m_levels.size())
        return;
    Level& level = m_levels[std::size_t(depth - 1)];
    level.part = std::max(level.part, fraction);
    level.detail = detail;
    draw(false);
}

void ksProgressBar::finished(int depth)
{
    if (depth >= 1 && std::size_t(depth) <= m_levels.size())
        m_levels.resize(std::size_t(depth - 1));
    if (m_levels.empty())
        clear();
    else
        draw();
}

void ksProgressBar::draw(bool always)
{
    if (m_levels.empty())
        return;
    if (!always && m_sinceDraw.isValid() && m_sinceDraw.elapsed() < 100)
        return;
    m_sinceDraw.start();
    // The title says what the whole job is; the count shows the finest level.
    const Level& outer = m_levels.front();
    const Level& inner = m_levels.back();
    const double done = inner.value + (inner.value < inner.steps ? inner.part : 0.0);
    const double fraction = inner.steps > 0 ? std::min(done / inner.steps, 1.0) : 0.0;
    const int filled = int(fraction * barWidth + 0.5);
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(barWidth - filled), '-');
    const QString detail = inner.detail.isEmpty() ? QString() : QStringLiteral("  ") + inner.detail;
    std::fprintf(stderr, "\r\033[K%s [%s] %d/%d%s", outer.title.toLocal8Bit().constData(), bar.c_str(), inner.value,
                 inner.steps, detail.toLocal8Bit().constData());
    std::fflush(stderr);
    m_drawn = true;
}

void ksProgressBar::clear()
{
    if (!m_drawn)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_drawn = false;
}
