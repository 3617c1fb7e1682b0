// The wizard on the real dial-up service stopped with SIGSTOP: the window keeps
// answering; Skip, Abort (Close hangs up the same way) and the monitor's tick act at once.
#include "WizardFixture.h"
#include "platform/sim/SimRemoteAccess.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <csignal>

using namespace vorn;
using namespace vorn::test;

namespace
{

class FrozenServiceTest : public WizardTest
{
protected:
    ServiceProcess dialup { folder.path() };
    QTimer probe; // the longest time the UI thread went without handling its events
    QElapsedTimer sinceProbe;
    qint64 longestStall = 0;

    void SetUp() override
    {
        WizardTest::SetUp();
        QDir(folder.path()).mkpath(QStringLiteral("config/vorn95"));
        QFile phonebook(folder.filePath(QStringLiteral("config/vorn95/rasphone.pbk")));
        ASSERT_TRUE(phonebook.open(QIODevice::WriteOnly));
        phonebook.write("[Quick]\nStepDelay=10\n\n[Slow A]\nStepDelay=5000\n\n[Slow B]\nStepDelay=5000\n");
        phonebook.close();
        ASSERT_TRUE(dialup.start());
        service = std::make_shared<sim::SimRemoteAccess>(dialup.socketPath());
        QObject::connect(
            &probe, &QTimer::timeout, [this] { longestStall = std::max(longestStall, sinceProbe.restart()); });
    }
    void TearDown() override
    {
        window.reset();
        dialup.kill(); // a stopped process is killed all the same
        WizardTest::TearDown();
    }

    void freeze()
    {
        ::kill(pid_t(dialup.processId()), SIGSTOP);
        sinceProbe.start();
        probe.start(5);
    }
};

} // namespace

TEST_F(FrozenServiceTest, SkipAndAbortActAtOnce)
{
    TfrmSelect& w = startWith({}, { "Slow A", "Slow B" });
    QTimer::singleShot(300, &w, [&] { freeze(); });
    QTimer::singleShot(600, &w, [&] { w.btnSkip->click(); }); // Slow A ends, Slow B follows the pause
    QTimer::singleShot(2200, &w, [&] {
        w.btnAbort->click();
        EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgSelectIndex);
    });
    w.Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);

    EXPECT_EQ(w.lblEntryName->text(), "Slow B") << "the skip moved on to the next entry";
    EXPECT_LT(longestStall, 200) << "the window stalled";
}

TEST_F(FrozenServiceTest, TicksGoOnAndASilentServiceCountsAsABrokenConnection)
{
    TfrmSelect& w = startWith({}, { "Quick" });
    w.Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex); // returns once connected
    ASSERT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgStatIndex);
    w.Timer1->stop(); // ticks are driven by the test

    // Ticking on, the line counts as broken only once the service has not answered for a bounded time.
    freeze();
    QElapsedTimer frozen;
    frozen.start();
    EXPECT_TRUE(waitUntil(
        [&] {
            w.Timer1Timer();
            return !prompts.messages.empty();
        },
        std::chrono::milliseconds(sim::SimRemoteAccess::AnswerTimeoutMs + 3000)));
    EXPECT_GE(frozen.elapsed(), sim::SimRemoteAccess::AnswerTimeoutMs - 1000) << "connected as far as anyone knows";
    EXPECT_EQ(w.Notebook1->currentIndex(), TfrmSelect::pgWelcomeIndex);
    EXPECT_LT(longestStall, 200) << "the window stalled";
}
