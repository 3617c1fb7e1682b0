#include "platform/qt/QtNotificationArea.h"

#include "platform/qt/QtPlatform.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

namespace vorn
{

namespace
{

// The shell shows an empty slot for an icon without an image, as Windows does
// for a null icon handle; QSystemTrayIcon refuses to show a null icon.
QIcon iconOrBlank(const QIcon& icon)
{
    if (!icon.isNull())
        return icon;
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

QList<QWidget*> xembedIconWindows()
{
    QList<QWidget*> windows;
    for (auto* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys"))
            windows.append(widget);
    return windows;
}

} // namespace

QtNotificationArea::QtNotificationArea(QObject* parent)
    : QObject(parent)
{
    connect(&tray_, &QSystemTrayIcon::activated, this, &QtNotificationArea::onActivated);
}

void QtNotificationArea::show(const IconData& data)
{
    tray_.setIcon(iconOrBlank(data.icon));
    tray_.setToolTip(data.tip);
}

bool QtNotificationArea::add(const IconData& data)
{
    if (tray_.isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    show(data);
    // On XEmbed Qt reports presses; the release and the double click are read
    // from its icon window, which it creates when the icon is shown.
    const auto before = xembedIconWindows();
    tray_.show();
    for (auto* window : xembedIconWindows()) {
        if (!before.contains(window)) {
            embedded_ = window;
            window->installEventFilter(this);
        }
    }
    return true;
}

bool QtNotificationArea::modify(const IconData& data)
{
    if (!tray_.isVisible())
        return false;
    show(data);
    return true;
}

bool QtNotificationArea::remove(const IconData&)
{
    if (!tray_.isVisible())
        return false;
    tray_.hide();
    embedded_ = nullptr;
    return true;
}

bool QtNotificationArea::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtNotificationArea::setMouseHandler(MouseHandler handler)
{
    handler_ = std::move(handler);
}

QPoint QtNotificationArea::cursorPosition() const
{
    return QCursor::pos();
}

bool QtNotificationArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == embedded_) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (type == QEvent::MouseButtonDblClick && button == Qt::LeftButton)
                report(MouseAction::LeftDoubleClick);
            else if (type == QEvent::MouseButtonRelease && button == Qt::LeftButton)
                report(MouseAction::LeftRelease);
            else if (type == QEvent::MouseButtonRelease && button == Qt::RightButton)
                report(MouseAction::RightRelease);
        }
    }
    return QObject::eventFilter(watched, event);
}

// A StatusNotifierItem host reports whole clicks, which it sends on release.
void QtNotificationArea::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (embedded_)
        return;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        report(MouseAction::LeftRelease);
        break;
    case QSystemTrayIcon::DoubleClick:
        report(MouseAction::LeftDoubleClick);
        break;
    case QSystemTrayIcon::Context:
        report(MouseAction::RightRelease);
        break;
    default:
        break;
    }
}

void QtNotificationArea::report(MouseAction action)
{
    if (handler_)
        handler_(action);
}

namespace platform
{

std::unique_ptr<NotificationArea> notificationArea()
{
    return std::make_unique<QtNotificationArea>();
}

} // namespace platform

} // namespace vorn
