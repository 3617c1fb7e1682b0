#include "app/Select.h"

#include "app/Guarded.h"
#include "app/TrayIcon.h"
#include "platform/Notifications.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "rascomp/Rascomp32.h"
#include "settings/History.h"
#include "settings/RegFiles.h"
#include "shell/WindowWatchers.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

TfrmSelect::TfrmSelect()
    : TfrmSelect(vorn::platform::remoteAccess(), &vorn::platform::registry(), vorn::platform::notificationArea())
{
}

TfrmSelect::TfrmSelect(std::shared_ptr<vorn::RemoteAccess> service, vorn::Registry* registry,
    std::unique_ptr<vorn::NotificationArea> trayShell, QWidget* parent)
    : QWidget(parent)
    , startTuneWatcher([](const QString& caption, const QString& tune) {
        (new TPDTThread(caption, tune))->setFreeOnTerminate(true);
    })
    , startWindowHider([](const QString& title) { new TFWThread(title); })
    , InitializerPath(vorn::paths::siblingProgram(QStringLiteral("initvorn")))
    , remoteAccess(std::move(service))
    , hive(registry != nullptr ? registry : &vorn::platform::registry())
{
    setupUi(this);
    // A dialog frame: fixed size, no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    RAS = new TRAS(this, remoteAccess);
    RAS->setRedialAttempts(0);
    reg = new TRegFile(this, registry);
    reg->RootKey = hkLocalMachine;
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    TI = new TTrayIcon(this, std::move(trayShell));
    TI->setIcon(QIcon(QStringLiteral(":/tray.png")));
    History = std::make_unique<vorn::ConnectionHistory>(vorn::paths::historyFile(), vorn::platform::remoteAccessName());
    Notifier = vorn::platform::notifications();

    EntryIcon.addFile(QStringLiteral(":/entry-large.png"), QSize(32, 32));
    EntryIcon.addFile(QStringLiteral(":/entry-small.png"), QSize(16, 16));
    ConList->setRowIcon(EntryIcon);
    ConList->addColumn(QStringLiteral("Connection"), 70);
    ConList->addColumn(QStringLiteral("Accesses"), 70);
    ConList->addColumn(QStringLiteral("Last Access"), 90);
    ConList->addColumn(QStringLiteral("Last Time"), 80);
    ConList->addColumn(QStringLiteral("Total Time"), 50);

    rdbAbout->SetGlyph(QImage(QStringLiteral(":/about-glyph.png")));
    pnlBorder->installEventFilter(this);
    createMenus();
    connectHandlers();
    setOuterHeight(OuterHeight);
    setOuterWidth(OuterWidth);
    // Centred on the screen, like a dialog.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(OuterWidth / 2, OuterHeight / 2));
}

TfrmSelect::~TfrmSelect()
{
    runGuarded([this] { FormDestroy(); });
    // Nothing the children do while they go away (page and selection
    // changes, focus moves) may reach the handlers.
    Notebook1->disconnect(this);
    ConList->OnChange = nullptr;
    ConList->OnMouseUp = nullptr;
    edTune->removeEventFilter(this);
    cbShowWelcome->removeEventFilter(this);
    pnlBorder->removeEventFilter(this);
}

void TfrmSelect::createMenus()
{
    pm = new QMenu(this);
    QMenu* view = pm->addMenu(QStringLiteral("&View"));
    auto* styles = new QActionGroup(this);
    auto addStyle = [&](const QString& caption) {
        QAction* action = view->addAction(caption);
        action->setCheckable(true);
        styles->addAction(action);
        return action;
    };
    LArgeIcons1 = addStyle(QStringLiteral("Lar&ge Icons"));
    Small1 = addStyle(QStringLiteral("S&mall Icons"));
    List1 = addStyle(QStringLiteral("&List"));
    Details1 = addStyle(QStringLiteral("&Details"));
    LArgeIcons1->setChecked(true);
    // The welcome page's check box can't be reached once it is off: offered here too.
    pm->addSeparator();
    ShowWelcome1 = pm->addAction(QStringLiteral("Show &Welcome Page"));
    ShowWelcome1->setCheckable(true);
    DialingOptions1 = pm->addAction(QStringLiteral("&Dialing Options..."));
    History1 = pm->addAction(QStringLiteral("&History..."));

    pmEntry = new QMenu(this);
    EntryProperties1 = pmEntry->addAction(QStringLiteral("Entry Properties"));
    EntryHistory1 = pmEntry->addAction(QStringLiteral("History..."));

    Ipm = new QMenu(this);
    ConnectedItem = Ipm->addAction(QString());
    ConnectedItem->setEnabled(false);
    Info1 = Ipm->addAction(QStringLiteral("Info"));
    History3 = Ipm->addAction(QStringLiteral("History..."));
    Ipm->addSeparator();
    Disconnect1 = Ipm->addAction(QStringLiteral("Disconnect"));
}

