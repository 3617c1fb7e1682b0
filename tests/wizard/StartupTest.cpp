// Start-up of the wizard window: defaults, "PDTCaption" bootstrap, start page
// and the statistics shown in the entry list.
#include "WizardFixture.h"
#include "app/Guarded.h"
#include "platform/Platform.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/Statistics.h"
#include "support/FakeRemoteAccess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QTimer>

#include <sys/stat.h>

using namespace vorn;
using namespace vorn::test;
using namespace std::chrono_literals;

namespace
{

QByteArray dword(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray sz(const char* text)
{
    return QByteArray(text) + '\0';
}

using Write = RecordingRegistry::Write;

void expectWrites(const std::vector<Write>& actual, const std::vector<Write>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name.toStdString() + " at " + std::to_string(i));
        EXPECT_EQ(actual[i].key.toLower(), expected[i].key.toLower());
        EXPECT_EQ(actual[i].name, expected[i].name);
        EXPECT_EQ(actual[i].type, expected[i].type);
        EXPECT_EQ(actual[i].data, expected[i].data);
    }
}

// An executable script standing in for the installation initializer.
QString writeScript(const QString& path, const QByteArray& body)
{
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\n" + body);
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A window not yet started, its initializer `initializer` (empty: the installed one).
std::unique_ptr<TfrmSelect> unstarted(
    const std::shared_ptr<FakeRemoteAccess>& ras, Registry* hive, const QString& initializer = {})
{
    auto window = std::make_unique<TfrmSelect>(ras, hive, std::make_unique<FakeNotificationArea>());
    if (!initializer.isEmpty())
        window->InitializerPath = initializer;
    return window;
}

void forgetPDTCaption()
{
    Registry& hive = platform::registry();
    HKEY key = 0;
    ASSERT_EQ(hive.openKey(reg::HKEY_LOCAL_MACHINE, stats::ProgramKey, reg::KEY_ALL_ACCESS, key), reg::Success);
    hive.deleteValue(key, "PDTCaption");
    hive.closeKey(key);
}

} // namespace

TEST_F(WizardTest, FirstRunWritesEveryDefaultInOrderAndOpensOnTheWelcomePage)
{
    ras->entryNames = { "Office", "backup" };
    TfrmSelect& w = start();

    const QByteArray program = stats::ProgramKey;
    std::vector<Write> defaults { { program, "PDTCaption", reg::REG_SZ, sz("Dial-up Finished") },
        { program, "PlayTune", reg::REG_DWORD, dword(0) }, { program, "Tune", reg::REG_SZ, sz("") },
        { program, "ShowWelcome", reg::REG_DWORD, dword(1) } };
    for (const QByteArray entry : { "Office", "backup" }) {
        defaults.insert(defaults.end(),
            { { program + entry, "LastAccess", reg::REG_SZ, sz("00/00/00") },
                { program + entry, "TotalTime", reg::REG_SZ, sz("00:00:00") },
                { program + entry, "LastTime", reg::REG_SZ, sz("00:00:00") },
                { program + entry, "Accesses", reg::REG_DWORD, dword(0) } });
    }
    expectWrites(registry->writes, defaults);

    EXPECT_EQ(w.Notebook1->currentIndex(), 0);
    EXPECT_EQ(w.windowTitle(), "VORN95 Wizard");
    EXPECT_EQ(w.PDTCaption, "Dial-up Finished");
    EXPECT_EQ(w.DialerTitleTemplate, "Connected to %s");
    EXPECT_TRUE(prompts.messages.empty());

    // Rows stand sorted by caption, each with its statistics.
    ASSERT_EQ(w.ConList->rowCount(), 2);
    EXPECT_EQ(w.ConList->caption(0), "backup");
    EXPECT_EQ(w.ConList->caption(1), "Office");
    EXPECT_EQ(w.ConList->subItems(1), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));

    // A second start finds everything in place and writes nothing.
    registry->writes.clear();
    start();
    EXPECT_TRUE(registry->writes.empty());
}

TEST_F(WizardTest, ShowWelcomeOtherThanOneOpensOnTheSelectionPage)
{
    for (qint32 value : { 0, 2, -1 }) {
        SCOPED_TRACE(value);
        store(stats::ProgramKey, "ShowWelcome", Variant(value));
        TfrmSelect& w = start();
        EXPECT_EQ(w.Notebook1->currentIndex(), 1);
        EXPECT_FALSE(w.btnPrev->isEnabled());
        EXPECT_EQ(stored(stats::ProgramKey, "ShowWelcome"), Variant(value));
    }
}

