#pragma once

#include "platform/RemoteAccess.h"
#include "platform/sim/SimRemoteAccess.h"
#include "support/ConnectionList.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace vorn::test
{

using DialStep = std::pair<std::uint32_t, std::uint32_t>; // state, error

// Records the progress notifications of one dial.
class DialRecorder : public QObject
{
public:
    QList<DialStep> steps;
    bool finished() const
    {
        return !steps.isEmpty() && (steps.last().second != 0 || steps.last().first == ras::Connected);
    }

protected:
    bool event(QEvent* event) override
    {
        if (const auto* progress = dynamic_cast<RasDialEvent*>(event)) {
            steps.append({ progress->state, progress->error });
            return true;
        }
        return QObject::event(event);
    }
};

// A private simulated dial-up service (own socket, phonebook and config
// folder) per test, so tests may run side by side.
class DialupFixture : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    ServiceProcess service { dir.path() };

    QString socketPath() const { return service.socketPath(); }
    QString phonebookPath() const { return dir.filePath(QStringLiteral("test.pbk")); }
    QByteArray phonebook() const { return phonebookPath().toUtf8(); }

    void writePhonebook(const QByteArray& text)
    {
        QFile file(phonebookPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    std::shared_ptr<sim::SimRemoteAccess> client() const
    {
        return std::make_shared<sim::SimRemoteAccess>(socketPath());
    }

    // Dials `entry` (of our phonebook unless `book` names another) until it has connected or failed.
    QList<DialStep> dialToEnd(
        sim::SimRemoteAccess& access, const QString& entry, RasHandle* handle = nullptr, const char* book = nullptr)
    {
        DialRecorder recorder;
        RASDIALPARAMS params {};
        params.dwSize = sizeof params;
        copyToField(params.szEntryName, entry.toUtf8());
        RasHandle dialed = 0;
        EXPECT_EQ(access.dial(book != nullptr ? book : phonebook().constData(), params, &recorder, &dialed), 0U);
        EXPECT_TRUE(waitUntil([&recorder] { return recorder.finished(); }, std::chrono::seconds(10)));
        if (handle != nullptr)
            *handle = dialed;
        return recorder.steps;
    }
};

} // namespace vorn::test
