// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QObject>
#include <QString>

class QWidget;
class ksMessage;

// A message-driven module of the host. Constructing one hands it to the
// host's module list (ksModuleList), which delivers every host message whose
// id bits are all set in the module's flags, and which destroys the module at
// shutdown; the destructor takes it out of the list.
class ksModuleBase : public QObject
{
    Q_OBJECT

public:
    ksModuleBase(const QString& name, const QString& group, quint64 flags, const QString& icon = QString());
    ~ksModuleBase() override;

    QString getName() const { return m_name; }
    QString getGroup() const { return m_group; }
    quint64 getFlags() const { return m_flags; }
    QString getIcon() const { return m_icon; }

    // The module's panel, if it has one; the host owns what it returns.
    virtual QWidget* getWidget();
    virtual void init();
    virtual void update();
    virtual void loop();
    // A host message for this module; the result is the module's answer
    // (0: handled or ignored).
    virtual int receivedMessage(ksMessage& message);

private:
    QString m_name;
    QString m_group;
    quint64 m_flags;
    QString m_icon;
};
