#include "app/TrayIcon.h"

TTrayIcon::TTrayIcon(QObject* owner, std::unique_ptr<vorn::NotificationArea> shell)
    : QObject(owner)
    , FShell(std::move(shell))
{
    FShell->setMouseHandler([this](vorn::NotificationArea::MouseAction action) { handleMouse(action); });
}

TTrayIcon::~TTrayIcon()
{
    if (FActive)
        DeleteIcon();
}

void TTrayIcon::setActive(bool value)
{
    if (value == FActive)
        return;
    FActive = value;
    if (value)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::setIcon(const QIcon& value)
{
    if (&value == &FIcon)
        return;
    FIcon = value;
    ModifyIcon();
}

void TTrayIcon::setToolTip(const QString& value)
{
    QString tip = value.left(MaxToolTip);
    // Never leave half of a surrogate pair at the end.
    if (tip.size() < value.size() && !tip.isEmpty() && tip.back().isHighSurrogate())
        tip.chop(1);
    FToolTip = tip;
    ModifyIcon();
}

void TTrayIcon::FillIconData()
{
    FIconData.icon = FIcon;
    FIconData.tip = FToolTip;
}

bool TTrayIcon::AddIcon()
{
    FillIconData();
    const bool accepted = FShell->add(FIconData);
    FAdded = accepted;
    // Queued behind whatever is waiting, so a tip set by the caller's
    // current work still reaches the shell.
    if (FToolTip.isEmpty())
        QMetaObject::invokeMethod(this, &TTrayIcon::refresh, Qt::QueuedConnection);
    return accepted;
}

bool TTrayIcon::ModifyIcon()
{
    FillIconData();
    return FActive ? FShell->modify(FIconData) : true;
}

// Removes what was last handed to the shell.
bool TTrayIcon::DeleteIcon()
{
    FAdded = false;
    return FShell->remove(FIconData);
}

void TTrayIcon::refresh()
{
    setToolTip(FToolTip);
}

void TTrayIcon::handleMouse(vorn::NotificationArea::MouseAction action)
{
    using Action = vorn::NotificationArea::MouseAction;
    switch (action) {
    case Action::LeftRelease:
        if (OnClick)
            OnClick(this);
        break;
    case Action::LeftDoubleClick:
        if (OnDblClick)
            OnDblClick(this);
        break;
    case Action::RightRelease:
        if (OnRightClick) {
            const QPoint cursor = FShell->cursorPosition();
            OnRightClick(this, Qt::RightButton, Qt::NoModifier, cursor.x(), cursor.y());
        }
        break;
    }
}
