// The connected state: the one-second tick, the tray icon and its menu.
#include "app/Guarded.h"
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/WizardLog.h"
#include "rascomp/Rascomp32.h"
#include "settings/Statistics.h"
#include "shell/TrayIcon.h"

#include <QMenu>
#include <QTimer>

QString TfrmSelect::elapsedText() const
{
    // A time of day: after 24 hours it starts again from zero.
    // Rounded: a tick that comes a few milliseconds early still shows its second.
    const qint64 elapsedMs = ConnectStart.msecsTo(QDateTime::currentDateTime());
    return stats::LongTimeText(QTime(0, 0).addSecs((elapsedMs + 500) / 1000));
}

void TfrmSelect::hideToTray()
{
    // Without a tray host a hidden window could never be brought back.
    if (TI->Available())
        hide();
    else
        showMinimized();
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
        // The text stays until the user clears it; saying so on every tick
        // would bury the user in messages, and the monitor must go on.
        if (!TotalTimeErrorShown) {
            TotalTimeErrorShown = true;
            showEscapedError(error.what());
        }
    }
    TI->setToolTip(QStringLiteral("Connected to ") + RAS->EntryName + QStringLiteral(": ") + elapsed);
    qCDebug(lcWizard) << vorn::wizardlog::Tick << ConnectedSeconds << TI->ToolTip();

    RAS->EnumConnections();
    if (RAS->Connections().Count() > 0)
        return;

    Timer1->stop();
    qCDebug(lcWizard) << vorn::wizardlog::ConnectionBroken;
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
    hideToTray();
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
