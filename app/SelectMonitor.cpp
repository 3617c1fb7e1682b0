// The connected state: the one-second tick, the tray icon and its menu.
#include "app/Guarded.h"
#include "app/Select.h"
#include "app/TrayIcon.h"
#include "app/UserPrompts.h"
#include "app/WizardLog.h"
#include "platform/Notifications.h"
#include "platform/RemoteAccess.h"
#include "rascomp/DialCycle.h"
#include "rascomp/Rascomp32.h"
#include "settings/History.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QLocale>
#include <QMenu>
#include <QTimer>

#include <algorithm>

QString TfrmSelect::elapsedText() const
{
    // A duration, not a time of day: it reads the same in every locale and
    // goes on counting past 24 hours. Rounded: a tick that comes a few
    // milliseconds early still shows its second.
    const qint64 elapsedMs = std::max<qint64>(0, ConnectStart.msecsTo(QDateTime::currentDateTime()));
    return SecondsToDuration(qint32((elapsedMs + 500) / 1000));
}

QString TfrmSelect::connectedText(const QString& elapsed) const
{
    QString text = QStringLiteral("Connected to ") + RAS->EntryName + QStringLiteral(": ") + elapsed;
    if (TrafficKnown) {
        const QLocale locale;
        text += QStringLiteral(" (%1 in, %2 out)")
                    .arg(locale.formattedDataSize(BytesIn), locale.formattedDataSize(BytesOut));
    }
    return text;
}

void TfrmSelect::notifyUser(const QString& text)
{
    // The ticks write the connected entry's statistics where Key points: it stays there.
    const QString entryKey = reg->Key;
    const bool wanted = readSetting(stats::Notify, stats::DefaultNotify) == 1;
    reg->Key = entryKey;
    if (wanted)
        Notifier->notify(text);
}

void TfrmSelect::hideToTray()
{
    // Without an icon to bring it back by, a hidden window would be lost.
    if (TI->Shown())
        hide();
    else
        showMinimized();
}

// Without a tray icon the connected page's button hangs up instead of hiding.
void TfrmSelect::offerHangUpWithoutTray()
{
    Button1->setText(TI->Shown() ? QStringLiteral("&Hide Window") : QStringLiteral("&Disconnect"));
}

QString TfrmSelect::statisticsNotSaved(const ERegFileError& error) const
{
    return QStringLiteral("The statistics of %1 cannot be saved (%2).").arg(RAS->EntryName, error.message());
}

void TfrmSelect::reportStatisticsError(const QString& message)
{
    // Said once per connection: the same fault comes back on every tick.
    if (StatisticsErrorShown)
        return;
    StatisticsErrorShown = true;
    showEscapedError(message.toUtf8().constData());
}

void TfrmSelect::showFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void TfrmSelect::Timer1Timer()
{
    const QString elapsed = elapsedText();
    lblTime->setText(elapsed);
    try {
        stats::RecordTick(*reg, ConnectedSeconds);
    } catch (const EConvertError& error) {
        // The text stays until the user clears it in Entry Properties.
        reportStatisticsError(RAS->EntryName + QStringLiteral(": ") + QString::fromUtf8(error.what()));
    } catch (const ERegFileError& error) {
        reportStatisticsError(statisticsNotSaved(error));
    }
    TI->setToolTip(QStringLiteral("Connected to ") + RAS->EntryName + QStringLiteral(": ") + elapsed);
    TrafficKnown = RAS->Traffic(BytesIn, BytesOut);
    History->tick(ConnectedSeconds, BytesIn, BytesOut);
    ConnectedItem->setText(connectedText(elapsed));
    qCDebug(lcWizard) << vorn::wizardlog::Tick << ConnectedSeconds << TI->ToolTip();

    // A tray host that went away must not keep the window out of reach.
    if (isHidden() && !TI->Shown())
        showFromTray();
    offerHangUpWithoutTray();

    RAS->EnumConnections();
    if (RAS->Connections().Count() > 0)
        return;

    Timer1->stop();
    qCDebug(lcWizard) << vorn::wizardlog::ConnectionBroken;
    History->disconnected(vorn::ras::RemoteDisconnection, QStringLiteral("Connection has been broken!"));
    notifyUser(QStringLiteral("Connection to %1 broke after %2").arg(RAS->EntryName, elapsed));
    if (redialAfterBreak())
        return;
    UserPrompts::instance().messageBox(
        this, QStringLiteral("Connection has been broken!"), QStringLiteral("Information"), UserPrompts::MB_OK);
    StopDialing = true;
    RAS->HangUp();
    TI->setActive(false);
    showFromTray();
    Notebook1->setCurrentIndex(pgWelcomeIndex);
    pnlButtons->show();
    btnPrev->show();
    btnNext->show();
    btnClose->show();
    btnPrev->setEnabled(false);
    btnNext->setEnabled(true);
    RefreshEntryList();
}

bool TfrmSelect::redialAfterBreak()
{
    // A line hung up by the user (here or in the dial-up application) is no
    // broken line: its status holds no failure, or says the user ended it.
    const int why = RAS->QueryStatus();
    if (why == 0 || why == int(vorn::ras::UserDisconnection) || !readDialingRules().redialOnBreak)
        return false;
    TI->setToolTip(QStringLiteral("The line to ") + RAS->EntryName + QStringLiteral(" broke; dialing again"));
    qCDebug(lcWizard) << vorn::wizardlog::Redial << RAS->EntryName;
    RedialFrom = RAS->EntryName;
    showFromTray();
    pnlButtons->show();
    btnPrev->show();
    btnNext->show();
    btnClose->show();
    Notebook1->setCurrentIndex(pgDialingIndex);
    return true;
}

void TfrmSelect::TIClick()
{
    btnClose->hide();
    showFromTray();
}

void TfrmSelect::Info1Click()
{
    TIClick();
}

void TfrmSelect::TIRightClick(int x, int y)
{
    Ipm->popup(QPoint(x, y));
}

void TfrmSelect::Button1Click()
{
    if (TI->Shown())
        hideToTray();
    else
        Disconnect1Click();
}

void TfrmSelect::Disconnect1Click()
{
    StopDialing = true;
    RAS->HangUp();
    TI->setActive(false);
    showFromTray();
    Notebook1->setCurrentIndex(pgSelectIndex);
    btnPrev->show();
    btnNext->show();
    btnClose->show();
    btnClose->setEnabled(true);
    btnPrev->setEnabled(false);
    btnNext->setEnabled(true);
    ConList->setFocus();
    RefreshEntryList();
}
