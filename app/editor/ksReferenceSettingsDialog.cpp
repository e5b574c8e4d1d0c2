// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceSettingsDialog.h"

#include "references/ksReferenceService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

using T = ksReferenceTypes;

ksReferenceSettingsDialog::ksReferenceSettingsDialog(ksReferenceService* service, QWidget* parent)
    : QDialog(parent)
    , m_service(service)
    , m_monitoring(new QCheckBox(tr("Watch referenced files for changes"), this))
    , m_interval(new QSpinBox(this))
    , m_notification(new QComboBox(this))
    , m_revisionCheck(new QCheckBox(tr("Report newer revisions as updates"), this))
    , m_expressions(new QPlainTextEdit(this))
    , m_exportLocation(new QComboBox(this))
    , m_customFolder(new QLineEdit(this))
    , m_loadMode(new QComboBox(this))
{
    setWindowTitle(tr("Reference Settings"));
    m_interval->setRange(100, 3600000);
    m_interval->setSingleStep(500);
    m_interval->setSuffix(tr(" ms"));
    m_notification->addItem(tr("No notification"), int(T::NoNotification));
    m_notification->addItem(tr("Notify after each update check"), int(T::NotifyAfterUpdateCheck));
    m_expressions->setPlaceholderText(tr("One regular expression per line, e.g. _v(\\d+)"));
    m_expressions->setMaximumHeight(80);
    m_exportLocation->addItem(tr("Next to the source file"), int(T::NextToSource));
    m_exportLocation->addItem(tr("In the custom folder"), int(T::CustomDirectory));
    m_loadMode->addItem(tr("Default"), int(T::DefaultLoadMode));

    auto* browse = new QPushButton(tr("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, tr("Folder for new smart files"),
                                                                 m_customFolder->text());
        if (!folder.isEmpty())
            m_customFolder->setText(folder);
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_customFolder);
    folderRow->addWidget(browse);

    auto* form = new QFormLayout;
    form->addRow(m_monitoring);
    form->addRow(tr("Check every"), m_interval);
    form->addRow(tr("Notification"), m_notification);
    form->addRow(m_revisionCheck);
    form->addRow(tr("Revision expressions"), m_expressions);
    form->addRow(tr("New smart files"), m_exportLocation);
    form->addRow(tr("Custom folder"), folderRow);
    form->addRow(tr("Load mode"), m_loadMode);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &ksReferenceSettingsDialog::apply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    load();
}

QStringList ksReferenceSettingsDialog::expressions() const
{
    QStringList list;
    for (const QString& line : m_expressions->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            list << line.trimmed();
    return list;
}

void ksReferenceSettingsDialog::load()
{
    if (!m_service)
        return;
    const auto select = [](QComboBox* box, int value) { box->setCurrentIndex(std::max(0, box->findData(value))); };
    m_monitoring->setChecked(m_service->isUpdateMonitoringEnabled());
    m_interval->setValue(m_service->getUpdateMonitoringInterval());
    select(m_notification, int(m_service->getNotificationMode()));
    m_revisionCheck->setChecked(m_service->isRevisionCheckEnabled());
    m_expressions->setPlainText(m_service->getRevisionExpressions().join(QLatin1Char('\n')));
    select(m_exportLocation, int(m_service->getExportLocation()));
    m_customFolder->setText(m_service->getCustomExportPath());
    select(m_loadMode, int(m_service->getLoadMode()));
}

void ksReferenceSettingsDialog::apply()
{
    ksReferenceService* s = m_service;
    if (!s)
        return;
    if (s->getUpdateMonitoringInterval() != m_interval->value())
        s->setUpdateMonitoringInterval(m_interval->value());
    const auto notification = T::NotificationMode(m_notification->currentData().toUInt());
    if (s->getNotificationMode() != notification)
        s->setNotificationMode(notification);
    // Expressions before the check, so the first check with them on uses them.
    if (s->getRevisionExpressions() != expressions())
        s->setRevisionExpressions(expressions());
    if (s->isRevisionCheckEnabled() != m_revisionCheck->isChecked())
        s->setRevisionCheckEnabled(m_revisionCheck->isChecked());
    const auto location = T::ExportLocation(m_exportLocation->currentData().toUInt());
    if (s->getExportLocation() != location)
        s->setExportLocation(location);
    if (s->getCustomExportPath() != m_customFolder->text())
        s->setCustomExportPath(m_customFolder->text());
    const auto loadMode = T::LoadMode(m_loadMode->currentData().toUInt());
    if (s->getLoadMode() != loadMode)
        s->setLoadMode(loadMode);
    if (s->isUpdateMonitoringEnabled() != m_monitoring->isChecked())
        s->setUpdateMonitoringEnabled(m_monitoring->isChecked());
}
