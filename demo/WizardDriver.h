#pragma once

#include "demo/Positions.h"
#include "support/TestSupport.h"

#include <QList>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <optional>

namespace vorn::demo
{

// A phonebook section of the simulated service for `name`, dialing with these
// comma-separated outcomes on a quick test modem.
QByteArray phonebookEntry(const char* name, const char* outcomes);

// The real program on the current display, with a simulated dial-up service,
// a hive, a phonebook and a working folder of its own, driven by real X
// clicks and keys (xdotool). The program reports what cannot be seen from
// outside through its "vorn.wizard" debug log (app/WizardLog.h names its
// lines), which the driver collects.
class WizardDriver
{
public:
    // One line of the program's log, stamped with the program's own clock.
    struct LogLine {
        double seconds;
        QString text;
    };

    enum class Backend { Simulated, NetworkManager };

    // `phonebook`: the simulated service's phonebook text, which the driver
    // starts; NetworkManager is the one already running, with its profiles.
    explicit WizardDriver(const QByteArray& phonebook, Backend backend = Backend::Simulated);
    ~WizardDriver();

    // Starts the program and waits for its window.
    bool start();
    // Start, then every entry ticked and the pages walked to dialing.
    bool startDialing();
    // Clicks Next until the page with this index has been shown.
    bool next(int page);
    bool running() const { return wizard.state() != QProcess::NotRunning; }
    qint64 processId() const { return wizard.processId(); }
    QString folder() const { return dir.path(); }

    // The first shown window of the program (of its dial-up service) whose
    // title matches `pattern`, waiting up to `timeout`; empty when none came.
    QString window(const QString& pattern, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    QString serviceWindow(const QString& pattern, std::chrono::milliseconds timeout = {}) const;
    // Clicks at client coordinates of the wizard's window.
    void click(QPoint at, int button = 1);
    // Presses `keys` in the focused window, or in `toWindow` after activating it.
    static void keys(const QStringList& keys, const QString& toWindow = {});

    // Waits until a log line starts with `prefix` (after the first `after`
    // lines), and returns it.
    std::optional<LogLine> waitForLog(
        const QString& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10), int after = 0);
    QList<LogLine> log(const QString& prefix = {});
    int logSize();

    // The values under the entry's key ("" for the program key), as
    // exported, read at one moment; dwords in decimal.
    QMap<QString, QString> stored(const QString& entry) const;
    // The program's tray icon on the screen; empty while there is none.
    QRect trayIcon() const;
    // Right-clicks the tray icon and chooses Disconnect; whether the selection page followed.
    bool disconnectFromTrayMenu();
    // A click at screen coordinates.
    static void clickAt(QPoint at, int button = 1);
    void importRegistry(const QByteArray& regText) const;
    // Writes half a second of tone and stores it as the tune (the tune page
    // then turns "PlayTune" on), with `moreRegText` beside it.
    bool chooseTune(const QByteArray& moreRegText = {}) const;
    // vorn-rasdial with these arguments; its standard output.
    static QByteArray rasdial(const QStringList& args);

    QString mainWindow;

private:
    void readLog();

    QTemporaryDir dir;
    std::unique_ptr<test::ServiceProcess> service;
    QProcess wizard;
    QList<LogLine> lines;
    QByteArray pending;
};

} // namespace vorn::demo
