// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// Shows the host's nested progress (ksFileIO's progress API) as one
// progress dialog: the outermost level gives the bar, an inner level's
// title is shown as the label while it runs. The dialog appears only when
// the work lasts, as Qt's progress dialog decides.
class ksProgressDisplay : public QObject
{
    Q_OBJECT

public:
    explicit ksProgressDisplay(QWidget* window);
    ~ksProgressDisplay() override;

    QProgressDialog* dialog() const { return m_dialog; }

private:
    void started(const QString& title, int steps, int depth);
    void changed(int value, int steps, int depth);
    void finished(int depth);

    QWidget* m_window;
    QPointer<QProgressDialog> m_dialog;
    QString m_title;
};
