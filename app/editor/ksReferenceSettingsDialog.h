// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class ksReferenceService;

// The reference settings as a dialog: it shows the service's values when it
// opens and hands the changed ones back to the service on OK. The service
// stores them in the module's settings and starts, stops or reconfigures the
// update monitor.
class ksReferenceSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ksReferenceSettingsDialog(ksReferenceService* service, QWidget* parent = nullptr);

    // Reads the service's values into the fields.
    void load();
    // Writes the fields to the service; only values that differ are set, so
    // that an unchanged dialog neither restarts the monitor nor signals.
    void apply();

    QCheckBox* monitoring() const { return m_monitoring; }
    QSpinBox* interval() const { return m_interval; }
    QComboBox* notificationMode() const { return m_notification; }
    QCheckBox* revisionCheck() const { return m_revisionCheck; }
    QPlainTextEdit* revisionExpressions() const { return m_expressions; }
    QComboBox* exportLocation() const { return m_exportLocation; }
    QLineEdit* customFolder() const { return m_customFolder; }
    QComboBox* loadMode() const { return m_loadMode; }

private:
    QStringList expressions() const;

    ksReferenceService* m_service;
    QCheckBox* m_monitoring;
    QSpinBox* m_interval;
    QComboBox* m_notification;
    QCheckBox* m_revisionCheck;
    QPlainTextEdit* m_expressions;
    QComboBox* m_exportLocation;
    QLineEdit* m_customFolder;
    QComboBox* m_loadMode;
};
