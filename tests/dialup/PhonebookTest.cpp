// The service's phonebook and message parsers.
#include "platform/sim/Phonebook.h"

#include "platform/sim/DialupProtocol.h"

#include <gtest/gtest.h>

using namespace vorn::sim;

TEST(PhonebookTest, EntriesInFileOrderWithTheirKeys)
{
    const auto book = parsePhonebook("; comment\n"
                                     "[Office]\r\nPhoneNumber=555-0100\r\nDevice=Fast Modem\r\nDeviceType=isdn\r\n"
                                     "outcomes = busy, NoAnswer ,connect\r\nStepDelay=25\r\nDropAfter=3\r\n"
                                     "Unknown=kept quiet\n"
                                     "[backup]\n"
                                     "[Home Line]\n");
    EXPECT_TRUE(book.warnings.isEmpty()) << qPrintable(book.warnings.join(QLatin1Char('\n')));
    ASSERT_EQ(book.entries.size(), 3);
    const auto& office = book.entries[0];
    EXPECT_EQ(office.name, "Office");
    EXPECT_EQ(office.phoneNumber, "555-0100");
    EXPECT_EQ(office.device, "Fast Modem");
    EXPECT_EQ(office.deviceType, "isdn");
    EXPECT_EQ(office.outcomes, (QList<Outcome> { Outcome::Busy, Outcome::NoAnswer, Outcome::Connect }));
    EXPECT_EQ(office.outcome(0), Outcome::Busy);
    EXPECT_EQ(office.outcome(7), Outcome::Connect); // the last one repeats
    EXPECT_EQ(office.stepDelayMs, 25);
    EXPECT_EQ(office.dropAfterSeconds, 3);

    const auto& backup = book.entries[1];
    EXPECT_EQ(backup.outcomes, QList<Outcome> { Outcome::Connect });
    EXPECT_EQ(backup.stepDelayMs, 300);
    EXPECT_EQ(backup.dropAfterSeconds, 0);
    EXPECT_EQ(book.entries[2].name, "Home Line");

    EXPECT_EQ(book.find(QStringLiteral("BACKUP")), &book.entries[1]);
    EXPECT_EQ(book.find(QStringLiteral("nowhere")), nullptr);
}

TEST(PhonebookTest, InvalidSectionsAndValuesAreReportedAndSkipped)
{
    const QByteArray longName(257, 'n');
    const auto book = parsePhonebook("Stray=1\n[]\nOutcomes=busy\n[   ]\n[" + longName
        + "]\n[bad\\name]\n[open\n"
          "[Fine]\nOutcomes=busy,explode\nStepDelay=-1\nDropAfter=soon\nno equals here\n"
          "["
        + QByteArray(256, 'm') + "]\n[Fine]\nStepDelay=5\n");
    ASSERT_EQ(book.entries.size(), 2);
    EXPECT_EQ(book.entries[0].name, "Fine");
    EXPECT_EQ(book.entries[0].outcomes, QList<Outcome> { Outcome::Connect });
    EXPECT_EQ(book.entries[0].stepDelayMs, 300);
    EXPECT_EQ(book.entries[1].name.size(), 256);
    EXPECT_EQ(book.warnings.size(), 11) << qPrintable(book.warnings.join(QLatin1Char('\n')));
    EXPECT_TRUE(book.warnings.first().startsWith(QStringLiteral("line 1:")));
    // A name used twice is listed once: the second could never be dialed.
    EXPECT_EQ(book.warnings.last(), "line 14: entry name \"Fine\" already used on line 8, section skipped");
}

TEST(DialupProtocolTest, RequestsAndAnswersRoundTrip)
{
    Request request;
    request.op = Op::Dial;
    request.id = 42;
    request.entry = QStringLiteral("Büro");
    request.domain = QStringLiteral("WORK");
    request.handle = 4000000000U;
    const auto parsed = parseRequest(encodeRequest(request).trimmed());
    ASSERT_TRUE(std::holds_alternative<Request>(parsed));
    EXPECT_EQ(std::get<Request>(parsed).entry, request.entry);
    EXPECT_EQ(std::get<Request>(parsed).handle, request.handle);
    EXPECT_EQ(std::get<Request>(parsed).id, 42);

    Answer answer;
    answer.id = 42;
    answer.lines.append(LineInfo { 7, QStringLiteral("Office"), QStringLiteral("modem"), QStringLiteral("M"), 2, 676 });
    answer.entries = QStringList { QStringLiteral("a"), QStringLiteral("b") };
    const auto back = parseServiceMessage(encodeAnswer(answer));
    ASSERT_TRUE(std::holds_alternative<Answer>(back));
    EXPECT_EQ(std::get<Answer>(back).lines.first().error, 676U);
    EXPECT_EQ(std::get<Answer>(back).entries, answer.entries);

    const auto note = parseServiceMessage(encodeNotification(Notification { 9, 0x2000, 0 }));
    ASSERT_TRUE(std::holds_alternative<Notification>(note));
    EXPECT_EQ(std::get<Notification>(note).state, 0x2000U);
}

TEST(DialupProtocolTest, BadRequestsAreRefusedWithAReason)
{
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
