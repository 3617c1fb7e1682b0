// vorn-demo: one scripted dial of the sample phonebook on the current
// display, printing each step; the run command uses it where no desktop is.
#include "app/WizardLog.h"
#include "demo/WizardDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cstdio>

using namespace std::chrono_literals;
using vorn::demo::WizardDriver;
namespace line = vorn::wizardlog;

namespace
{

void say(const QString& text)
{
    std::printf("vorn-demo: %s\n", qPrintable(text));
    std::fflush(stdout);
}

int fail(const QString& text)
{
    say(QStringLiteral("FAILED: ") + text);
    return 1;
}

QString unquoted(QString text)
{
    return text.remove(QLatin1Char('"'));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString shots = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(shots);
    auto shoot = [&](const QString& window, const QString& name) {
        const QString file = shots + QLatin1Char('/') + name + QStringLiteral(".png");
        vorn::test::runProgram(QStringLiteral("import"), { QStringLiteral("-window"), window, file });
        say(QStringLiteral("  screenshot %1").arg(file));
    };

    QFile sample(vorn::test::sourcePath(QStringLiteral("resources/rasphone.pbk")));
    if (!sample.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("no sample phonebook"));
    WizardDriver wizard(sample.readAll());

    say(QStringLiteral("starting the wizard on the sample phonebook, ticking every entry, Next to the dialing page"));
    if (!wizard.startDialing())
        return fail(QStringLiteral("the wizard did not reach its dialing page"));

    bool shotDialing = false;
    for (int next = 0;; ++next) {
        if (!vorn::test::waitUntil([&] { return wizard.logSize() > next; }, 30s))
            return fail(QStringLiteral("no connection within 30 s"));
        const QString text = wizard.log().at(next).text;
        if (text.startsWith(QLatin1String(line::Connected)))
            break;
        const QString word = text.section(QLatin1Char(' '), 0, 0);
        const QString rest = unquoted(text.section(QLatin1Char(' '), 1));
        if (word == QLatin1String(line::Attempt))
            say(QStringLiteral("dialing %1").arg(rest));
        else if (word == QLatin1String(line::Status) && !rest.isEmpty())
            say(QStringLiteral("  %1").arg(rest));
        if (!shotDialing && word == QLatin1String(line::Status)) {
            shotDialing = true;
            shoot(wizard.mainWindow, QStringLiteral("dialing"));
        }
    }
    const auto connected = wizard.waitForLog(QLatin1String(line::Connected), 0ms);
    say(QStringLiteral("connected to %1: the window hides in the tray")
            .arg(unquoted(connected->text.section(QLatin1Char(' '), 1))));
    if (!vorn::test::waitUntil([&] { return !wizard.trayIcon().isEmpty(); }, 10s))
        return fail(QStringLiteral("no tray icon"));
    if (const auto tip = wizard.waitForLog(QLatin1String(line::Tick) + QStringLiteral(" 2 "), 5s))
        say(QStringLiteral("  tray tip: %1").arg(unquoted(tip->text.section(QLatin1Char(' '), 2))));
    shoot(QStringLiteral("root"), QStringLiteral("connected-tray"));

    say(QStringLiteral("Disconnect from the tray menu"));
    if (!wizard.disconnectFromTrayMenu())
        return fail(QStringLiteral("the tray menu did not disconnect"));
    say(QStringLiteral("disconnected: back on the entry selection page with the new statistics"));
    QThread::msleep(500);
    shoot(wizard.mainWindow, QStringLiteral("after-disconnect"));
    wizard.click(vorn::demo::positions::close);
    vorn::test::waitUntil([&] { return !wizard.running(); }, 5s);
    say(QStringLiteral("done; screenshots in %1").arg(shots));
    return 0;
}
