// Start-up of the wizard window: defaults, "PDTCaption" bootstrap, start page
// and the statistics shown in the entry list.
#include "WizardFixture.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/Statistics.h"

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

// An executable script in the current folder standing in for the installation initializer.
QString writeScript(const QString& name, const QByteArray& body)
{
    QFile script(QDir::current().filePath(name));
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\n" + body);
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script.fileName();
}

} // namespace

TEST_F(WizardTest, FirstRunWritesEveryDefaultAndOpensOnTheWelcomePage)
{
    writePDTFile("Dial-up Finished\r\nsecond line\n");
    ras->entryNames = { "Office", "backup" };
    TfrmSelect& w = start();

    using Default = std::pair<const char*, Variant>;
    for (const auto& [name, value] : { Default { "PDTCaption", "Dial-up Finished" }, Default { "PlayTune", qint32(0) },
             Default { "Tune", "" }, Default { "ShowWelcome", qint32(1) } })
        EXPECT_EQ(stored(stats::ProgramKey, name), value) << name;
    for (const QString entry : { "Office", "backup" }) {
        for (const auto& [name, value] : { Default { "LastAccess", "00/00/00" }, Default { "TotalTime", "00:00:00" },
                 Default { "LastTime", "00:00:00" }, Default { "Accesses", qint32(0) } })
            EXPECT_EQ(stored(entryKey(entry), name), value) << name;
    }
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
    EXPECT_TRUE(prompts.messages.empty());
    // Rows stand sorted by caption, each with its statistics.
    ASSERT_EQ(w.ConList->rowCount(), 2);
    EXPECT_EQ((QStringList { w.ConList->caption(0), w.ConList->caption(1) }), QStringList({ "backup", "Office" }));
    EXPECT_EQ(w.ConList->subItems(1), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));

    // A second start finds everything in place, "PDTCaption" even empty, and writes nothing.
    store(stats::ProgramKey, "PDTCaption", Variant(""));
    registry->writes.clear();
    EXPECT_EQ(start().PDTCaption, "");
    EXPECT_TRUE(registry->writes.empty());
    // Without it, the first line of the initializer's file, up to a bound.
    store(stats::ProgramKey, "PDTCaption", Variant::Null());
    writePDTFile(QByteArray(64 * 1024, 'T'));
    EXPECT_LE(start().PDTCaption.size(), 1024);
}

// The file a pipe (never waited on), and an initializer that cannot start,
// never writes the file (the wait is bounded), or fails (noticed at once).
TEST_F(WizardTest, AnInitializerThatFailsEndsStartUpWithAMessage)
{
    QFile::remove("vorninfo.pdt");
    ASSERT_EQ(::mkfifo("vorninfo.pdt", 0600), 0);
    const struct {
        QString initializer;
        std::chrono::milliseconds waitLimit;
        QString says;
    } cases[]
        = { { "missing", 30s, "" }, { writeScript("idle", "exit 0\n"), 400ms, "did not write vorninfo.pdt within" },
              { writeScript("initvorn", "echo 'initvorn: cannot write vorninfo.pdt: Permission denied' >&2\nexit 1\n"),
                  30s, "in " + QDir::currentPath() + ":\ninitvorn: cannot write vorninfo.pdt: Permission denied" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.initializer.toStdString());
        prompts.messages.clear();
        window = std::make_unique<TfrmSelect>(ras, registry.get(), std::make_unique<FakeNotificationArea>());
        window->InitializerPath = c.initializer;
        window->InitializerWaitLimit = c.waitLimit;
        QElapsedTimer took;
        took.start();
        window->FormCreate();
        EXPECT_LT(took.elapsed(), 3000);
        EXPECT_TRUE(window->startupAborted());
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].contains(c.says)) << prompts.messages[0].toStdString();
        EXPECT_TRUE(registry->writes.empty()) << "nothing more of start-up ran";
    }
}

TEST_F(WizardTest, ASlowInitializerShowsThatSomethingIsGoingOn)
{
    QFile::remove("vorninfo.pdt");
    // It runs in the wizard's current folder and writes its file there.
    const QString initializer = writeScript("initvorn", "sleep 1.6\nprintf 'Made here\\n' > vorninfo.pdt\n");
    bool progressShown = false;
    QTimer::singleShot(1300, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            progressShown |= qobject_cast<QProgressDialog*>(widget) != nullptr && widget->isVisible();
    });
    start(nullptr, initializer);
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(window->startupAborted());
    EXPECT_EQ(window->PDTCaption, "Made here");
}

