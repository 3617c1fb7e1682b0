#pragma once

#include "platform/NotificationArea.h"
#include "platform/qt/QtPlatform.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// One icon with a tool tip in the notification area, driven by properties:
// while Active, every change of Icon or ToolTip goes to the shell at once;
// while inactive, changes are kept and go with the next add.
class TTrayIcon : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TMouseEvent
        = std::function<void(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;

    // The shell notifies at most this many characters of the tip.
    static constexpr qsizetype MaxToolTip = 62;

    explicit TTrayIcon(
        QObject* owner = nullptr, std::unique_ptr<vorn::NotificationArea> shell = vorn::platform::notificationArea());
    ~TTrayIcon() override;

    bool Active() const { return FActive; }
    // Whether the icon is on the screen now: active, the shell took it and
    // the tray host is still there.
    bool Shown() const { return FActive && FAdded && Available(); }
    // Whether the desktop has a notification area to show the icon in.
    bool Available() const { return FShell->available(); }
    void setActive(bool value);

    // Only meaningful inside a form designer, which this component never
    // lives in: setting it is ignored and it reads false.
    bool ShowDesigning() const { return false; }
    void setShowDesigning(bool) { }

    const QIcon& Icon() const { return FIcon; }
    void setIcon(const QIcon& value);

    const QString& ToolTip() const { return FToolTip; }
    void setToolTip(const QString& value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnRightClick;

private:
    void FillIconData();
    bool AddIcon();
    bool ModifyIcon();
    bool DeleteIcon();
    void refresh();
    void handleMouse(vorn::NotificationArea::MouseAction action);

    vorn::NotificationArea::IconData FIconData;
    QIcon FIcon;
    QString FToolTip;
    bool FActive = false;
    bool FAdded = false;
    std::unique_ptr<vorn::NotificationArea> FShell;
};
