#pragma once

#include "app/Guarded.h"
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "platform/Notifications.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"
#include "support/FakeNotificationArea.h"
#include "support/FakeRemoteAccess.h"
#include "support/RecordingRegistry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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
    QStringList messages;
    std::vector<QWidget*> owners; // of each message
    std::deque<int> answers; // IDOK when none is left
    QString fileToChoose; // empty: the dialog is cancelled
    std::vector<OpenFileRequest> fileRequests;
    int beeps = 0;

    int messageBox(QWidget* owner, const QString& text, const QString& /*title*/, unsigned /*flags*/) override
    {
        messages << text;
        owners.push_back(owner);
        if (answers.empty())
            return IDOK;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString openFile(QWidget*, const OpenFileRequest& request) override
    {
        fileRequests.push_back(request);
        return fileToChoose;
    }
    void beep() override { ++beeps; }
};

// What the wizard shows on the desktop, in order.
class RecordingNotifications final : public Notifications
{
public:
    explicit RecordingNotifications(QStringList& into)
        : shown(into)
    {
    }
    void notify(const QString& summary, const QString& /*body*/) override { shown << summary; }
    QStringList& shown;
};

// A wizard window on a temporary hive and current folder, the fake dial-up
// service and tray, and scripted prompts.
class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("VORN_REGISTRY", folder.filePath(QStringLiteral("registry.db")).toLocal8Bit());
        registry = std::make_unique<RecordingRegistry>(platform::registry());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        UserPrompts::install(&prompts);
        writePDTFile("Dial-up Finished\n");
    }
    void TearDown() override
    {
        window.reset();
        UserPrompts::install(nullptr);
        QDir::setCurrent(previousFolder);
    }

    // Creates the window (on `hive`, else `registry`) and runs its start-up as the program
    // does; the tune watchers, window hiders and notifications it starts are only recorded.
    TfrmSelect& start(Registry* hive = nullptr, const QString& initializer = {})
    {
        auto shell = std::make_unique<FakeNotificationArea>();
        tray = shell.get();
        window = std::make_unique<TfrmSelect>(
            service ? service : ras, hive != nullptr ? hive : registry.get(), std::move(shell));
        window->InitializerPath
            = initializer.isEmpty() ? folder.filePath(QStringLiteral("no-initializer")) : initializer;
        window->startTuneWatcher
            = [this](const QString& caption, const QString& tune) { tuneWatchers << caption + "|" + tune; };
        window->startWindowHider = [this](const QString& title) { windowHiders << title; };
        window->Notifier = std::make_unique<RecordingNotifications>(notified);
        runGuarded([this] { window->FormCreate(); });
        return *window;
    }
    // Started and shown listing `entries` with `selected` ticked.
    TfrmSelect& startWith(const QByteArrayList& entries, const QByteArrayList& selected = {})
    {
        ras->entryNames = entries;
        TfrmSelect& w = start();
        for (const auto& name : selected)
            w.SelectedEntries.add(name);
        w.show();
        return w;
    }
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
    Variant stored(const QString& key, const QString& name)
    {
        TRegFile reader(nullptr, &platform::registry());
        reader.RootKey = hkLocalMachine;
        reader.Key = key;
        return reader.ValueExists(QString(), name) ? reader.ReadValue(name) : Variant::Null();
    }
    void store(const QString& key, const QString& name, const Variant& value)
    {
        TRegFile writer(nullptr, &platform::registry());
        writer.RootKey = hkLocalMachine;
        writer.Key = key;
        if (value.isNull())
            writer.DeleteValue(name);
        else
            writer.WriteValue(name, value);
    }
    QString entryKey(const QString& name) const { return stats::EntryKey(name); }
    // Statistics of `entry` as a past connection left them, "Accesses" as given.
    void storeStatistics(const QString& entry, const Variant& accesses)
    {
        store(entryKey(entry), QStringLiteral("LastAccess"), Variant("01/02/03 - 10:00:00"));
        store(entryKey(entry), QStringLiteral("Accesses"), accesses);
        store(entryKey(entry), QStringLiteral("LastTime"), Variant("00:00:10"));
        store(entryKey(entry), QStringLiteral("TotalTime"), Variant("00:01:00"));
    }
    void writePDTFile(const QByteArray& content)
    {
        QFile file(folder.filePath(QStringLiteral("vorninfo.pdt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    void select(const QString& caption, bool selected = true)
    {
        window->ConList->setSelected(rowOf(caption), selected);
    }
    void next(int pages)
    {
        for (int page = 0; page < pages; ++page)
            window->btnNext->click();
    }
    int rowOf(const QString& caption) const
    {
        for (int row = 0; row < window->ConList->rowCount(); ++row) {
            if (window->ConList->caption(row) == caption)
                return row;
        }
        return -1;
    }

    QTemporaryDir folder;
    QString previousFolder;
    std::shared_ptr<FakeRemoteAccess> ras = std::make_shared<FakeRemoteAccess>();
    // The window's service when set (a real one), else `ras`.
    std::shared_ptr<RemoteAccess> service;
    FakeNotificationArea* tray = nullptr; // owned by the window
    std::unique_ptr<RecordingRegistry> registry;
    RecordingPrompts prompts;
    QStringList tuneWatchers, windowHiders, notified;
    std::unique_ptr<TfrmSelect> window;
};

} // namespace vorn::test
