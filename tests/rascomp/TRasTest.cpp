// TRAS against a scripted remote-access service.
#include "rascomp/Rascomp32.h"
#include "support/FakeRemoteAccess.h"

#include <gtest/gtest.h>

#include <set>

using namespace vorn;
using namespace vorn::test;

namespace
{

// Every state event of the engine; which state raises which is its own business.
constexpr TNotifyEvent TRAS::*stateEvents[] = { &TRAS::OnCallBack, &TRAS::OnConnect, &TRAS::OnAboutToOpenPort,
    &TRAS::OnPortOpened, &TRAS::OnAboutToConnDev, &TRAS::OnDevConnected, &TRAS::OnAllDevsConnected,
    &TRAS::OnAuthenticate, &TRAS::OnAuthNotify, &TRAS::OnAuthRetry, &TRAS::OnAuthCallBack, &TRAS::OnAuthChangePassword,
    &TRAS::OnAuthProject, &TRAS::OnAuthLinkSpeed, &TRAS::OnAuthAck, &TRAS::OnReAuthenticate, &TRAS::OnAuthenticated,
    &TRAS::OnPrepareforCallback, &TRAS::OnWaitForModemReset, &TRAS::OnInteractiveStarted, &TRAS::OnRetryAuth,
    &TRAS::OnPasswordExpired };

class TRasTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeRemoteAccess> fake = std::make_shared<FakeRemoteAccess>();
    std::unique_ptr<TRAS> ras = std::make_unique<TRAS>(nullptr, fake);
    std::vector<std::size_t> fired; // indexes into stateEvents
    int disconnects = 0;
    int disconnectError = -1;
    QString disconnectText = QStringLiteral("unset");

    void SetUp() override
    {
        for (std::size_t i = 0; i < std::size(stateEvents); ++i)
            ras.get()->*stateEvents[i] = [this, i](QObject* sender) {
                EXPECT_EQ(sender, ras.get());
                fired.push_back(i);
            };
        ras->OnDisconnect = [this](QObject*, int error, const QString& text) {
            ++disconnects;
            disconnectError = error;
            disconnectText = text;
        };
    }
};

} // namespace

TEST_F(TRasTest, EnumEntriesWithBufferTooSmallReadsOnlyWrittenRecords)
{
    fake->entryNames = { "Office", "", "backup", "Office" };
    EXPECT_EQ(ras->EnumEntries(), 0);
    EXPECT_EQ(ras->Entries(), (QStringList { "Office", "backup", "Office" }));
    EXPECT_EQ(fake->lastEntriesBytes, 20 * sizeof(RASENTRYNAME));
    EXPECT_EQ(fake->lastEntriesFirstSize, sizeof(RASENTRYNAME));
    EXPECT_EQ(fake->phonebooksAsked.last(), "<none>");

    // 603 with 25 names: the 20 the buffer holds; counted but unwritten ones are never names.
    fake->entryNames.clear();
    for (int i = 0; i < 25; ++i)
        fake->entryNames.append("Entry " + QByteArray::number(i));
    fake->entriesResult = ras::BufferTooSmall;
    EXPECT_EQ(ras->EnumEntries(), 603);
    ASSERT_EQ(ras->Entries().size(), 20);
    EXPECT_EQ(ras->Entries().last(), "Entry 19");
    fake->entriesWritten = 3;
    ras->EnumEntries();
    EXPECT_EQ(ras->Entries(), (QStringList { "Entry 0", "Entry 1", "Entry 2" }));

    fake->entriesResult = ras::CannotOpenPhonebook;
    EXPECT_EQ(ras->EnumEntries(), 621);
    EXPECT_TRUE(ras->Entries().isEmpty());
    EXPECT_EQ(ras->LastError(), 621);
}

TEST_F(TRasTest, EnumConnectionsKeepsFirstFourWrittenRecords)
{
    EXPECT_EQ(ras->EnumConnections(), 0);
    EXPECT_EQ(ras->Connections().Count(), 0);
    EXPECT_EQ(fake->lastConnectionsBytes, 4 * sizeof(RASCONN));
    EXPECT_EQ(fake->lastConnectionsFirstSize, sizeof(RASCONN));

    for (RasHandle h = 1; h <= 6; ++h)
        fake->connections.push_back(FakeRemoteAccess::connection(h, h == 2 ? "" : "Line"));
    fake->connectionsResult = ras::BufferTooSmall;
    EXPECT_EQ(ras->EnumConnections(), 603);
    ASSERT_EQ(ras->Connections().Count(), 4);
    EXPECT_EQ(ras->Connections().RASConn(3), 4U);
    EXPECT_EQ(ras->Connections().EntryName(1), QString()); // kept despite its empty name

    // Counted but never written: no connection is made up from an empty record.
    fake->connectionsWritten = 0;
    ras->EnumConnections();
    EXPECT_EQ(ras->Connections().Count(), 0);

    fake->connectionsWritten = -1;
    ASSERT_EQ(ras->EnumConnections(), 603);
    fake->connectionsResult = ras::ServiceUnavailable;
    EXPECT_EQ(ras->EnumConnections(), 711);
    EXPECT_EQ(ras->Connections().Count(), 0);
    EXPECT_EQ(ras->LastError(), 711);
}

