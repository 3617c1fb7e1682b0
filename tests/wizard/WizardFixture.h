#pragma once

#include "app/Select.h"
#include "app/UserPrompts.h"
#include "platform/Registry.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"
#include "support/FakeNotificationArea.h"
#include "support/FakeRemoteAccess.h"
#include "support/RecordingRegistry.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace vorn::test
{

// Answers the program's questions from a script and records what was asked.
class RecordingPrompts final : public UserPrompts
{
public:
    struct Message {
        QWidget* owner;
        QString text;
        QString title;
    };
    std::vector<Message> messages;
    std::deque<int> answers; // IDOK when none is left
    QString fileToChoose; // empty: the dialog is cancelled
    std::vector<OpenFileRequest> fileRequests;
    int beeps = 0;

    int messageBox(QWidget* owner, const QString& text, const QString& title, unsigned flags) override;
    QString openFile(QWidget*, const OpenFileRequest& request) override
    {
        fileRequests.push_back(request);
        return fileToChoose;
    }
    void beep() override { ++beeps; }
};

// A wizard window on a temporary hive and current folder, the fake dial-up
// service and tray, and scripted prompts.
class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (on `hive`, else `registry`) and runs its start-up as the program does.
    TfrmSelect& start(Registry* hive = nullptr, const QString& initializer = {});
    // Runs `act` on the modal dialog of type D that `open` shows, then closes it if still open.
    template <typename D> void onDialog(const std::function<void()>& open, const std::function<void(D&)>& act)
    {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(*dialog);
            acted = true;
            if (dialog->isVisible())
                dialog->reject();
        });
        open();
        EXPECT_TRUE(acted);
    }
    // Through a store of its own on the same hive; storing Null deletes the value.
    Variant stored(const QString& key, const QString& name);
    void store(const QString& key, const QString& name, const Variant& value);
    QString entryKey(const QString& name) const { return stats::EntryKey(name); }
    // Statistics of `entry` as a past connection left them, "Accesses" as given.
    void storeStatistics(const QString& entry, const Variant& accesses);
    void writePDTFile(const QByteArray& content);
    int rowOf(const QString& caption) const;

    QTemporaryDir folder;
    QString previousFolder;
    std::shared_ptr<FakeRemoteAccess> ras = std::make_shared<FakeRemoteAccess>();
    // The window's service when set (a real one), else `ras`.
    std::shared_ptr<RemoteAccess> service;
    FakeNotificationArea* tray = nullptr; // owned by the window
    std::unique_ptr<RecordingRegistry> registry;
    RecordingPrompts prompts;
    std::unique_ptr<TfrmSelect> window;
};

} // namespace vorn::test
