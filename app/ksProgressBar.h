// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

// Draws the host's nested progress (ksFileIO's progress signals) as one bar
// on standard error: the outermost level's title with the innermost level's
// count. Only on a terminal: redirected output stays free of redraws.
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
    void draw();
    void clear();

    struct Level {
        QString title;
        int steps;
        int value;
    };

    bool m_active = false;
    bool m_drawn = false;
    std::vector<Level> m_levels;
};
