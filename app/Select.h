#pragma once

#include "app/SortedNameList.h"
#include "ui_Select.h"

#include <QDateTime>
#include <QIcon>
#include <QSet>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ERegFileError;
namespace cycle
{
struct Rules;
}
class QAction;
class QMenu;
class QTimer;
class TRAS;
class TRegFile;
class TTrayIcon;
class Variant;

namespace vorn
{
class ConnectionHistory;
class NotificationArea;
class Notifications;
class RemoteAccess;
class Registry;
} // namespace vorn

// The wizard main window: welcome, entry selection, tune, confirmation,
// dialing and connected pages, with the entry list and its statistics.
// Its components are public members named as in the layout (Select.ui).
class TfrmSelect : public QWidget, public Ui_TfrmSelect
{
    Q_OBJECT

public:
    // Pages of Notebook1.
    enum Page { pgWelcomeIndex, pgSelectIndex, pgSoundIndex, pgConfirmIndex, pgDialingIndex, pgStatIndex };

    // The window's engine, store and tray icon work on these services.
    TfrmSelect(std::shared_ptr<vorn::RemoteAccess> service, vorn::Registry* registry,
        std::unique_ptr<vorn::NotificationArea> trayShell, QWidget* parent = nullptr);
    // The same on the platform's services.
    TfrmSelect();
    ~TfrmSelect() override;

    // Start-up (SelectStartup.cpp).
    void FormCreate();
    void RefreshEntryList();
    // True when start-up found the installation broken; the program must end.
    bool startupAborted() const { return StartupAborted; }

    // The window's size including the frame of the original platform's
    // window: the client area is 8 pixels narrower and 27 lower, whatever
    // frame the window manager draws.
    int outerWidth() const { return OuterWidth; }
    int outerHeight() const { return OuterHeight; }
    void setOuterWidth(int width);
    void setOuterHeight(int height);

    // Pages and buttons (SelectPages.cpp).
    void Notebook1PageChanged();
    void btnNextClick();
    void btnPrevClick();
    void btnCloseClick();
    void rdbAboutClick();

    // Dialing (SelectDialing.cpp). The dialing page's work: dials the
    // selected entries until one connects or dialing is stopped; returns when
    // it has ended.
    void DialSelectedEntries();
    void btnSkipClick();
    void btnAbortClick();
    // The window is closing: dialing stops and the line is hung up.
    void FormClose();
    void FormDestroy();
    void RASConnect();
    void RASDisconnect(const QString& ErrorString);

    // The connected state (SelectMonitor.cpp).
    void Timer1Timer();
    void TIClick();
    void Info1Click();
    void TIRightClick(int x, int y);
    void Button1Click();
    void Disconnect1Click();
    // "Connected to X: hh:mm:ss" with the traffic so far where it is known.
    QString connectedText(const QString& elapsed) const;

    // Entry list and preferences (SelectEntries.cpp).
    void ConListChange(int row, bool selected);
    void LArgeIcons1Click();
    void Small1Click();
    void List1Click();
    void Details1Click();
    void ConListMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void cbShowWelcomeClick();
    void cbShowWelcomeKeyDown();
    void ShowWelcome1Click();
    void btnBrowseClick();
    void edTuneExit();
    void EntryProperties1Click();
    void DialingOptions1Click();
    // Opens the history window, filtered to `entry` when it is not empty.
    void History1Click(const QString& entry = {});

    // Non-visual components.
    TRAS* RAS = nullptr;
    TRegFile* reg = nullptr;
    QTimer* Timer1 = nullptr; // the connection monitor's one-second tick, off until connected
    TTrayIcon* TI = nullptr;
    QMenu* Ipm = nullptr;
    QAction* ConnectedItem = nullptr; // "Connected to X: hh:mm:ss", for hosts without tool tips
    QAction* Info1 = nullptr;
    QAction* History3 = nullptr;

