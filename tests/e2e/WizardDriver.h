#pragma once

#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <optional>

namespace vorn::test
{

// The real program on the current display, with a simulated dial-up service,
// a hive, a phonebook and a working folder of its own, driven by real X
// clicks and keys (xdotool). The program reports what cannot be seen from
// outside through its "vorn.wizard" debug log, which the driver collects.
class WizardDriver
{
public:
    // One line of the program's log, stamped with the program's own clock.
    struct LogLine {
        double seconds;
        QString text;
    };

    // Client coordinates of the controls the driver clicks.
    static constexpr QPoint NextButton { 326, 272 };
    static constexpr QPoint CloseButton { 417, 272 };
    static constexpr QPoint SkipButton { 193, 159 };
    static constexpr QPoint AbortButton { 281, 159 };

    // `phonebook`: the service's phonebook text; `tune`: the tune file to
    // choose on the tune page (none when empty). Starts the service.
    WizardDriver(const QByteArray& phonebook, const QString& tune = {});
    ~WizardDriver();

    // Starts the program and waits for its window.
    bool start();
    // Start, then every selected (all) entry ticked and the pages walked to dialing.
    bool startDialing();
    bool running() const { return wizard.state() != QProcess::NotRunning; }
    qint64 processId() const { return wizard.processId(); }
    QString folder() const { return dir.path(); }

    // The first visible window whose title matches `pattern` (a regular
    // expression), waiting up to `timeout`; empty when none came.
    static QString window(const QString& pattern, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    static bool windowVisible(const QString& pattern);
    // Clicks at client coordinates of the wizard's window.
    void click(QPoint at, int button = 1);
    static void keys(const QStringList& keys);

    // Waits until a log line starts with `prefix`, and returns it.
    std::optional<LogLine> waitForLog(
        const QString& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10), int after = 0);
    QList<LogLine> log(const QString& prefix = {});
    int logSize();

    // The values under the entry's key ("" for the program key), as
    // exported, read at one moment; dwords in decimal.
    QMap<QString, QString> stored(const QString& entry) const;
    // The wizard's tray icon on the screen; empty while there is none. Only
    // while the main window is hidden.
    static QRect trayIcon();
    // A click at screen coordinates.
    static void clickAt(QPoint at, int button = 1);
    void importRegistry(const QByteArray& regText) const;
    // vorn-rasdial with these arguments; its standard output.
    static QByteArray rasdial(const QStringList& args);

    QString mainWindow;

private:
    void readLog();

    QTemporaryDir dir;
    QProcess service;
    QProcess wizard;
    QList<LogLine> lines;
    QByteArray pending;
    QString tuneFile;
};

} // namespace vorn::test
