// The dialing loop by the user's rules: a stop rule, failure counts and
// redial on a broken line.
#include "DialingFixture.h"
#include "settings/Statistics.h"

using namespace vorn;
using namespace vorn::test;

namespace
{

class DialingRulesTest : public DialingTest
{
protected:
    void setRule(const char* name, const Variant& value) { store(QLatin1String(stats::ProgramKey), name, value); }
    Variant failures(const QString& entry, int code)
    {
        return stored(entryKey(entry) + QStringLiteral("\\Failures"), QString::number(code));
    }
};

TEST_F(DialingRulesTest, StopRuleEndsTheRunWithItsReasonAndCountsTheFailure)
{
    setRule("OnAccountFailure", Variant("stop"));
    setRule("OnLineFailure", Variant(qint32(5)));
    TfrmSelect& w = startDialer({ "A", "B" }, { "A", "B" });
    lines->outcomes["A"] = Outcome::Refuse;
    lines->errorTexts[691] = "Refused.";
    const qint64 ran = dial();

    EXPECT_EQ(lines->dialed(), QStringList { "A" });
    EXPECT_LT(ran, 1000) << "no pause after the last attempt";
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    EXPECT_EQ(failures("A", 691).toInt(), 1);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "\"OnLineFailure\" is not retry, drop or stop; retry is used instead.");
    EXPECT_EQ(prompts.messages[1].text, "Dialing stopped: A failed (error 691: Refused.).");

    dial();
    EXPECT_EQ(prompts.messages.size(), 3u) << "a bad value is named once";
    EXPECT_EQ(failures("A", 691).toInt(), 2);
}

TEST_F(DialingRulesTest, BrokenLineIsRedialedFromTheEntryThatBroke)
{
    setRule("RedialOnBreak", Variant(qint32(1)));
    TfrmSelect& w = startDialer({ "A", "B" }, { "A", "B" });
    lines->outcomes["A"] = Outcome::Busy;
    connectOn("B");
    dial();
    w.Timer1->stop();
    lines->breakLines();
    QString tipWhileRedialing;
    QTimer::singleShot(10, &w, [&] { tipWhileRedialing = tray->tip; });
    w.Timer1Timer();

    EXPECT_EQ(tipWhileRedialing, "The line to B broke; dialing again");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(lines->dialed(), (QStringList { "A", "B", "B" }));
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    EXPECT_EQ(stored(entryKey("B"), "Accesses").toInt(), 2);
    EXPECT_TRUE(tray->shown);
}

TEST_F(DialingRulesTest, LineHungUpElsewhereIsNotRedialed)
{
    setRule("RedialOnBreak", Variant(qint32(1)));
    TfrmSelect& w = startDialer({ "A" }, { "A" });
    connectOn("A");
    dial();
    w.Timer1->stop();
    lines->dropLines();
    w.Timer1Timer();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Connection has been broken!");
    EXPECT_EQ(lines->dialed(), QStringList { "A" });
}

} // namespace
