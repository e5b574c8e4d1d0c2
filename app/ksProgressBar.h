// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <vector>

// Draws the host's nested progress (ksFileIO's progress signals) as one bar
// on standard error: the outermost level's title with the innermost level's
// count, and within the current step how far a long file's read is (the bar
// moves on, and the file's name and share follow the count). Only on a
// terminal: redirected output stays free of redraws. Steps and parts redraw
// at most ten times a second; an import of thousands of small files would
// otherwise spend its time on the terminal.
class ksProgressBar : public QObject
{
    Q_OBJECT

public:
    // `enabled` false, or standard error not a terminal: nothing is drawn.
    explicit ksProgressBar(bool enabled, QObject* parent = nullptr);
    ~ksProgressBar() override;

    bool isActive() const { return m_active; }

private:
    void started(const QString& title, int steps, int depth);
    void changed(int value, int steps, int depth);
    void finished(int depth);
    void partChanged(double fraction, const QString& detail, int depth);
    void draw(bool always = true);
    void clear();

    struct Level {
        QString title;
        int steps;
        int value;
        // Of the current step; never drawn backwards within one step.
        double part = 0;
        QString detail;
    };

    bool m_active = false;
    bool m_drawn = false;
    QElapsedTimer m_sinceDraw;
    std::vector<Level> m_levels;
};
