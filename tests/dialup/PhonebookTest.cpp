// The service's phonebook and message parsers.
#include "platform/sim/Phonebook.h"

#include "platform/sim/DialupProtocol.h"

#include <gtest/gtest.h>

using namespace vorn::sim;

TEST(PhonebookTest, EntriesWithTheirKeys)
{
    const auto book = parsePhonebook("; comment\n"
                                     "[Office]\r\nPhoneNumber=555-0100\r\nDevice=Fast Modem\r\nDeviceType=isdn\r\n"
                                     "outcomes = busy, NoAnswer ,connect\r\nStepDelay=25\r\nDropAfter=3\r\nRate=7\r\n"
                                     "Unknown=kept quiet\n");
    EXPECT_TRUE(book.warnings.isEmpty()) << qPrintable(book.warnings.join(QLatin1Char('\n')));
    ASSERT_EQ(book.entries.size(), 1);
    const auto& office = book.entries[0];
    EXPECT_EQ(QStringList({ office.name, office.phoneNumber, office.device, office.deviceType }),
        QStringList({ "Office", "555-0100", "Fast Modem", "isdn" }));
    EXPECT_EQ(office.outcomes, (QList<Outcome> { Outcome::Busy, Outcome::NoAnswer, Outcome::Connect }));
    EXPECT_EQ(
        QList<int>({ office.stepDelayMs, office.dropAfterSeconds, office.bytesPerSecond }), QList<int>({ 25, 3, 7 }));
}

TEST(PhonebookTest, InvalidSectionsAndValuesAreReportedAndSkippedOrTheDefaults)
{
    const auto book = parsePhonebook("Stray=1\n[]\nOutcomes=busy\n[   ]\n[" + QByteArray(257, 'n')
        + "]\n[bad\\name]\n[open\n"
          "[Fine]\nOutcomes=busy,explode\nStepDelay=-1\nDropAfter=soon\nno equals here\n"
          "["
        + QByteArray(256, 'm') + "]\n[Fine]\nStepDelay=5\n");
    ASSERT_EQ(book.entries.size(), 2);
    EXPECT_EQ(book.entries[0].name, "Fine");
    EXPECT_EQ(book.entries[0].outcomes, QList<Outcome> { Outcome::Connect });
    EXPECT_EQ(
        QList<int>({ book.entries[0].stepDelayMs, book.entries[0].dropAfterSeconds, book.entries[0].bytesPerSecond }),
        QList<int>({ 300, 0, 0 }));
    EXPECT_EQ(book.entries[1].name.size(), 256);
    EXPECT_EQ(book.warnings.size(), 11) << qPrintable(book.warnings.join(QLatin1Char('\n')));
    EXPECT_TRUE(book.warnings.first().startsWith(QStringLiteral("line 1:")));
    // A name used twice is listed once: the second could never be dialed.
    EXPECT_EQ(book.warnings.last(), "line 14: entry name \"Fine\" already used on line 8, section skipped");
}

TEST(DialupProtocolTest, RequestsRoundTripAndBadOnesAreRefusedWithAReason)
{
    Request request;
    request.op = Op::Dial;
    request.entry = QStringLiteral("Büro");
    request.handle = 4294967295U;
    const auto back = parseRequest(encodeRequest(request).trimmed());
    ASSERT_TRUE(std::holds_alternative<Request>(back));
    EXPECT_EQ(std::get<Request>(back).entry, request.entry);
    EXPECT_EQ(std::get<Request>(back).handle, request.handle);

    for (const QByteArray& bad :
        { QByteArray(""), QByteArray("null"), QByteArray("{\"op\":7}"), QByteArray("{\"op\":\"fly\"}"),
            QByteArray("{\"op\":\"hangup\",\"handle\":1.5}"), QByteArray("{\"op\":\"hangup\",\"handle\":4294967296}"),
            QByteArray("{\"op\":\"dial\"}"), QByteArray("{\"op\":\"dial\",\"entry\":3}"),
            QByteArray("{\"op\":\"drop\"}"), QByteArray("{\"op\":\"entries\",\"id\":-1}"),
            "{\"op\":\"dial\",\"entry\":\"" + QByteArray(2000, 'x') + "\"}",
            "{\"op\":\"entries\",\"phonebook\":\"" + QByteArray(MaxRequestBytes, 'x') + "\"}" }) {
        const auto parsed = parseRequest(bad);
        ASSERT_TRUE(std::holds_alternative<ParseError>(parsed)) << bad.left(60).constData();
        EXPECT_FALSE(std::get<ParseError>(parsed).message.isEmpty());
    }
}
