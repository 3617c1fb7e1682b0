#include "demo/WizardDriver.h"

#include "app/WizardLog.h"
#include "support/ToneFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <sndfile.h>

namespace vorn::demo
{

using test::binPath;
using test::runProgram;
using test::waitUntil;

namespace
{

QByteArray xdotool(const QStringList& args)
{
    return runProgram(QStringLiteral("xdotool"), args, 10000).out.trimmed();
}

QString programKey(const QString& entry)
{
    QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ");
    return entry.isEmpty() ? key : key + QLatin1Char('\\') + entry;
}

} // namespace

QByteArray phonebookEntry(const char* name, const char* outcomes)
{
    return QByteArray("[") + name + "]\nDevice=Test Modem\nOutcomes=" + outcomes + "\nStepDelay=20\n\n";
}

WizardDriver::WizardDriver(const QByteArray& phonebook, Backend backend)
{
    QDir(dir.path()).mkpath(QStringLiteral("config/vorn95"));
    QFile book(dir.filePath(QStringLiteral("config/vorn95/rasphone.pbk")));
    if (book.open(QIODevice::WriteOnly))
        book.write(phonebook);
    QFile pdt(dir.filePath(QStringLiteral("vorninfo.pdt")));
    if (pdt.open(QIODevice::WriteOnly))
        pdt.write("Connection Established\n");

    // The tools the test runs find the same hive and service.
    qputenv("VORN_REGISTRY", dir.filePath(QStringLiteral("registry.db")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    if (backend == Backend::NetworkManager) {
        qputenv("VORN_RAS", "nm");
        return;
    }
    qputenv("VORN_RAS", "sim");
    service = std::make_unique<test::ServiceProcess>(dir.path());
    service->start();
    qputenv("VORN_DIALUP_SOCKET", service->socketPath().toLocal8Bit());
}

WizardDriver::~WizardDriver()
{
    if (wizard.state() != QProcess::NotRunning) {
        wizard.terminate();
        if (!wizard.waitForFinished(3000)) {
            wizard.kill();
            wizard.waitForFinished();
        }
    }
}

bool WizardDriver::start()
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vorn.wizard.debug=true"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time process} %{category} %{message}"));
    wizard.setProcessEnvironment(env);
    wizard.setWorkingDirectory(dir.path());
    QObject::connect(&wizard, &QProcess::readyReadStandardError, [this] { readLog(); });
    wizard.start(binPath(QStringLiteral("vorn95")), {});
    if (!wizard.waitForStarted(5000))
        return false;
    mainWindow = window(QStringLiteral("^VORN95 Wizard"));
    return !mainWindow.isEmpty();
}

bool WizardDriver::startDialing()
{
    if (!start())
        return false;
    if (!next(1))
        return false;
    keys({ QStringLiteral("ctrl+a") }, mainWindow);
    for (const int page : { 2, 3, 4 }) {
        if (!next(page))
            return false;
    }
    return true;
}

bool WizardDriver::next(int page)
{
    // The program logs every page it shows, so a page that is gone again at
    // once (a quick connect leaves the dialing page) still counts. A click
    // that comes before a busy program's window takes input is lost: give it
    // again while the page has not come.
    const QString shown = QStringLiteral("%1 %2").arg(QLatin1String(wizardlog::Page)).arg(page);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int before = logSize();
        click(positions::next);
        if (waitForLog(shown, std::chrono::seconds(8), before))
            return true;
    }
    return false;
}

QString WizardDriver::window(const QString& pattern, std::chrono::milliseconds timeout) const
{
    return test::findWindow(pattern, wizard.processId(), timeout);
}

QString WizardDriver::serviceWindow(const QString& pattern, std::chrono::milliseconds timeout) const
{
    return service ? test::findWindow(pattern, service->processId(), timeout) : QString();
}

void WizardDriver::click(QPoint at, int button)
{
    // Raised first, so that no other window on the desktop takes the click.
    xdotool({ QStringLiteral("windowactivate"), QStringLiteral("--sync"), mainWindow, QStringLiteral("mousemove"),
        QStringLiteral("--window"), mainWindow, QString::number(at.x()), QString::number(at.y()),
        QStringLiteral("click"), QString::number(button) });
}