TEST_F(TRasTest, EachPublishedStateRaisesItsOwnEventOnce)
{
    ASSERT_EQ(ras->Dial(), 0);
    std::set<std::size_t> raised;
    for (const std::uint32_t state : { ras::OpenPort, ras::PortOpened, ras::ConnectDevice, ras::DeviceConnected,
             ras::AllDevicesConnected, ras::Authenticate, ras::AuthProject, ras::Authenticated, ras::Connected }) {
        SCOPED_TRACE(state);
        fired.clear();
        fake->notify(state);
        ASSERT_EQ(fired.size(), 1u);
        EXPECT_TRUE(raised.insert(fired[0]).second) << "raised by an earlier state too";
        EXPECT_EQ(ras->ConnState(), state);
    }
    EXPECT_EQ(stateEvents[fired[0]], &TRAS::OnConnect);
    fired.clear();
    fake->notify(0x4242);
    EXPECT_TRUE(fired.empty());
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
    fake->notify(ras::ConnectDevice);
    fake->notify(ras::Connected, ras::LineBusy);
    EXPECT_EQ(fired.size(), 1u) << "only the device state's event";
    EXPECT_EQ(ras->LastError(), 676); // refreshed from the status query
    EXPECT_EQ(ras->ConnState(), ras::Connected & 0xFFFF); // as the status reported it
    EXPECT_EQ(ras->StatusText(), "The line is busy.");

    // A dial refused at once holds no handle: a late notification changes nothing.
    ras = std::make_unique<TRAS>(nullptr, fake);
    fake->dialResult = ras::CannotFindPhonebookEntry;
    fake->nextHandle = 0;
    EXPECT_EQ(ras->Dial(), 623);
    ASSERT_NE(ras->NotifyWindow(), nullptr);
    fake->statusAsked.clear();
    fake->notify(ras::Connected);
    EXPECT_EQ(ras->ConnState(), 0);
    EXPECT_EQ(ras->LastError(), 623);
    EXPECT_TRUE(fake->statusAsked.isEmpty());
}

TEST_F(TRasTest, HandlerHangingUpInItsOwnNotificationIsSafe)
{
    ras->OnPortOpened = [this](QObject*) { ras->HangUp(); };
    ras->Dial();
    const QPointer<QObject> window = ras->NotifyWindow();
    fake->statusAsked.clear();
    fake->notify(ras::PortOpened);
    EXPECT_EQ(ras->ConnectionHandle(), 0U);
    EXPECT_EQ(ras->NotifyWindow(), nullptr);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(disconnects, 1);
    // Only the hang-up's own status query of the empty handle; nothing after it.
    EXPECT_EQ(fake->statusAsked, QList<RasHandle> { 0 });
}

TEST_F(TRasTest, DialWhileConnectedOrDestroyingReleasesSilently)
{
    ras->Dial();
    fake->notify(ras::Connected);
    const QPointer<QObject> firstWindow = ras->NotifyWindow();
    fake->nextHandle = 200;
    EXPECT_EQ(ras->Dial(), 0);
    EXPECT_EQ(fake->hungUp, QList<RasHandle> { 100 });
    EXPECT_TRUE(firstWindow.isNull());
    EXPECT_EQ(ras->ConnectionHandle(), 200U);

    fake->notify(ras::Connected);
    ras.reset();
    EXPECT_EQ(fake->hungUp, (QList<RasHandle> { 100, 200 }));
    EXPECT_EQ(disconnects, 0);
}

TEST_F(TRasTest, HangUpAlwaysReportsAndReleases)
{
    EXPECT_EQ(ras->HangUp(), 0);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(disconnectError, int(ras::InvalidHandle));
    EXPECT_EQ(disconnectText, QString());
    EXPECT_TRUE(fake->hungUp.isEmpty());

    fake->hangUpResult = 668;
    ras->Dial();
    EXPECT_EQ(ras->HangUp(), 668);
    EXPECT_EQ(ras->LastError(), 668);
    EXPECT_EQ(ras->NotifyWindow(), nullptr);
    EXPECT_EQ(ras->ConnectionHandle(), 0U);
    EXPECT_EQ(disconnects, 2);
}

TEST_F(TRasTest, DialCutsTextsToTheirFields)
{
    ras->EntryName = QString(300, QLatin1Char('E'));
    ras->Domain = QString(20, QLatin1Char('D'));
    ras->Dial();
    EXPECT_EQ(fieldText(fake->lastParams.szEntryName), QByteArray(256, 'E'));
    EXPECT_EQ(fieldText(fake->lastParams.szDomain), QByteArray(15, 'D'));

    // A multi-byte character at the limit is left out whole, not cut in half.
    ras->Domain = QString(14, QLatin1Char('D')) + QStringLiteral("é");
    ras->Dial();
    EXPECT_EQ(fieldText(fake->lastParams.szDomain), QByteArray(14, 'D'));
}

TEST_F(TRasTest, StatusAndErrorTexts)
{
    // Without a line nothing is asked of the platform.
    EXPECT_EQ(ras->StatusText(), "Not Active");
    EXPECT_EQ(ras->GetErrorString(678), QString());
    EXPECT_TRUE(fake->statusAsked.isEmpty());
    EXPECT_EQ(fake->errorStringCalls, 0);

    ras->Dial();
    EXPECT_EQ(ras->GetErrorString(12345), "Status Unknown");
    // A failed status query leaves the state and reports 0.
    fake->statuses[fake->lastHandle].result = 6;
    EXPECT_EQ(ras->QueryStatus(), 0);
}