void TfrmSelect::connectHandlers()
{
    connect(btnNext, &QPushButton::clicked, this, guarded([this] { btnNextClick(); }));
    connect(btnPrev, &QPushButton::clicked, this, guarded([this] { btnPrevClick(); }));
    connect(btnClose, &QPushButton::clicked, this, guarded([this] { btnCloseClick(); }));
    connect(btnBrowse, &QPushButton::clicked, this, guarded([this] { btnBrowseClick(); }));
    connect(cbShowWelcome, &QCheckBox::clicked, this, guarded([this] { cbShowWelcomeClick(); }));
    connect(LArgeIcons1, &QAction::triggered, this, guarded([this] { LArgeIcons1Click(); }));
    connect(Small1, &QAction::triggered, this, guarded([this] { Small1Click(); }));
    connect(List1, &QAction::triggered, this, guarded([this] { List1Click(); }));
    connect(Details1, &QAction::triggered, this, guarded([this] { Details1Click(); }));
    connect(ShowWelcome1, &QAction::triggered, this, guarded([this] { ShowWelcome1Click(); }));
    connect(DialingOptions1, &QAction::triggered, this, guarded([this] { DialingOptions1Click(); }));
    connect(History1, &QAction::triggered, this, guarded([this] { History1Click(); }));
    connect(History3, &QAction::triggered, this, guarded([this] { History1Click(); }));
    connect(EntryHistory1, &QAction::triggered, this, guarded([this] {
        if (PopupEntry >= 0)
            History1Click(ConList->caption(PopupEntry));
    }));
    connect(EntryProperties1, &QAction::triggered, this, guarded([this] { EntryProperties1Click(); }));
    ConList->OnChange = guarded([this](int row, bool selected) { ConListChange(row, selected); });
    ConList->OnMouseUp = guarded([this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        ConListMouseUp(button, shift, x, y);
    });
    rdbAbout->OnClick = guarded([this] { rdbAboutClick(); });
    connect(btnSkip, &QPushButton::clicked, this, guarded([this] { btnSkipClick(); }));
    connect(btnAbort, &QPushButton::clicked, this, guarded([this] { btnAbortClick(); }));
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(Info1, &QAction::triggered, this, guarded([this] { Info1Click(); }));
    connect(Disconnect1, &QAction::triggered, this, guarded([this] { Disconnect1Click(); }));
    TI->OnClick = guarded([this](QObject*) { TIClick(); });
    TI->OnRightClick
        = guarded([this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { TIRightClick(x, y); });
    RAS->OnConnect = guarded([this](QObject*) { RASConnect(); });
    RAS->OnDisconnect = guarded([this](QObject*, int, const QString& errorString) { RASDisconnect(errorString); });
    edTune->installEventFilter(this);
    cbShowWelcome->installEventFilter(this);
}

bool TfrmSelect::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlBorder && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        alignPanels();
    if (watched == cbShowWelcome && event->type() == QEvent::KeyPress)
        runGuarded([this] { cbShowWelcomeKeyDown(); });
    if (watched == edTune && event->type() == QEvent::FocusOut) {
        // Only a move to another control of this window leaves the box;
        // switching to another window or opening a menu does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            runGuarded([this] { edTuneExit(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmSelect::setOuterWidth(int width)
{
    OuterWidth = width;
    setFixedSize(OuterWidth - 8, OuterHeight - 27);
    alignPanels();
}

void TfrmSelect::setOuterHeight(int height)
{
    OuterHeight = height;
    setFixedSize(OuterWidth - 8, OuterHeight - 27);
    alignPanels();
}

// The button bar sits on the bottom edge, the picture panel on the left
// edge above it, and the pages take the rest.
void TfrmSelect::alignPanels()
{
    const int buttonsTop = height() - pnlButtons->height();
    pnlButtons->setGeometry(0, buttonsTop, width(), pnlButtons->height());
    const int pagesLeft = pnlBorder->isHidden() ? 0 : pnlBorder->width();
    pnlBorder->setGeometry(0, 0, pnlBorder->width(), buttonsTop);
    Notebook1->setGeometry(pagesLeft, 0, width() - pagesLeft, buttonsTop);
}

void TfrmSelect::closeEvent(QCloseEvent* event)
{
    runGuarded([this] { FormClose(); });
    event->accept();
    emit closed();
}