    QAction* Disconnect1 = nullptr;
    // The image lists Large and Small as one picture: 32 x 32 for the
    // large-icon view, 16 x 16 for the others.
    QIcon EntryIcon;
    QMenu* pm = nullptr;
    QAction* LArgeIcons1 = nullptr;
    QAction* Small1 = nullptr;
    QAction* List1 = nullptr;
    QAction* Details1 = nullptr;
    QAction* ShowWelcome1 = nullptr;
    QAction* DialingOptions1 = nullptr;
    QAction* History1 = nullptr;
    QMenu* pmEntry = nullptr;
    QAction* EntryProperties1 = nullptr;
    QAction* EntryHistory1 = nullptr;

    // Every attempt is written here; notifications say what the line did.
    std::unique_ptr<vorn::ConnectionHistory> History;
    std::unique_ptr<vorn::Notifications> Notifier;

    // Title of the window whose appearance makes the tune play.
    QString PDTCaption;
    // Row for which the entry menu was last opened, or -1.
    int PopupEntry = -1;

    // Program-wide state: the window lives as long as the process.
    SortedNameList SelectedEntries;
    bool StopDialing = false;
    bool SkipEntry = false;
    QDateTime ConnectStart;
    qint32 ConnectedSeconds = 0;
    // The entry the next dialing run starts with; empty: the first.
    QString RedialFrom;
    // Format of the dial-up application's window title, one %s for the entry name.
    QString DialerTitleTemplate;

    // How the watcher threads are started: a tune watcher for the window
    // title and tune file, and a window hider for the title.
    std::function<void(const QString& caption, const QString& tune)> startTuneWatcher;
    std::function<void(const QString& title)> startWindowHider;

    // The installation initializer and how long start-up waits for the file it writes.
    QString InitializerPath;
    std::chrono::milliseconds InitializerWaitLimit { 30000 };

signals:
    // The window was closed by the user: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void connectHandlers();
    void alignPanels();
    void setPageGeometry(int page);
    void setViewStyle(QAction* ticked);
    bool checkHive();
    QString bootstrapPDTCaption();
    static std::optional<QByteArray> readPDTFile();
    QString storePDTCaption(const QByteArray& content);
    void abortStartup(const QString& message, const QString& title = {});
    void reportPhonebookError();
    // A bad stored value is read as its default and reported once.
    void reportBadValue(const QString& message);
    Variant readStored(const char* name);
    qint32 readSetting(const char* name, qint32 fallback);
    QString readTextSetting(const char* name);
    void writeSetting(const char* name, const Variant& value);
    void writePlayTune();
    void showStatus(const QString& text);
    // The dialing rules from the hive; a value that cannot be read is reported once.
    cycle::Rules readDialingRules();
    void countFailure(const QString& entry, int code);
    // After a broken line: dials the selection again when the rules say so.
    bool redialAfterBreak();
    // The engine's text for a failed attempt, never empty.
    QString failureText(int error);
    // The time since ConnectStart as hh:mm:ss.
    QString elapsedText() const;
    void hideToTray();
    // A desktop notification, unless "Notify" turns them off.
    void notifyUser(const QString& text);
    void offerHangUpWithoutTray();
    void reportStatisticsError(const QString& message);
    QString statisticsNotSaved(const ERegFileError& error) const;
    void showFromTray();

    std::shared_ptr<vorn::RemoteAccess> remoteAccess;
    vorn::Registry* hive;
    // The store's view of a hive that cannot be written.
    std::unique_ptr<vorn::Registry> readOnlyHive;
    QSet<QString> ReportedBadValues;
    int OuterWidth = 467;
    int OuterHeight = 322;
    bool StartupAborted = false;
    // A statistic that cannot be read or written is reported once per connection.
    bool StatisticsErrorShown = false;
    // The hive can be read but not written: statistics are not saved, as the
    // user was told at start-up.
    bool HiveReadOnly = false;
    // The connection's traffic at the last tick, where the backend counts it.
    bool TrafficKnown = false;
    qint64 BytesIn = 0;
    qint64 BytesOut = 0;
};
