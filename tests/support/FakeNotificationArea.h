#pragma once

#include "platform/NotificationArea.h"

#include <memory>
#include <vector>

namespace vorn::test
{

// Records every request and keeps the icon's state. `calls` is shared: it
// outlives the fake, which its tray icon owns.
class FakeNotificationArea final : public NotificationArea
{
public:
    struct Call {
        enum Kind { Add, Modify, Remove } kind;
        QString tip;
        qint64 iconKey;
    };
    std::shared_ptr<std::vector<Call>> calls = std::make_shared<std::vector<Call>>();
    bool hostAvailable = true;
    bool accepts = true; // whether the shell takes the requests
    bool shown = false;
    QString tip;
    QPoint cursor;
    MouseHandler handler;

    bool available() const override { return hostAvailable; }
    bool add(const IconData& data) override { return record(Call::Add, data) && (shown = true); }
    bool modify(const IconData& data) override { return record(Call::Modify, data); }
    bool remove(const IconData& data) override { return record(Call::Remove, data) && !(shown = false); }
    void setMouseHandler(MouseHandler h) override { handler = std::move(h); }
    QPoint cursorPosition() const override { return cursor; }

private:
    bool record(Call::Kind kind, const IconData& data)
    {
        calls->push_back({ kind, data.tip, data.icon.cacheKey() });
        if (accepts && kind != Call::Remove)
            tip = data.tip;
        return accepts;
    }
};

} // namespace vorn::test
