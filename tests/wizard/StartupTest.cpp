// Start-up of the wizard window: defaults, "PDTCaption" bootstrap, start page
// and the statistics shown in the entry list.
#include "WizardFixture.h"
#include "app/Guarded.h"
#include "platform/Platform.h"
#include "settings/Statistics.h"

#include <QFile>

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
    expectWrites(registry->writes,
        {
            { program, "PDTCaption", reg::REG_SZ, sz("Dial-up Finished") },
            { program, "PlayTune", reg::REG_DWORD, dword(0) },
            { program, "Tune", reg::REG_SZ, sz("") },
            { program, "ShowWelcome", reg::REG_DWORD, dword(1) },
            { program + "Office", "LastAccess", reg::REG_SZ, sz("00/00/00") },
            { program + "Office", "TotalTime", reg::REG_SZ, sz("00:00:00") },
            { program + "Office", "LastTime", reg::REG_SZ, sz("00:00:00") },
            { program + "Office", "Accesses", reg::REG_DWORD, dword(0) },
            { program + "backup", "LastAccess", reg::REG_SZ, sz("00/00/00") },
            { program + "backup", "TotalTime", reg::REG_SZ, sz("00:00:00") },
            { program + "backup", "LastTime", reg::REG_SZ, sz("00:00:00") },
            { program + "backup", "Accesses", reg::REG_DWORD, dword(0) },
        });

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

// "PDTCaption" once present is kept, even empty; else the first line of the
// initializer's file, which is written by the initializer when missing.
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

    forgetPDTCaption();
    QFile::remove("vorninfo.pdt");
    window = std::make_unique<TfrmSelect>(ras, registry.get(), std::make_unique<FakeNotificationArea>());
    // The initializer runs in the wizard's current folder and writes its file there.
    window->InitializerPath
        = writeScript(folder.filePath("initvorn"), "sleep 0.2\nprintf 'Made here\\n' > vorninfo.pdt\n");
    window->FormCreate();
    EXPECT_FALSE(window->startupAborted());
    EXPECT_EQ(window->PDTCaption, "Made here");
}

TEST_F(WizardTest, InitializerThatFailsEndsStartUpWithAMessage)
{
    QFile::remove("vorninfo.pdt");
    // One that cannot be started, and one that never writes the file (the wait is bounded).
    for (const QString& initializer :
        { folder.filePath("missing"), writeScript(folder.filePath("idle"), "exit 0\n") }) {
        prompts.messages.clear();
        window = std::make_unique<TfrmSelect>(ras, registry.get(), std::make_unique<FakeNotificationArea>());
        window->InitializerPath = initializer;
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

TEST_F(WizardTest, EntryWithLastAccessButNoAccessesIsNotRepairedAndStopsTheRefresh)
{
    ras->entryNames = { "Alpha", "Beta", "Gamma" };
    store(entryKey("Beta"), "LastAccess", Variant("01/02/03 - 10:00:00"));
    window = std::make_unique<TfrmSelect>(ras, registry.get(), std::make_unique<FakeNotificationArea>());
    runGuarded([&] { window->FormCreate(); });

    for (const Write& write : registry->writes)
        EXPECT_NE(write.key.toLower(), QByteArray(stats::ProgramKey).toLower() + "beta");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Invalid variant type conversion");
    EXPECT_EQ(prompts.messages[0].title, "VORN95 Wizard");
    // Rows before it are filled, the failing row and those after it are not.
    EXPECT_EQ(window->ConList->subItems(rowOf("Alpha")).size(), 4);
    EXPECT_TRUE(window->ConList->subItems(rowOf("Beta")).isEmpty());
    EXPECT_TRUE(window->ConList->subItems(rowOf("Gamma")).isEmpty());
}
