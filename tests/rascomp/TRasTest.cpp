// TRAS against a scripted remote-access service.
#include "rascomp/Rascomp32.h"
#include "support/FakeRemoteAccess.h"

#include <gtest/gtest.h>

using namespace vorn;
using namespace vorn::test;

namespace
{

// The states a dial passes and the event each raises.
const std::pair<std::uint32_t, TNotifyEvent TRAS::*> published[] = { { ras::OpenPort, &TRAS::OnAboutToOpenPort },
    { ras::PortOpened, &TRAS::OnPortOpened }, { ras::ConnectDevice, &TRAS::OnAboutToConnDev },
    { ras::DeviceConnected, &TRAS::OnDevConnected }, { ras::AllDevicesConnected, &TRAS::OnAllDevsConnected },
    { ras::Authenticate, &TRAS::OnAuthenticate }, { ras::AuthProject, &TRAS::OnAuthProject },
    { ras::Authenticated, &TRAS::OnAuthenticated }, { ras::Connected, &TRAS::OnConnect } };

class TRasTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeRemoteAccess> fake = std::make_shared<FakeRemoteAccess>();
    std::unique_ptr<TRAS> ras = std::make_unique<TRAS>(nullptr, fake);

    // Counts the events of the published states and the disconnections.
    void countEvents()
    {
        for (const auto& [state, slot] : published)
            ras.get()->*slot = [this, state = state](QObject* sender) {
                EXPECT_EQ(sender, ras.get());
                ++counts[state];
            };
        ras->OnDisconnect = [this](QObject*, int error, const QString& text) {
            ++disconnects;
            disconnectError = error;
            disconnectText = text;
        };
    }
    int raised() const
    {
        int total = disconnects;
        for (const auto& [state, count] : counts)
            total += count;
        return total;
    }

    std::map<std::uint32_t, int> counts;
    int disconnects = 0;
    int disconnectError = -1;
    QString disconnectText = QStringLiteral("unset");
};

QList<QByteArray> numberedNames(int count)
{
    QList<QByteArray> names;
    for (int i = 0; i < count; ++i)
        names.append("Entry " + QByteArray::number(i));
    return names;
}

} // namespace

TEST_F(TRasTest, EnumEntriesKeepsPlatformOrderAndSkipsEmptyNames)
{
    fake->entryNames = { "Office", "", "backup", "Office" };
    EXPECT_EQ(ras->EnumEntries(), 0);
    EXPECT_EQ(ras->Entries(), (QStringList { "Office", "backup", "Office" }));
    EXPECT_EQ(fake->lastEntriesBytes, 5280U);
    EXPECT_EQ(fake->lastEntriesFirstSize, 264U);
    EXPECT_EQ(fake->phonebooksAsked.last(), "<none>");

    fake->entryNames.clear();
    EXPECT_EQ(ras->EnumEntries(), 0);
    EXPECT_TRUE(ras->Entries().isEmpty());
}

TEST_F(TRasTest, EnumEntriesWithBufferTooSmallReadsOnlyWrittenRecords)
{
    fake->entryNames = numberedNames(25);
    fake->entriesResult = ras::BufferTooSmall;
    EXPECT_EQ(ras->EnumEntries(), 603);
    ASSERT_EQ(ras->Entries().size(), 20);
    EXPECT_EQ(ras->Entries().first(), "Entry 0");
    EXPECT_EQ(ras->Entries().last(), "Entry 19");
    EXPECT_EQ(ras->LastError(), 603);

    // The platform counts 25 but writes only 3: the rest is never read as names.
    fake->entriesWritten = 3;
    ras->EnumEntries();
    EXPECT_EQ(ras->Entries(), (QStringList { "Entry 0", "Entry 1", "Entry 2" }));

    // A failed enumeration leaves the list empty.
    fake->entriesResult = ras::CannotOpenPhonebook;
    EXPECT_EQ(ras->EnumEntries(), 621);
    EXPECT_TRUE(ras->Entries().isEmpty());
    EXPECT_EQ(ras->LastError(), 621);
}

TEST_F(TRasTest, EnumConnectionsKeepsFirstFourWrittenRecords)
{
    EXPECT_EQ(ras->EnumConnections(), 0);
    EXPECT_EQ(ras->Connections().Count(), 0);
    EXPECT_EQ(fake->lastConnectionsBytes, 1648U);
    EXPECT_EQ(fake->lastConnectionsFirstSize, 412U);

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

    // A failed enumeration leaves the list empty.
    fake->connectionsWritten = -1;
    ras->EnumConnections();
    ASSERT_EQ(ras->Connections().Count(), 4);
    fake->connectionsResult = ras::ServiceUnavailable;
    EXPECT_EQ(ras->EnumConnections(), 711);
    EXPECT_EQ(ras->Connections().Count(), 0);
    EXPECT_EQ(ras->LastError(), 711);
}

