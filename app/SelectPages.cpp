// The wizard's pages and the buttons of its button bar.
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/WizardLog.h"
#include "app/about.h"
#include "platform/Platform.h"
#include "settings/Statistics.h"

#include <QApplication>

namespace
{

constexpr const char* PageCaptions[] = {
    "VORN95 Wizard - Welcome (0 of 3)",
    "VORN95 Wizard - Entry Selection (1 of 3)",
    "VORN95 Wizard - Tune (2 of 3)",
    "VORN95 Wizard - Confirmation (3 of 3)",
    "VORN95 Wizard - Dialing",
    "VORN95 Wizard - Info",
};

// Button bar positions on the full-size pages.
constexpr int FullBevelWidth = 447;
constexpr int FullAboutLeft = 136;
constexpr int FullPrevLeft = 212;
constexpr int FullNextLeft = 289;
constexpr int FullCloseLeft = 380;

void moveLeft(QWidget* widget, int left)
{
    widget->move(left, widget->y());
}

} // namespace

void TfrmSelect::Notebook1PageChanged()
{
    // Every page switch asks a running dialing loop to end.
    StopDialing = true;
    const int page = Notebook1->currentIndex();
    qCDebug(lcWizard) << vorn::wizardlog::Page << page;
    setPageGeometry(page);

    setWindowTitle(QString::fromLatin1(PageCaptions[page]));
    switch (page) {
    case pgWelcomeIndex:
        btnPrev->setEnabled(false);
        btnNext->setEnabled(true);
        break;
    case pgSelectIndex:
        btnPrev->setEnabled(readSetting(stats::ShowWelcome, stats::DefaultShowWelcome) == 1);
        btnNext->setEnabled(true);
        ConList->setFocus();
        RefreshEntryList();
        break;
    case pgSoundIndex:
        btnPrev->setEnabled(true);
        btnNext->setEnabled(true);
        edTune->setText(readTextSetting(stats::Tune));
        break;
    case pgDialingIndex:
        btnPrev->setEnabled(false);
        btnNext->setEnabled(false);
        DialSelectedEntries();
        break;
    case pgStatIndex:
        btnPrev->hide();
        btnNext->hide();
        break;
    default:
        break;
    }

    // The dialing page's work may have switched pages meanwhile.
    if (Notebook1->currentIndex() == pgConfirmIndex) {
        lbEntries->clear();
        lbEntries->addItems(SelectedEntries.items());
    }
}

void TfrmSelect::setPageGeometry(int page)
{
    if (page == pgStatIndex) {
        // The connected page is small: no picture, the button bar moves left.
        const int shift = pnlBorder->width();
        setOuterHeight(161);
        setOuterWidth(outerWidth() - shift);
        Bevel1->resize(Bevel1->width() - shift, Bevel1->height());
        for (QWidget* widget : { static_cast<QWidget*>(rdbAbout), static_cast<QWidget*>(btnPrev),
                 static_cast<QWidget*>(btnNext), static_cast<QWidget*>(btnClose) })
            moveLeft(widget, widget->x() - shift);
        pnlBorder->hide();
        return;
    }
    setOuterHeight(322);
    pnlBorder->show();
    setOuterWidth(467);
    Bevel1->resize(FullBevelWidth, Bevel1->height());
    moveLeft(rdbAbout, FullAboutLeft);
    moveLeft(btnPrev, FullPrevLeft);
    moveLeft(btnNext, FullNextLeft);
    moveLeft(btnClose, FullCloseLeft);
    nbWizImg->setCurrentIndex(page == pgDialingIndex ? 1 : 0);
    if (page == pgDialingIndex) {
        // Draw the dialing page before dialing starts.
        QApplication::processEvents();
    }
}

void TfrmSelect::btnNextClick()
{
    const int page = Notebook1->currentIndex();
    if (page == pgSoundIndex)
        writePlayTune();
    if (page == pgSelectIndex && SelectedEntries.isEmpty()) {
        UserPrompts& prompts = UserPrompts::instance();
        prompts.beep();
        prompts.messageBox(this, QStringLiteral("At least one entry must be selected!"), QStringLiteral("Error"),
            UserPrompts::MB_OK | UserPrompts::MB_ICONERROR);
        return;
    }
    Notebook1->setCurrentIndex(page + 1);
}

void TfrmSelect::btnPrevClick()
{
    const int page = Notebook1->currentIndex();
    if (page == pgSoundIndex)
        writePlayTune();
    Notebook1->setCurrentIndex(page - 1);
}

// "PlayTune" says whether the tune page holds a tune; "Tune" itself is
// stored by the edit box's own handlers.
void TfrmSelect::writePlayTune()
{
    writeSetting(stats::PlayTune, Variant(qint32(edTune->text().isEmpty() ? 0 : 1)));
}

void TfrmSelect::btnCloseClick()
{
    StopDialing = true;
    close();
}

void TfrmSelect::rdbAboutClick()
{
    // Window-modal without a loop of its own: dialing goes on behind it.
    auto* box = new TAboutBox(this, vorn::platform::remoteAccessName());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->show();
}