void WizardDriver::keys(const QStringList& keys, const QString& toWindow)
{
    // Keys go to the focused window; a window just mapped may not have the focus yet.
    QStringList args;
    if (!toWindow.isEmpty())
        args << QStringLiteral("windowactivate") << QStringLiteral("--sync") << toWindow;
    xdotool(args + QStringList { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100") } + keys);
}

void WizardDriver::readLog()
{
    pending += wizard.readAllStandardError();
    static const QRegularExpression line(QStringLiteral("^\\s*([0-9.]+) vorn\\.wizard (.*)$"));
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QString text = QString::fromUtf8(pending.left(end));
        pending.remove(0, end + 1);
        if (const auto match = line.match(text); match.hasMatch())
            lines.append({ match.captured(1).toDouble(), match.captured(2) });
    }
}

std::optional<WizardDriver::LogLine> WizardDriver::waitForLog(
    const QString& prefix, std::chrono::milliseconds timeout, int after)
{
    std::optional<LogLine> found;
    waitUntil(
        [&] {
            for (qsizetype i = after; i < lines.size(); ++i) {
                if (lines[i].text.startsWith(prefix)) {
                    found = lines[i];
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

QList<WizardDriver::LogLine> WizardDriver::log(const QString& prefix)
{
    QCoreApplication::processEvents();
    QList<LogLine> matching;
    for (const auto& entry : lines)
        if (entry.text.startsWith(prefix))
            matching.append(entry);
    return matching;
}

int WizardDriver::logSize()
{
    QCoreApplication::processEvents();
    return int(lines.size());
}

QMap<QString, QString> WizardDriver::stored(const QString& entry) const
{
    const QByteArray exported
        = runProgram(binPath(QStringLiteral("vorn-reg")), { QStringLiteral("export"), programKey(entry) }).out;
    static const QRegularExpression value(QStringLiteral("^\"([^\"]*)\"=(?:dword:([0-9a-f]+)|\"(.*)\")$"));
    QMap<QString, QString> values;
    bool inKey = false;
    for (const QByteArray& raw : exported.split('\n')) {
        const QString text = QString::fromUtf8(raw).trimmed();
        if (text.startsWith(QLatin1Char('[')))
            inKey = text == QLatin1Char('[') + programKey(entry) + QLatin1Char(']');
        else if (const auto match = value.match(text); inKey && match.hasMatch())
            values[match.captured(1)] = match.hasCaptured(2) && !match.captured(2).isEmpty()
                ? QString::number(match.captured(2).toUInt(nullptr, 16))
                : match.captured(3);
    }
    return values;
}

QRect WizardDriver::trayIcon() const
{
    const QByteArray found = xdotool(
        { QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(wizard.processId()), QStringLiteral("--classname"), QStringLiteral("vorn95") });
    if (found.isEmpty() || found.contains('\n'))
        return {};
    QMap<QByteArray, int> geometry;
    for (const QByteArray& line :
        xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(found) })
            .split('\n')) {
        const auto parts = line.split('=');
        if (parts.size() == 2)
            geometry[parts[0]] = parts[1].toInt();
    }
    const QRect icon(geometry.value("X"), geometry.value("Y"), geometry.value("WIDTH"), geometry.value("HEIGHT"));
    // Anything bigger is a window of the program, not its icon.
    return icon.width() <= 64 && icon.height() <= 64 ? icon : QRect();
}

bool WizardDriver::disconnectFromTrayMenu()
{
    const int before = logSize();
    // On a busy machine the keys can come before the menu is up; a missed
    // try is closed and repeated, waiting longer each time.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const QRect icon = trayIcon();
        if (icon.isEmpty())
            return false;
        clickAt(icon.center(), 3);
        QThread::msleep(300 * attempt);
        // The menu: Info, a separator, Disconnect, last.
        keys({ QStringLiteral("Up"), QStringLiteral("Return") });
        if (waitForLog(QLatin1String(wizardlog::Page) + QStringLiteral(" 1"), std::chrono::seconds(3), before))
            return true;
        keys({ QStringLiteral("Escape") });
    }
    return false;
}

void WizardDriver::clickAt(QPoint at, int button)
{
    xdotool({ QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
        QString::number(button) });
}

void WizardDriver::importRegistry(const QByteArray& regText) const
{
    const QString path = dir.filePath(QStringLiteral("import.reg"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("REGEDIT4\n\n" + regText);
    file.close();
    runProgram(binPath(QStringLiteral("vorn-reg")), { QStringLiteral("import"), path });
}

bool WizardDriver::chooseTune(const QByteArray& moreRegText) const
{
    const QString tune = dir.filePath(QStringLiteral("tune.wav"));
    if (!test::writeTone(tune, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5))
        return false;
    importRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ]\n\"Tune\"=\"" + tune.toUtf8() + "\"\n\n" + moreRegText);
    return true;
}

QByteArray WizardDriver::rasdial(const QStringList& args)
{
    return runProgram(binPath(QStringLiteral("vorn-rasdial")), args).out;
}

} // namespace vorn::demo
