// Licensed under the MIT licence; see LICENSE.
#include "ksProgressDisplay.h"

#include "scene/ksFileIO.h"

#include <QProgressDialog>

ksProgressDisplay::ksProgressDisplay(QWidget* window)
    : QObject(window)
    , m_window(window)
{
    ksFileIO* io = ksFileIO::instance();
    connect(io, &ksFileIO::advancedProgressStarted, this, &ksProgressDisplay::started);
    connect(io, &ksFileIO::advancedProgressChanged, this, &ksProgressDisplay::changed);
    connect(io, &ksFileIO::advancedProgressFinished, this, &ksProgressDisplay::finished);
}

ksProgressDisplay::~ksProgressDisplay()
{
    delete m_dialog;
}

void ksProgressDisplay::started(const QString& title, int steps, int depth)
{
    if (depth == 1) {
        delete m_dialog;
        // No cancel button: the host's progress cannot be cancelled.
        m_dialog = new QProgressDialog(title, QString(), 0, std::max(steps, 1), m_window);
        m_dialog->setWindowTitle(tr("Working"));
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(500);
        m_dialog->setAutoClose(false);
        m_dialog->setValue(0);
        m_title = title;
    } else if (m_dialog) {
        m_dialog->setLabelText(QStringLiteral("%1\n%2").arg(m_title, title));
    }
}

void ksProgressDisplay::changed(int value, int steps, int depth)
{
    if (depth != 1 || !m_dialog)
        return;
    m_dialog->setMaximum(std::max(steps, 1));
    m_dialog->setValue(std::min(value, m_dialog->maximum()));
}

void ksProgressDisplay::finished(int depth)
{
    if (!m_dialog)
        return;
    if (depth == 1) {
        m_dialog->reset();
        m_dialog->deleteLater();
        m_dialog = nullptr;
    } else {
        m_dialog->setLabelText(m_title);
    }
}