// "PDTCaption" once present is kept, even empty; else the first line of the initializer's file.
TEST_F(WizardTest, PDTCaptionComesFromTheRegistryOrTheInitializersFile)
{
    store(stats::ProgramKey, "PDTCaption", Variant(""));
    writePDTFile("Another title\n");
    EXPECT_EQ(start().PDTCaption, "");
    EXPECT_TRUE(prompts.messages.empty());

    forgetPDTCaption();
    writePDTFile("Connection Established\r\nsecond line\n");
    EXPECT_EQ(start().PDTCaption, "Connection Established");
    EXPECT_EQ(stored(stats::ProgramKey, "PDTCaption"), Variant("Connection Established"));
    // A missing file is written by the initializer: ASlowInitializerShowsThatSomethingIsGoingOn.
}

TEST_F(WizardTest, InitializerThatFailsEndsStartUpWithAMessage)
{
    QFile::remove("vorninfo.pdt");
    // One that cannot be started, and one that never writes the file (the wait is bounded).
    for (const QString& initializer :
        { folder.filePath("missing"), writeScript(folder.filePath("idle"), "exit 0\n") }) {
        prompts.messages.clear();
        window = unstarted(ras, registry.get(), initializer);
        window->InitializerWaitLimit = 400ms;
        window->FormCreate();
        EXPECT_TRUE(window->startupAborted());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_TRUE(prompts.messages[0].text.endsWith("VORN95 must be reinstalled. Closing..."));
        EXPECT_EQ(prompts.messages[0].title, "Error in installation");
        EXPECT_EQ(prompts.messages[0].owner, nullptr);
        // Nothing more of start-up ran.
        EXPECT_TRUE(registry->writes.empty());
    }
    EXPECT_TRUE(prompts.messages[0].text.contains("did not write vorninfo.pdt within"));
}

TEST_F(WizardTest, EntryWithLastAccessButNoAccessesIsNotRepairedAndSpoilsOnlyItsOwnCell)
{
    ras->entryNames = { "Alpha", "Beta", "Gamma" };
    store(entryKey("Beta"), "LastAccess", Variant("01/02/03 - 10:00:00"));
    window = unstarted(ras, registry.get());
    runGuarded([&] { window->FormCreate(); });

    for (const Write& write : registry->writes)
        EXPECT_NE(write.key.toLower(), QByteArray(stats::ProgramKey).toLower() + "beta");
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(prompts.messages[0].text, R"(Beta: "Accesses" is missing.)");
    EXPECT_EQ(window->ConList->subItems(rowOf("Beta")), QStringList({ "", "01/02/03 - 10:00:00", "", "" }));
    EXPECT_EQ(window->ConList->subItems(rowOf("Alpha")).size(), 4);
    EXPECT_EQ(window->ConList->subItems(rowOf("Gamma")).size(), 4);
}

TEST_F(WizardTest, ABadValueSpoilsOnlyItselfAndIsReportedOnce)
{
    const QByteArray longName(256, 'x');
    ras->entryNames = { "Alpha", "Beta", longName, "Zed" };
    store(stats::ProgramKey, "ShowWelcome", Variant("yes"));
    storeStatistics("Beta", Variant("abc"));
    TfrmSelect& w = start();

    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex) << "read as its default, 1";
    w.btnNext->click();
    EXPECT_EQ(w.windowTitle(), "VORN95 Wizard - Entry Selection (1 of 3)") << "the page handler is attached";
    std::vector<QString> texts;
    for (const auto& message : prompts.messages)
        texts.push_back(message.text);
    EXPECT_EQ(texts,
        (std::vector<QString> { R"("ShowWelcome" holds "yes", which is not a number; 1 is used instead.)",
            R"(Beta: "Accesses" holds "abc", which is not a number.)" }));
    EXPECT_EQ(
        w.ConList->subItems(rowOf("Beta")), QStringList({ "abc", "01/02/03 - 10:00:00", "00:00:10", "00:01:00" }));
    for (const QString& name : { QStringLiteral("Zed"), QString::fromLatin1(longName) }) {
        ASSERT_GE(rowOf(name), 0);
        EXPECT_EQ(w.ConList->subItems(rowOf(name)), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));
    }
    // The long name's statistics live under a key the hive can hold.
    EXPECT_EQ(entryKey(QString::fromLatin1(longName)).size(), qsizetype(sizeof stats::ProgramKey - 1 + 255));
    EXPECT_EQ(stored(entryKey(QString::fromLatin1(longName)), "Accesses").toInt(), 0);
}

