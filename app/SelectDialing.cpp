// The dialing loop, its buttons, and the engine's connect and disconnect events.
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/VariantConvert.h"
#include "app/WizardLog.h"
#include "rascomp/Rascomp32.h"
#include "settings/Statistics.h"
#include "shell/TrayIcon.h"
#include "shell/WindowWatchers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcWizard, "vorn.wizard", QtInfoMsg)

namespace
{

using std::chrono::milliseconds;

// The engine reports every change as an event, so a poll waits for the next
// one; the bound only catches a status that changed without notice.
constexpr milliseconds PollWait { 100 };
constexpr milliseconds PauseAfterAttempt { 1000 };

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

void TfrmSelect::DialSelectedEntries()
{
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    if (VarToInt(reg->ReadValue(QString::fromLatin1(stats::PlayTune))) == 1)
        startTuneWatcher(PDTCaption, VarToText(reg->ReadValue(QString::fromLatin1(stats::Tune))));
    btnPrev->setEnabled(false);
    btnNext->setEnabled(false);
    NextEntryIndex = 0;
    StopDialing = false;
    // The list does not change while dialing; an empty one has nothing to dial.
    const QStringList entries = SelectedEntries.items();
    if (entries.isEmpty())
        return;

    while (true) {
        RAS->EntryName = entries.at(NextEntryIndex);
        NextEntryIndex = (NextEntryIndex + 1) % int(entries.size());
        lblEntryName->setText(RAS->EntryName);
        qCDebug(lcWizard) << vorn::wizardlog::Attempt << RAS->EntryName;
        RAS->Dial();

        while (true) {
            waitForEvents(PollWait);
            if (SkipEntry) {
                SkipEntry = false;
                qCDebug(lcWizard) << vorn::wizardlog::Skipped << RAS->EntryName;
                break;
            }
            showStatus(RAS->StatusText());
            const int error = RAS->QueryStatus();
            if (RAS->ConnectionHandle() == 0 || error > 601 || StopDialing)
                break;
        }
        if (!StopDialing)
            RAS->HangUp();
        showStatus(RAS->GetErrorString(RAS->LastError()));

        QElapsedTimer pause;
        pause.start();
        for (qint64 left = PauseAfterAttempt.count(); left > 0; left = PauseAfterAttempt.count() - pause.elapsed())
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
    stats::RecordConnection(*reg, entry, QDateTime::currentDateTime(), ConnectStart, ConnectedSeconds);
    TotalTimeErrorShown = false;
    const QString elapsed = elapsedText();
    lblTime->setText(elapsed);
    TI->setToolTip(QStringLiteral("Connected to ") + entry + QStringLiteral(": ") + elapsed);
    Timer1->start();
    qCDebug(lcWizard) << vorn::wizardlog::Connected << entry;

    // Without a tray host the window stays shown on this page.
    if (TI->Available())
        hideToTray();

    if (DialerTitleTemplate.isEmpty()) {
        // No dial-up window to hide or to wait for: the tune plays now.
        PDTPlayNow = true;
    } else {
        startWindowHider(QString(DialerTitleTemplate).replace(QStringLiteral("%s"), entry));
    }
    TI->setActive(true);
    qCDebug(lcWizard) << vorn::wizardlog::ToolTip << TI->ToolTip();
}

void TfrmSelect::RASDisconnect(const QString& ErrorString)
{
    if (!ErrorString.isEmpty())
        UserPrompts::instance().messageBox(
            this, ErrorString, QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
    TI->setActive(false);
    Timer1->stop();
}
