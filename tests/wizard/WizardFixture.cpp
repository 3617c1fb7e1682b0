#include "WizardFixture.h"

#include "app/Guarded.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>

namespace vorn::test
{

int RecordingPrompts::messageBox(QWidget* owner, const QString& text, const QString& title, unsigned /*flags*/)
{
    messages.push_back({ owner, text, title });
    if (answers.empty())
        return IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void WizardTest::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    qputenv("VORN_REGISTRY", folder.filePath(QStringLiteral("registry.db")).toLocal8Bit());
    registry = std::make_unique<RecordingRegistry>(platform::registry());
    previousFolder = QDir::currentPath();
    QDir::setCurrent(folder.path());
    UserPrompts::install(&prompts);
    writePDTFile("Dial-up Finished\n");
}

void WizardTest::TearDown()
{
    window.reset();
    UserPrompts::install(nullptr);
    QDir::setCurrent(previousFolder);
}

TfrmSelect& WizardTest::start(Registry* hive, const QString& initializer)
{
    auto shell = std::make_unique<FakeNotificationArea>();
    tray = shell.get();
    window = std::make_unique<TfrmSelect>(
        service ? service : ras, hive != nullptr ? hive : registry.get(), std::move(shell));
    window->InitializerPath = initializer.isEmpty() ? folder.filePath(QStringLiteral("no-initializer")) : initializer;
    runGuarded([this] { window->FormCreate(); });
    return *window;
}

Variant WizardTest::stored(const QString& key, const QString& name)
{
    TRegFile reader(nullptr, &platform::registry());
    reader.RootKey = hkLocalMachine;
    reader.Key = key;
    return reader.ValueExists(QString(), name) ? reader.ReadValue(name) : Variant::Null();
}

void WizardTest::store(const QString& key, const QString& name, const Variant& value)
{
    TRegFile writer(nullptr, &platform::registry());
    writer.RootKey = hkLocalMachine;
    writer.Key = key;
    if (value.isNull())
        writer.DeleteValue(name);
    else
        writer.WriteValue(name, value);
}

void WizardTest::storeStatistics(const QString& entry, const Variant& accesses)
{
    store(entryKey(entry), QStringLiteral("LastAccess"), Variant("01/02/03 - 10:00:00"));
    store(entryKey(entry), QStringLiteral("Accesses"), accesses);
    store(entryKey(entry), QStringLiteral("LastTime"), Variant("00:00:10"));
    store(entryKey(entry), QStringLiteral("TotalTime"), Variant("00:01:00"));
}

void WizardTest::writePDTFile(const QByteArray& content)
{
    QFile file(folder.filePath(QStringLiteral("vorninfo.pdt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

int WizardTest::rowOf(const QString& caption) const
{
    for (int row = 0; row < window->ConList->rowCount(); ++row) {
        if (window->ConList->caption(row) == caption)
            return row;
    }
    return -1;
}

} // namespace vorn::test