TEST_F(WizardTest, AHiveThatCannotBeUsedIsNamedAtStartUp)
{
    const QString damaged = folder.filePath("damaged.db");
    QFile garbage(damaged);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    const struct {
        QString file;
        const char* code;
    } cases[] = { { damaged, "000003F1" }, { damaged + "/inside/registry.db", "000003F8" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        prompts.messages.clear();
        qputenv("VORN_REGISTRY", c.file.toLocal8Bit());
        SqliteRegistry hive(c.file);
        window = unstarted(ras, &hive);
        window->FormCreate();
        EXPECT_TRUE(window->startupAborted());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_TRUE(prompts.messages[0].text.contains(c.file)) << prompts.messages[0].text.toStdString();
        EXPECT_TRUE(prompts.messages[0].text.contains(c.code)) << prompts.messages[0].text.toStdString();
        window.reset();
    }
}

TEST_F(WizardTest, AHiveThatCannotBeWrittenWarnsOnceAndLetsTheUserGoOn)
{
    ras->entryNames = { "Known", "New" };
    storeStatistics("Known", Variant(qint32(4)));
    SqliteRegistry readOnly(QString::fromLocal8Bit(qgetenv("VORN_REGISTRY")), SqliteRegistry::Mode::ReadOnly);
    window = unstarted(ras, &readOnly);
    window->FormCreate();

    EXPECT_FALSE(window->startupAborted());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("cannot be written")) << prompts.messages[0].text.toStdString();
    EXPECT_EQ(window->PDTCaption, "Dial-up Finished");
    EXPECT_EQ(window->ConList->subItems(rowOf("Known")).value(0), "4");
    EXPECT_EQ(window->ConList->subItems(rowOf("New")).value(0), "0");
    // Choices go unsaved without another word.
    window->ConList->setSelected(rowOf("Known"), true);
    window->btnNext->click();
    window->btnNext->click();
    window->btnNext->click();
    EXPECT_EQ(window->Notebook1->currentIndex(), TfrmSelect::pgConfirmIndex);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(WizardTest, AnUnreadablePhonebookIsReportedWithTheReason)
{
    ras->entriesResult = vorn::ras::CannotOpenPhonebook;
    ras->errorTexts[vorn::ras::CannotOpenPhonebook] = "The phonebook file cannot be opened.";
    start();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("The phonebook file cannot be opened."));
    EXPECT_TRUE(prompts.messages[0].text.contains("Phonebook: "));
}

TEST_F(WizardTest, TheInstallationFileIsReadSafelyAndAFailingInitializerIsNoticedAtOnce)
{
    // A pipe of that name is not waited on.
    QFile::remove("vorninfo.pdt");
    ASSERT_EQ(::mkfifo("vorninfo.pdt", 0600), 0);
    start();
    EXPECT_TRUE(window->startupAborted());
    QFile::remove("vorninfo.pdt");

    prompts.messages.clear();
    window = unstarted(ras, registry.get(),
        writeScript(folder.filePath("initvorn"),
            "echo 'initvorn: cannot write vorninfo.pdt: Permission denied' >&2\nexit 1\n"));
    QElapsedTimer took;
    took.start();
    window->FormCreate();
    EXPECT_LT(took.elapsed(), 3000);
    EXPECT_TRUE(window->startupAborted());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("Permission denied"));
    EXPECT_TRUE(prompts.messages[0].text.contains(QDir::currentPath()));

    // Only the start of an overlong line is taken.
    writePDTFile(QByteArray(64 * 1024, 'T'));
    EXPECT_LE(start().PDTCaption.size(), 1024);
}

TEST_F(WizardTest, ASlowInitializerShowsThatSomethingIsGoingOn)
{
    QFile::remove("vorninfo.pdt");
    // It runs in the wizard's current folder and writes its file there.
    window = unstarted(ras, registry.get(),
        writeScript(folder.filePath("initvorn"), "sleep 1.6\nprintf 'Made here\\n' > vorninfo.pdt\n"));
    bool progressShown = false;
    QTimer::singleShot(1300, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            progressShown |= qobject_cast<QProgressDialog*>(widget) != nullptr && widget->isVisible();
    });
    window->FormCreate();
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(window->startupAborted());
    EXPECT_EQ(window->PDTCaption, "Made here");
}
