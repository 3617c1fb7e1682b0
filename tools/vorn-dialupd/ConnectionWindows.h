#pragma once

#include "platform/RemoteAccess.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vorn::sim
{

class DialupService;

// What the dial-up application shows for each connection: the one-time
// "Connection Established" notice, and a status window titled by its caption
// template with the elapsed time and a Disconnect button.
class ConnectionWindows : public QObject
{
    Q_OBJECT
public:
    explicit ConnectionWindows(DialupService& service);
    ~ConnectionWindows() override;

private:
    void showConnected(RasHandle handle, const QString& entry, const QString& deviceName);
    void closeWindows(RasHandle handle);

    DialupService& service_;
    struct Windows {
        QPointer<QWidget> notice;
        QPointer<QWidget> status;
    };
    QHash<RasHandle, Windows> windows_;
};

} // namespace vorn::sim
