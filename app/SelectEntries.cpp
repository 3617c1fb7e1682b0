// The entry list's handlers and the preferences kept in the registry.
#include "app/DialingOptionsDialog.h"
#include "app/HistoryWindow.h"
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/props.h"
#include "rascomp/DialCycle.h"
#include "settings/DialingOptions.h"
#include "settings/Statistics.h"

#include <QMenu>

void TfrmSelect::ConListChange(int row, bool selected)
{
    const QString name = ConList->caption(row);
    if (selected)
        SelectedEntries.add(name);
    else
        SelectedEntries.remove(name);
}

void TfrmSelect::setViewStyle(QAction* ticked)
{
    ticked->setChecked(true);
    if (ticked == LArgeIcons1)
        ConList->setViewStyle(TEntryListView::ViewStyle::LargeIcon);
    else if (ticked == Small1)
        ConList->setViewStyle(TEntryListView::ViewStyle::SmallIcon);
    else if (ticked == List1)
        ConList->setViewStyle(TEntryListView::ViewStyle::List);
    else
        ConList->setViewStyle(TEntryListView::ViewStyle::Report);
}

void TfrmSelect::LArgeIcons1Click()
{
    setViewStyle(LArgeIcons1);
}

void TfrmSelect::Small1Click()
{
    setViewStyle(Small1);
}

void TfrmSelect::List1Click()
{
    setViewStyle(List1);
}

void TfrmSelect::Details1Click()
{
    setViewStyle(Details1);
}

// The secondary button opens the entry menu over a row, the View menu elsewhere.
void TfrmSelect::ConListMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y)
{
    if (button != Qt::RightButton)
        return;
    const QPoint screen = ConList->mapToGlobal(QPoint(x, y));
    const int row = ConList->rowAt(QPoint(x, y));
    if (row >= 0) {
        PopupEntry = row;
        pmEntry->popup(screen);
    } else {
        ShowWelcome1->setChecked(readSetting(stats::ShowWelcome, stats::DefaultShowWelcome) == 1);
        pm->popup(screen);
    }
}

void TfrmSelect::cbShowWelcomeClick()
{
    writeSetting(stats::ShowWelcome, Variant(qint32(cbShowWelcome->isChecked() ? 1 : 0)));
}

// Runs before the key has toggled the box, so it stores the state as it
// was; the click that a toggling key produces then stores the new one.
void TfrmSelect::cbShowWelcomeKeyDown()
{
    cbShowWelcomeClick();
}

void TfrmSelect::ShowWelcome1Click()
{
    cbShowWelcome->setChecked(ShowWelcome1->isChecked());
    cbShowWelcomeClick();
    if (Notebook1->currentIndex() == pgSelectIndex)
        btnPrev->setEnabled(ShowWelcome1->isChecked());
}

void TfrmSelect::History1Click(const QString& entry)
{
    // Beside the wizard, not over it: the connection goes on meanwhile.
    auto* window = new TfrmHistory(this, History->file(), entry);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void TfrmSelect::btnBrowseClick()
{
    UserPrompts::OpenFileRequest request;
    request.filter = QStringLiteral("Wave files (*.wav)");
    request.defaultSuffix = QStringLiteral("wav");
    const QString chosen = UserPrompts::instance().openFile(this, request);
    if (chosen.isEmpty())
        return;
    edTune->setText(chosen);
    writeSetting(stats::Tune, Variant(edTune->text()));
}

void TfrmSelect::edTuneExit()
{
    writeSetting(stats::Tune, Variant(edTune->text()));
}

void TfrmSelect::EntryProperties1Click()
{
    if (PopupEntry < 0)
        return;
    const QString name = ConList->caption(PopupEntry);
    reg->Key = stats::EntryKey(name);
    TfrmProps dialog(this, *reg, [this] { RefreshEntryList(); });
    dialog.lbConn->setText(name);
    const QStringList texts = ConList->subItems(PopupEntry);
    QLabel* const labels[] = { dialog.lblNA, dialog.lblLA, dialog.lblLAT, dialog.lblTAT };
    for (qsizetype i = 0; i < texts.size() && i < 4; ++i)
        labels[i]->setText(texts.at(i));
    dialog.ListFailures();
    dialog.exec();
}

void TfrmSelect::DialingOptions1Click()
{
    TfrmDialingOptions dialog(this);
    dialog.setRules(readDialingRules());
    dialog.cbNotify->setChecked(readSetting(stats::Notify, stats::DefaultNotify) == 1);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The user was told at start-up that nothing can be saved.
    if (!HiveReadOnly) {
        dialing::WriteRules(*reg, dialog.rules());
        writeSetting(stats::Notify, Variant(qint32(dialog.cbNotify->isChecked() ? 1 : 0)));
    }
}
