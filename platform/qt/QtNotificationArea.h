#pragma once

#include "platform/NotificationArea.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QWidget;

namespace vorn
{

// The icon through QSystemTrayIcon: XEmbed, or StatusNotifierItem where a
// D-Bus tray host is there.
class QtNotificationArea final : public QObject, public NotificationArea
{
    Q_OBJECT
public:
    explicit QtNotificationArea(QObject* parent = nullptr);

    bool add(const IconData& data) override;
    bool modify(const IconData& data) override;
    bool remove(const IconData& data) override;
    bool available() const override;
    void setMouseHandler(MouseHandler handler) override;
    QPoint cursorPosition() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const IconData& data);
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void report(MouseAction action);

    QSystemTrayIcon tray_;
    // Qt's XEmbed icon window, whose mouse events are watched directly.
    QPointer<QWidget> embedded_;
    MouseHandler handler_;
};

} // namespace vorn
