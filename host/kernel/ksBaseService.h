// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QObject>

// Base of every kernel service. The kernel emits init on each registered
// service once, after all modules are loaded and registered; services that
// need other services connect to the init of the factory's ksBaseService
// entry and wire themselves up then.
class ksBaseService : public QObject
{
    Q_OBJECT

public:
    explicit ksBaseService(QObject* parent = nullptr);
    ~ksBaseService() override;

signals:
    void init();
};
