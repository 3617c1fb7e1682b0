#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>

namespace vorn
{

// One icon in the desktop's notification area (tray). Each instance owns at
// most one icon; its owner adds, changes and removes it and hears about the
// mouse over it.
class NotificationArea
{
public:
    // What the owner hands to the shell: the icon and its tool tip go together.
    struct IconData {
        QIcon icon;
        QString tip;
    };

    enum class MouseAction { LeftRelease, LeftDoubleClick, RightRelease };
    using MouseHandler = std::function<void(MouseAction)>;

    virtual ~NotificationArea() = default;

    // Each returns whether the shell took the request.
    virtual bool add(const IconData& data) = 0;
    virtual bool modify(const IconData& data) = 0;
    virtual bool remove(const IconData& data) = 0;

    // Whether a tray host is there to show the icon now.
    virtual bool available() const { return true; }

    // Called on the UI thread for every release or double click over the icon.
    virtual void setMouseHandler(MouseHandler handler) = 0;

    // Where the mouse cursor is now, in screen coordinates.
    virtual QPoint cursorPosition() const = 0;
};

} // namespace vorn