// A bad setting is its default, named once; a bad or missing statistic spoils
// only its own cell and is not repaired; a long name gets a key the hive can hold.
TEST_F(WizardTest, ABadValueSpoilsOnlyItselfAndIsReportedOnce)
{
    const QString longName(256, 'x');
    ras->entryNames = { "Alpha", "Beta", "Gamma", longName.toLatin1() };
    store(stats::ProgramKey, "ShowWelcome", Variant("yes"));
    storeStatistics("Beta", Variant("abc"));
    store(entryKey("Gamma"), "LastAccess", Variant("01/02/03 - 10:00:00"));
    TfrmSelect& w = start();

    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex) << "read as its default, 1";
    w.btnNext->click();
    EXPECT_EQ(w.windowTitle(), "VORN95 Wizard - Entry Selection (1 of 3)") << "the page handler is attached";
    EXPECT_EQ(prompts.messages,
        (QStringList { R"("ShowWelcome" holds "yes", which is not a number; 1 is used instead.)",
            R"(Beta: "Accesses" holds "abc", which is not a number.)", R"(Gamma: "Accesses" is missing.)",
            R"(Gamma: "LastTime" is missing.)", R"(Gamma: "TotalTime" is missing.)" }));
    EXPECT_EQ(
        w.ConList->subItems(rowOf("Beta")), QStringList({ "abc", "01/02/03 - 10:00:00", "00:00:10", "00:01:00" }));
    EXPECT_EQ(w.ConList->subItems(rowOf("Gamma")), QStringList({ "", "01/02/03 - 10:00:00", "", "" }));
    for (const QString& name : { QStringLiteral("Alpha"), longName })
        EXPECT_EQ(w.ConList->subItems(rowOf(name)), QStringList({ "0", "00/00/00", "00:00:00", "00:00:00" }));
    EXPECT_EQ(entryKey(longName).size(), qsizetype(qstrlen(stats::ProgramKey) + 255));
}

// A hive that cannot be used ends start-up naming its path and reason; one that
// cannot be written, or a phonebook that cannot be read, is named once and the user goes on.
TEST_F(WizardTest, AHiveOrPhonebookThatCannotBeUsedIsNamedWithTheReason)
{
    const QString hiveFile = qEnvironmentVariable("VORN_REGISTRY"), damaged = folder.filePath("damaged.db");
    QFile garbage(damaged);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    ras->entryNames = { "Known", "New" };
    storeStatistics("Known", Variant(qint32(4)));
    ras->errorTexts[ras::CannotOpenPhonebook] = "The phonebook file cannot be opened.";
    const struct {
        QString file;
        SqliteRegistry::Mode mode;
        std::uint32_t phonebook;
        QStringList says;
    } cases[] = { { damaged, SqliteRegistry::Mode::ReadWrite, 0, { damaged, "000003F1" } },
        { damaged + "/inside/registry.db", SqliteRegistry::Mode::ReadWrite, 0, { damaged, "000003F8" } },
        { hiveFile, SqliteRegistry::Mode::ReadOnly, 0, { "cannot be written" } },
        { hiveFile, SqliteRegistry::Mode::ReadWrite, ras::CannotOpenPhonebook,
            { "The phonebook file cannot be opened.\nPhonebook: " } } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says.join(' ').toStdString());
        prompts.messages.clear();
        qputenv("VORN_REGISTRY", c.file.toLocal8Bit());
        ras->entriesResult = c.phonebook;
        SqliteRegistry hive(c.file, c.mode);
        TfrmSelect& w = start(&hive);
        EXPECT_EQ(w.startupAborted(), c.file != hiveFile);
        ASSERT_EQ(prompts.messages.size(), 1);
        for (const QString& part : c.says)
            EXPECT_TRUE(prompts.messages[0].contains(part)) << prompts.messages[0].toStdString();
        if (c.mode == SqliteRegistry::Mode::ReadOnly) {
            EXPECT_EQ(w.ConList->subItems(rowOf("Known")).value(0), "4");
            EXPECT_EQ(w.ConList->subItems(rowOf("New")).value(0), "0");
            // Choices go unsaved without another word.
            select("Known");
            next(3);
            EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgConfirmIndex);
            EXPECT_EQ(prompts.messages.size(), 1);
        }
        window.reset();
    }
}
