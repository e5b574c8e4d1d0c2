// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QObject>
#include <QString>

// What the host knows about one open scene: for now the file it came from
// or was last saved to.
class ksSceneData : public QObject
{
    Q_OBJECT
public:
    explicit ksSceneData(QObject* parent = nullptr);

    // Empty for a scene that was never loaded or saved.
    QString getCurrentFile() const { return m_currentFile; }
    void setCurrentFile(const QString& path);

signals:
    void currentFileChanged(const QString& path);

private:
    QString m_currentFile;
};
