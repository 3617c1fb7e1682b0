// The dialing loop, its buttons, and the engine's connect and disconnect events.
#include "app/Select.h"
#include "app/TrayIcon.h"
#include "app/UserPrompts.h"
#include "app/WizardLog.h"
#include "platform/RemoteAccess.h"
#include "rascomp/DialCycle.h"
#include "rascomp/Rascomp32.h"
#include "settings/DialingOptions.h"
#include "settings/History.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"
#include "shell/WindowWatchers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcWizard, "vorn.wizard", QtInfoMsg)

namespace
{

using std::chrono::milliseconds;

// The engine reports every change as an event, so a poll waits for the next
// one; the bound only catches a status that changed without notice.
constexpr milliseconds PollWait { 100 };

// Handles the pending events, waiting up to `limit` for one when none is
// there: a waiting loop uses no CPU, yet a click or a notification is
// handled the moment it comes.
void waitForEvents(milliseconds limit)
{
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.start(limit);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

void TfrmSelect::showStatus(const QString& text)
{
    if (lblStatus->text() == text)
        return;
    lblStatus->setText(text);
    qCDebug(lcWizard) << vorn::wizardlog::Status << text;
}

// Asked of the service itself: the engine has no text once its handle is gone.
QString TfrmSelect::failureText(int error)
{
    char buffer[vorn::ras::MaxError + 1] = {};
    if (remoteAccess->errorString(std::uint32_t(error), buffer, vorn::ras::MaxError) == vorn::ras::Success
        && buffer[0] != '\0')
        return QString::fromUtf8(buffer);
    return QStringLiteral("Dialing failed (error %1).").arg(error);
}

cycle::Rules TfrmSelect::readDialingRules()
{
    QStringList problems;
    const cycle::Rules rules = dialing::ReadRules(*reg, &problems);
    for (const QString& problem : problems)
        reportBadValue(problem);
    return rules;
}

void TfrmSelect::countFailure(const QString& entry, int code)
{
    if (HiveReadOnly)
        return;
    try {
        dialing::CountFailure(*reg, entry, code);
    } catch (const ERegFileError& error) {
        reportStatisticsError(statisticsNotSaved(error));
    }
}

void TfrmSelect::DialSelectedEntries()
{
    // An empty caption would match any untitled window: the tune then plays at connect.
    if (readSetting(stats::PlayTune, stats::DefaultPlayTune) == 1 && !PDTCaption.isEmpty())
        startTuneWatcher(PDTCaption, readTextSetting(stats::Tune));
    btnPrev->setEnabled(false);
    btnNext->setEnabled(false);
    StopDialing = false;
    // A Skip pressed after the last run's final attempt is not for this run.
    SkipEntry = false;
    // The list does not change while dialing; an empty one has nothing to dial.
    const QStringList entries = SelectedEntries.items();
    const QString firstEntry = std::exchange(RedialFrom, QString());
    if (entries.isEmpty())
        return;
    DialCycle run(entries, readDialingRules(), int(std::max<qsizetype>(0, entries.indexOf(firstEntry))));

    while (true) {
        RAS->EntryName = run.current();
        lblEntryName->setText(RAS->EntryName);
        qCDebug(lcWizard) << vorn::wizardlog::Attempt << RAS->EntryName;
        History->started(RAS->EntryName);
        // Why the attempt failed, taken before the hang-up forgets it; it
        // stays on screen through the pause.
        int failure = RAS->Dial();

        while (failure == 0) {
            waitForEvents(PollWait);
            if (SkipEntry) {
                SkipEntry = false;
                qCDebug(lcWizard) << vorn::wizardlog::Skipped << RAS->EntryName;
                History->ended(vorn::ConnectionHistory::Outcome::Skipped);
                break;
            }
            showStatus(RAS->StatusText());
            const int error = RAS->QueryStatus();
            if (error > 601)
                failure = error;
            if (failure != 0 || RAS->ConnectionHandle() == 0 || StopDialing)
                break;
        }
        if (!StopDialing)
            RAS->HangUp();
        const QString failed = failure != 0 ? failureText(failure) : QString();
        showStatus(failure != 0 ? failed : RAS->GetErrorString(RAS->LastError()));
        if (failure != 0)
            countFailure(RAS->EntryName, failure);
        const DialCycle::Verdict next
            = StopDialing ? DialCycle::Verdict { {}, cycle::PauseAfterAttempt, {} } : run.attemptEnded(failure, failed);
        // A connected attempt stays open, a skipped one has ended already; a rule's end is "stopped".
        History->ended(next.end != DialCycle::End::None ? vorn::ConnectionHistory::Outcome::Stopped
                : failure != 0                          ? vorn::ConnectionHistory::Outcome::Failed
                                                        : vorn::ConnectionHistory::Outcome::Aborted,
            failure, failed);
        if (next.end != DialCycle::End::None) {
            qCDebug(lcWizard) << vorn::wizardlog::RunEnded << next.message;
            notifyUser(next.message);
            UserPrompts::instance().messageBox(
                this, next.message, QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
            Notebook1->setCurrentIndex(pgSelectIndex);
            break;
        }
        QElapsedTimer pause;
        pause.start();
        for (qint64 left = next.pause.count(); left > 0; left = next.pause.count() - pause.elapsed())
            waitForEvents(milliseconds(left));
        PDTFound = false;
        if (StopDialing)
            break;
    }
    qCDebug(lcWizard) << vorn::wizardlog::DialingEnded;
}

void TfrmSelect::btnSkipClick()
{
    SkipEntry = true;
}

void TfrmSelect::btnAbortClick()
{
    StopDialing = true;
    RAS->HangUp();
    Notebook1->setCurrentIndex(pgSelectIndex);
}

void TfrmSelect::FormClose()
{
    // A dialing loop still running ends after its current poll.
    StopDialing = true;
    RAS->HangUp();
}

void TfrmSelect::FormDestroy()
{
    RAS->HangUp();
}

void TfrmSelect::RASConnect()
{
    StopDialing = true;
    Notebook1->setCurrentIndex(pgStatIndex);
    const QString entry = RAS->EntryName;
    lblEntry->setText(entry);
    const bool noWindowToWaitFor = DialerTitleTemplate.isEmpty() || PDTCaption.isEmpty();
    if (PDTCaption.isEmpty() && readSetting(stats::PlayTune, stats::DefaultPlayTune) == 1)
        startTuneWatcher(PDTCaption, readTextSetting(stats::Tune));
    StatisticsErrorShown = HiveReadOnly;
    bool recorded = true;
    try {
        stats::RecordConnection(*reg, entry, QDateTime::currentDateTime(), ConnectStart, ConnectedSeconds);
    } catch (const ERegFileError& error) {
        // The connection is up all the same: it is monitored and counted on screen.
        ConnectStart = QDateTime::currentDateTime();
        ConnectedSeconds = 0;
        recorded = false;
        reportStatisticsError(statisticsNotSaved(error));
    }
    History->connected();
    TrafficKnown = false;
    BytesIn = BytesOut = 0;
    notifyUser(QStringLiteral("Connected to ") + entry);
    const QString elapsed = elapsedText();
    lblTime->setText(elapsed);
    TI->setToolTip(QStringLiteral("Connected to ") + entry + QStringLiteral(": ") + elapsed);
    ConnectedItem->setText(connectedText(elapsed));
    Timer1->start();
    qCDebug(lcWizard) << vorn::wizardlog::Connected << entry;

    // Without a window to wait for, the tune plays now.
    if (noWindowToWaitFor)
        PDTPlayNow = true;
    if (!DialerTitleTemplate.isEmpty())
        startWindowHider(QString(DialerTitleTemplate).replace(QStringLiteral("%s"), entry));
    TI->setActive(true);
    qCDebug(lcWizard) << vorn::wizardlog::ToolTip << TI->ToolTip();
    offerHangUpWithoutTray();
    // Hidden only behind an icon that is really there, and not right after
    // an unexpected failure was shown.
    if (TI->Shown() && (recorded || HiveReadOnly))
        hide();
}

void TfrmSelect::RASDisconnect(const QString& ErrorString)
{
    if (!ErrorString.isEmpty())
        UserPrompts::instance().messageBox(
            this, ErrorString, QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
    History->disconnected();
    TI->setActive(false);
    Timer1->stop();
}
