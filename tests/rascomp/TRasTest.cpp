// TRAS against a scripted remote-access service.
#include "rascomp/Rascomp32.h"
#include "support/FakeRemoteAccess.h"

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::test;

namespace
{

class TRasTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeRemoteAccess> fake = std::make_shared<FakeRemoteAccess>();
    std::unique_ptr<TRAS> ras = std::make_unique<TRAS>(nullptr, fake);
    int connects = 0;
    int disconnects = 0;
    int disconnectError = -1;
    QString disconnectText = QStringLiteral("unset");

    void SetUp() override
    {
        ras->OnConnect = [this](QObject*) { ++connects; };
        ras->OnDisconnect = [this](QObject*, int error, const QString& text) {
            ++disconnects;
            disconnectError = error;
            disconnectText = text;
        };
    }
};

} // namespace

TEST_F(TRasTest, EnumerationsWithBufferTooSmallKeepWhatTheBufferHolds)
{
    fake->entryNames = { "Office", "", "backup", "Office" };
    EXPECT_EQ(ras->EnumEntries(), 0);
    EXPECT_EQ(ras->Entries(), (QStringList { "Office", "backup", "Office" }));

    // 603 with 25 names: the 20 the buffer holds; with 6 lines, the first four (a nameless one too).
    fake->entryNames.clear();
    for (int i = 0; i < 25; ++i)
        fake->entryNames.append("Entry " + QByteArray::number(i));
    fake->entriesResult = ras::BufferTooSmall;
    EXPECT_EQ(ras->EnumEntries(), 603);
    EXPECT_EQ(ras->Entries().size(), 20);
    for (RasHandle h = 1; h <= 6; ++h)
        fake->connections.push_back(FakeRemoteAccess::connection(h, h == 2 ? "" : "Line"));
    fake->connectionsResult = ras::BufferTooSmall;
    EXPECT_EQ(ras->EnumConnections(), 603);
    EXPECT_EQ(ras->Connections().Count(), 4);

    // A failure after them leaves both lists empty.
    fake->entriesResult = ras::CannotOpenPhonebook;
    fake->connectionsResult = ras::ServiceUnavailable;
    ras->EnumEntries();
    ras->EnumConnections();
    EXPECT_TRUE(ras->Entries().isEmpty());
    EXPECT_EQ(ras->Connections().Count(), 0);
}

TEST_F(TRasTest, OnlyTheConnectedStateRaisesOnConnect)
{
    // The name is cut to leave room for the NUL; a multi-byte character at the limit is left out whole.
    ras->EntryName = QString(255, QLatin1Char('E')) + QStringLiteral("é");
    ASSERT_EQ(ras->Dial(), 0);
    EXPECT_EQ(fieldText(fake->lastParams.szEntryName), QByteArray(255, 'E'));
    for (const std::uint32_t state :
        { ras::OpenPort, ras::PortOpened, ras::ConnectDevice, ras::DeviceConnected, ras::AllDevicesConnected,
            ras::Authenticate, ras::AuthProject, ras::Authenticated, ras::ConnState(0x4242) })
        fake->notify(state);
    EXPECT_EQ(connects, 0);
    fake->notify(ras::Connected);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(disconnects, 0);

    fake->notify(ras::ConnectDevice);
    fake->statuses[fake->lastHandle].deviceName = "Sportster 28800";
    fake->statuses[fake->lastHandle].deviceType = "modem";
    EXPECT_EQ(ras->StatusText(), "Using Device: Sportster 28800 - modem");
}

TEST_F(TRasTest, ErrorsAndNotificationsWithoutAHandleRaiseNothing)
{
    fake->errorTexts.insert(676, "The line is busy.");
    ras->Dial();
    fake->notify(ras::Connected, ras::LineBusy);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(ras->StatusText(), "The line is busy.");

    // A dial refused at once holds no line: a late notification raises nothing.
    fake->dialResult = ras::CannotFindPhonebookEntry;
    fake->nextHandle = 0;
    EXPECT_EQ(ras->Dial(), 623);
    ASSERT_NE(ras->NotifyWindow(), nullptr);
    fake->notify(ras::Connected);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(ras->StatusText(), "Not Active");
}

TEST_F(TRasTest, DialWhileConnectedOrDestroyingReleasesSilently)
{
    ras->Dial();
    fake->notify(ras::Connected);
    fake->nextHandle = 200;
    EXPECT_EQ(ras->Dial(), 0);
    fake->notify(ras::Connected);
    ras.reset();
    EXPECT_EQ(fake->hungUp, (QList<RasHandle> { 100, 200 }));
    EXPECT_EQ(disconnects, 0);
}

TEST_F(TRasTest, HangUpAlwaysReportsAndReleases)
{
    EXPECT_EQ(ras->HangUp(), 0);
    EXPECT_EQ(disconnectError, int(ras::InvalidHandle));
    EXPECT_EQ(disconnectText, QString());

    fake->hangUpResult = 668;
    ras->Dial();
    EXPECT_EQ(ras->HangUp(), 668);
    EXPECT_EQ(ras->ConnectionHandle(), 0U);
    EXPECT_EQ(disconnects, 2);

    // Even from a handler of its own notification: the window goes once that
    // handling ends, and nothing more is asked of the line.
    ras->OnConnect = [this](QObject*) { ras->HangUp(); };
    ras->Dial();
    const QPointer<QObject> window = ras->NotifyWindow();
    fake->statusAsked.clear();
    fake->notify(ras::Connected);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(disconnects, 3);
    EXPECT_EQ(fake->statusAsked, QList<RasHandle> { 0 });
}
