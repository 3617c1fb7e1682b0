#pragma once

#include "app/Select.h"
#include "app/UserPrompts.h"
#include "platform/NotificationArea.h"
#include "platform/Registry.h"
#include "platform/RemoteAccess.h"
#include "settings/RegFiles.h"
#include "support/RecordingRegistry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace vorn::test
{

// A remote-access service with a fixed phonebook and no connections.
class FakeRemoteAccess final : public RemoteAccess
{
public:
    QByteArrayList entries;
    QString captionTemplate = QStringLiteral("Connected to %s");

    std::uint32_t enumEntries(
        const char*, RASENTRYNAME* buffer, std::uint32_t* bufferBytes, std::uint32_t* count) override;
    std::uint32_t enumConnections(RASCONN*, std::uint32_t*, std::uint32_t* count) override { return *count = 0; }
    std::uint32_t dial(const char*, const RASDIALPARAMS&, QObject*, RasHandle*) override
    {
        return ras::CannotFindPhonebookEntry;
    }
    std::uint32_t hangUp(RasHandle) override { return 0; }
    std::uint32_t connectStatus(RasHandle, RASCONNSTATUS*) override { return ras::InvalidHandle; }
    std::uint32_t errorString(std::uint32_t, char*, std::uint32_t) override { return ras::InvalidParameter; }
    QString dialerCaptionTemplate() override { return captionTemplate; }
    QString connectedWindowTitle() override { return QStringLiteral("Connection Established"); }
};

// A notification area that keeps the icon's state for the test to look at.
class FakeTray final : public NotificationArea
{
public:
    bool hostAvailable = true;
    bool acceptsIcon = true;
    bool shown = false;
    QString tip;
    MouseHandler handler;

    bool available() const override { return hostAvailable; }
    bool add(const IconData& data) override
    {
        shown = acceptsIcon;
        tip = data.tip;
        return acceptsIcon;
    }
    bool modify(const IconData& data) override
    {
        tip = data.tip;
        return true;
    }
    bool remove(const IconData&) override
    {
        shown = false;
        return true;
    }
    void setMouseHandler(MouseHandler h) override { handler = std::move(h); }
    QPoint cursorPosition() const override { return {}; }
};

// Answers the program's questions from a script and records what was asked.
class RecordingPrompts final : public UserPrompts
{
public:
    struct Message {
        QWidget* owner;
        QString text;
        QString title;
        unsigned flags;
    };
    std::vector<Message> messages;
    std::deque<int> answers; // IDOK when none is left
    QString fileToChoose; // empty: the dialog is cancelled
    std::vector<OpenFileRequest> fileRequests;
    int beeps = 0;

    int messageBox(QWidget* owner, const QString& text, const QString& title, unsigned flags) override;
    QString openFile(QWidget*, const OpenFileRequest& request) override;
    void beep() override { ++beeps; }
};

// A wizard window on a temporary hive and current folder, a fake
// phonebook and scripted prompts.
class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window and runs its start-up.
    TfrmSelect& start();
    // A store of its own on the same hive, for looking at values.
    Variant stored(const QString& key, const QString& name);
    void store(const QString& key, const QString& name, const Variant& value);
    QString entryKey(const QString& name) const;
    void writePDTFile(const QByteArray& content);
    int rowOf(const QString& caption) const;

    QTemporaryDir folder;
    QString previousFolder;
    std::shared_ptr<FakeRemoteAccess> ras = std::make_shared<FakeRemoteAccess>();
    // The window's service when set, else `ras`.
    std::shared_ptr<RemoteAccess> service;
    FakeTray* tray = nullptr; // owned by the window
    std::unique_ptr<RecordingRegistry> registry;
    RecordingPrompts prompts;
    std::unique_ptr<TfrmSelect> window;
};

} // namespace vorn::test