TEST_F(TRasTest, EachPublishedStateRaisesItsOwnEventOnce)
{
    countEvents();
    ASSERT_EQ(ras->Dial(), 0);
    for (const auto& [state, slot] : published) {
        SCOPED_TRACE(state);
        fake->notify(state);
        EXPECT_EQ(counts[state], 1);
        EXPECT_EQ(raised(), int(counts.size())) << "no other event";
        EXPECT_EQ(ras->ConnState(), state);
    }
    // Unknown states raise nothing; the device state names the device.
    fake->notify(0x4242);
    EXPECT_EQ(raised(), int(std::size(published)));
    fake->notify(ras::ConnectDevice);
    fake->statuses[fake->lastHandle].deviceName = "Sportster 28800";
    fake->statuses[fake->lastHandle].deviceType = "modem";
    EXPECT_EQ(ras->StatusText(), "Using Device: Sportster 28800 - modem");
}

TEST_F(TRasTest, ErrorNotificationRaisesNothingAndKeepsState)
{
    countEvents();
    fake->errorTexts.insert(676, "The line is busy.");
    ras->Dial();
    fake->notify(ras::ConnectDevice);
    fake->notify(ras::Connected, ras::LineBusy);
    EXPECT_EQ(raised(), 1) << "only the device state's event";
    EXPECT_EQ(ras->LastError(), 676); // refreshed from the status query
    EXPECT_EQ(ras->ConnState(), ras::Connected & 0xFFFF); // as the status reported it
    EXPECT_EQ(ras->QueryStatus(), 676);
    EXPECT_EQ(ras->StatusText(), "The line is busy.");
}

TEST_F(TRasTest, NotificationWithNoHandleHeldChangesNothing)
{
    countEvents();
    fake->dialResult = ras::CannotFindPhonebookEntry;
    fake->nextHandle = 0;
    EXPECT_EQ(ras->Dial(), 623);
    ASSERT_NE(ras->NotifyWindow(), nullptr);
    fake->notify(ras::Connected);
    EXPECT_EQ(raised(), 0);
    EXPECT_EQ(ras->ConnState(), 0);
    EXPECT_EQ(ras->LastError(), 623);
    EXPECT_TRUE(fake->statusAsked.isEmpty());
}

TEST_F(TRasTest, HandlerHangingUpInItsOwnNotificationIsSafe)
{
    countEvents();
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
    countEvents();
    ras->Dial();
    fake->notify(ras::Connected);
    const QPointer<QObject> firstWindow = ras->NotifyWindow();
    fake->nextHandle = 200;
    EXPECT_EQ(ras->Dial(), 0);
    EXPECT_EQ(fake->hungUp, QList<RasHandle> { 100 });
    EXPECT_EQ(disconnects, 0);
    EXPECT_TRUE(firstWindow.isNull());
    EXPECT_NE(ras->NotifyWindow(), nullptr);
    EXPECT_EQ(ras->ConnectionHandle(), 200U);

    fake->notify(ras::Connected);
    ras.reset();
    EXPECT_EQ(fake->hungUp, (QList<RasHandle> { 100, 200 }));
    EXPECT_EQ(disconnects, 0);
}

TEST_F(TRasTest, HangUpReportsEmptyHandleAndEmptyText)
{
    countEvents();
    EXPECT_EQ(ras->HangUp(), 0);
    EXPECT_EQ(ras->LastError(), 0);
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
    ras->UserName = QStringLiteral("user");
    ras->Dial();
    EXPECT_EQ(fieldText(fake->lastParams.szEntryName), QByteArray(256, 'E'));
    EXPECT_EQ(fieldText(fake->lastParams.szDomain), QByteArray(15, 'D'));
    EXPECT_EQ(fieldText(fake->lastParams.szUserName), "user");
    EXPECT_EQ(fake->lastParams.dwSize, 1052U);

    // A multi-byte character at the limit is left out whole, not cut in half.
    ras->Domain = QString(14, QLatin1Char('D')) + QStringLiteral("é");
    ras->Dial();
    EXPECT_EQ(fieldText(fake->lastParams.szDomain), QByteArray(14, 'D'));
}

TEST_F(TRasTest, StatusAndErrorTexts)
{
    EXPECT_EQ(ras->StatusText(), "Not Active");
    EXPECT_EQ(ras->GetErrorString(678), QString());
    EXPECT_TRUE(fake->statusAsked.isEmpty());
    EXPECT_EQ(fake->errorStringCalls, 0);

    fake->errorTexts.insert(678, "There was no answer.");
    ras->Dial();
    auto& status = fake->statuses[fake->lastHandle];
    status.error = 678;
    EXPECT_EQ(ras->StatusText(), "There was no answer.");
    EXPECT_EQ(ras->GetErrorString(12345), "Status Unknown");

    // A failed status query leaves the state and reports 0.
    status = FakeRemoteAccess::Status {};
    status.result = 6;
    EXPECT_EQ(ras->QueryStatus(), 0);
}
