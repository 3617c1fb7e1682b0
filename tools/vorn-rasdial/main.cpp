// vorn-rasdial: dials, lists and hangs up remote-access connections from the
// command line, in the manner of the platform's rasdial.
#include "Cycle.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/RemoteAccess.h"
#include "platform/sim/SimRemoteAccess.h"
#include "settings/History.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace vorn;

namespace
{

constexpr const char* Usage = R"(usage:
  vorn-rasdial                          list the active connections
  vorn-rasdial ENTRY [USER [PASSWORD]]  dial ENTRY, printing each step
      [/DOMAIN:DOMAIN] [/PHONE:NUMBER] [/CALLBACK:NUMBER] [/PHONEBOOK:FILE]
  vorn-rasdial ENTRY /DISCONNECT        hang ENTRY up
  vorn-rasdial --cycle ENTRY... [--rounds N] [--pause-limit SECONDS]
      [--policy KIND=ACTION[,KIND=ACTION...]] [/PHONEBOOK:FILE]
                                        dial the entries in turn until one connects
      KIND: line, device, account or other; ACTION: retry, drop or stop
Simulated service only:
  vorn-rasdial --drop ENTRY             break ENTRY's line as a faulty modem would
  vorn-rasdial --lines                  list every line, dialing ones included
  vorn-rasdial --reload                 read the phonebook again
)";

void print(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// The service's own text, which for an unreachable service says why.
void printError(RemoteAccess& service, std::uint32_t code)
{
    char buffer[ras::MaxError + 1] = {};
    service.errorString(code, buffer, ras::MaxError);
    const QString text = QString::fromUtf8(fieldText(buffer));
    print(QStringLiteral("Remote access error %1 - %2")
              .arg(code)
              .arg(text.isEmpty() ? QStringLiteral("unknown error") : text));
}

struct Options {
    QString entry;
    QString userName;
    QString password;
    QString domain;
    QString phoneNumber;
    QString callbackNumber;
    QString phonebook;
    bool disconnect = false;
    QString control; // --drop, --lines or --reload
};

// Reads the arguments; on a usage error returns what was wrong.
QString parse(const QStringList& args, Options* options)
{
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto is = [&arg](const char* name) { return arg.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0; };
        auto option = [&arg](const char* name, QString* value) {
            const QString prefix = QLatin1StringView(name);
            if (!arg.startsWith(prefix, Qt::CaseInsensitive))
                return false;
            *value = arg.mid(prefix.size());
            return true;
        };
        if (is("/DISCONNECT") || is("/D")) {
            options->disconnect = true;
        } else if (option("/PHONEBOOK:", &options->phonebook) || option("/DOMAIN:", &options->domain)
            || option("/PHONE:", &options->phoneNumber) || option("/CALLBACK:", &options->callbackNumber)) {
        } else if (is("--drop")) {
            if (i + 1 == args.size())
                return QStringLiteral("--drop needs an entry name");
            options->control = QStringLiteral("--drop");
            options->entry = args[++i];
        } else if (is("--lines") || is("--reload")) {
            options->control = arg.toLower();
        } else if (arg.startsWith(QLatin1Char('/')) || arg.startsWith(QLatin1Char('-'))) {
            return QStringLiteral("unknown option %1").arg(arg);
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() > 3)
        return QStringLiteral("too many arguments from %1 on").arg(positional[3]);
    if (options->disconnect && positional.isEmpty())
        return QStringLiteral("/DISCONNECT needs an entry name");
    if (options->disconnect && positional.size() > 1)
        return QStringLiteral("/DISCONNECT takes no user name or password (%1)").arg(positional[1]);
    if (!options->control.isEmpty() && !positional.isEmpty())
        return QStringLiteral("%1 takes no entry name (%2)").arg(options->control, positional[0]);
    if ((!positional.isEmpty() && positional[0].isEmpty())
        || (options->control == "--drop" && options->entry.isEmpty()))
        return QStringLiteral("the entry name is empty");
    options->entry = positional.value(0, options->entry);
    options->userName = positional.value(1);
    options->password = positional.value(2);
    return QString();
}

std::vector<RASCONN> activeConnections(RemoteAccess& service, std::uint32_t* result)
{
    std::vector<RASCONN> connections(4);
    for (;;) {
        auto bytes = static_cast<std::uint32_t>(connections.size() * sizeof(RASCONN));
        std::uint32_t count = 0;
        connections.assign(connections.size(), RASCONN {});
        connections[0].dwSize = sizeof(RASCONN);
        *result = service.enumConnections(connections.data(), &bytes, &count);
        if (*result == ras::BufferTooSmall) {
            connections.resize(count);
            continue;
        }
        connections.resize(*result == ras::Success ? count : 0);
        return connections;
    }
}

int listConnections(RemoteAccess& service)
{
    std::uint32_t result = 0;
    const auto connections = activeConnections(service, &result);
    if (result != ras::Success) {
        printError(service, result);
        return 1;
    }
    if (connections.empty()) {
        print(QStringLiteral("No connections"));
        return 0;
    }
    print(QStringLiteral("Connected to"));
    for (const auto& connection : connections)
        print(QString::fromUtf8(fieldText(connection.szEntryName)));
    print(QStringLiteral("Command completed successfully."));
    return 0;
}

int disconnect(RemoteAccess& service, const QString& entry)
{
    std::uint32_t result = 0;
    int hungUp = 0;
    for (const auto& connection : activeConnections(service, &result)) {
        if (QString::fromUtf8(fieldText(connection.szEntryName)).compare(entry, Qt::CaseInsensitive) != 0)
            continue;
        if (const auto code = service.hangUp(connection.hrasconn); code != ras::Success) {
            printError(service, code);
            return 1;
        }
        ++hungUp;
    }
    if (result != ras::Success) {
        printError(service, result);
        return 1;
    }
    if (hungUp == 0) {
        print(QStringLiteral("You are not connected to %1.").arg(entry));
        return 1;
    }
    print(QStringLiteral("Command completed successfully."));
    return 0;
}

// Prints each progress notification of one dial and ends the program with its outcome.
class DialProgress : public QObject
{
public:
    DialProgress(RemoteAccess& service, QString entry, ConnectionHistory& history)
        : service_(service)
        , entry_(std::move(entry))
        , history_(history)
    {
    }
    RasHandle handle = 0;

protected:
    bool event(QEvent* event) override
    {
        const auto* progress = dynamic_cast<RasDialEvent*>(event);
        if (progress == nullptr)
            return QObject::event(event);
        if (progress->error != 0) {
            printError(service_, progress->error);
            history_.ended(ConnectionHistory::Outcome::Failed, progress->error, rasErrorText(progress->error));
            service_.hangUp(handle);
            QCoreApplication::exit(1);
        } else {
            print(stateText(progress->state));
            if (progress->state == ras::Connected) {
                // The line outlives this program: its row ends here.
                history_.connected();
                QCoreApplication::exit(0);
            }
        }
        return true;
    }

private:
    QString stateText(std::uint32_t state)
    {
        switch (state) {
        case ras::OpenPort:
            return QStringLiteral("Opening port...");
        case ras::PortOpened:
            return QStringLiteral("Port opened.");
        case ras::ConnectDevice: {
            RASCONNSTATUS status {};
            status.dwSize = sizeof status;
            service_.connectStatus(handle, &status);
            return QStringLiteral("Connecting device %1 (%2)...")
                .arg(QString::fromUtf8(fieldText(status.szDeviceName)),
                    QString::fromUtf8(fieldText(status.szDeviceType)));
        }
        case ras::DeviceConnected:
            return QStringLiteral("Device connected.");
        case ras::AllDevicesConnected:
            return QStringLiteral("All devices connected.");
        case ras::Authenticate:
            return QStringLiteral("Verifying user name and password...");
        case ras::Authenticated:
            return QStringLiteral("Authenticated.");
        case ras::Connected:
            return QStringLiteral("Connected to %1.").arg(entry_);
        default:
            return QStringLiteral("State %1.").arg(state);
        }
    }

    RemoteAccess& service_;
    QString entry_;
    ConnectionHistory& history_;
};

int dial(RemoteAccess& service, const Options& options)
{
    std::uint32_t result = 0;
    const auto connections = activeConnections(service, &result);
    if (result == ras::ServiceUnavailable) {
        printError(service, result);
        return 1;
    }
    for (const auto& connection : connections) {
        if (QString::fromUtf8(fieldText(connection.szEntryName)).compare(options.entry, Qt::CaseInsensitive) == 0) {
            print(QStringLiteral("You are already connected to %1.").arg(options.entry));
            return 0;
        }
    }

    RASDIALPARAMS params {};
    params.dwSize = sizeof params;
    copyToField(params.szEntryName, options.entry.toUtf8());
    copyToField(params.szPhoneNumber, options.phoneNumber.toUtf8());
    copyToField(params.szCallbackNumber, options.callbackNumber.toUtf8());
    copyToField(params.szUserName, options.userName.toUtf8());
    copyToField(params.szPassword, options.password.toUtf8());
    copyToField(params.szDomain, options.domain.toUtf8());

    print(QStringLiteral("Connecting to %1...").arg(options.entry));
    ConnectionHistory history(paths::historyFile(), platform::remoteAccessName());
    history.started(options.entry);
    DialProgress progress(service, options.entry, history);
    const QByteArray phonebook = options.phonebook.toUtf8();
    result = service.dial(phonebook.isEmpty() ? nullptr : phonebook.constData(), params, &progress, &progress.handle);
    if (result != ras::Success) {
        printError(service, result);
        history.ended(ConnectionHistory::Outcome::Failed, result, rasErrorText(result));
        if (progress.handle != 0)
            service.hangUp(progress.handle);
        return 1;
    }
    return QCoreApplication::exec();
}

int control(RemoteAccess& service, const Options& options)
{
    auto* simulated = dynamic_cast<sim::SimRemoteAccess*>(&service);
    if (simulated == nullptr) {
        print(QStringLiteral("%1 works with the simulated dial-up service only.").arg(options.control));
        return 1;
    }
    sim::Request request;
    request.op = options.control == QLatin1StringView("--drop") ? sim::Op::Drop
        : options.control == QLatin1StringView("--lines")       ? sim::Op::Lines
                                                                : sim::Op::Reload;
    request.entry = options.entry;
    const auto answer = simulated->call(request);
    if (!answer) {
        printError(service, ras::ServiceUnavailable);
        return 1;
    }
    for (const auto& line : answer->lines) {
        print(QStringLiteral("%1\t%2\tstate %3\terror %4\t%5 (%6)")
                  .arg(line.handle)
                  .arg(line.entry)
                  .arg(line.state)
                  .arg(line.error)
                  .arg(line.deviceName, line.deviceType));
    }
    for (const auto& warning : answer->warnings)
        print(warning);
    if (answer->result != ras::Success) {
        print(answer->message.isEmpty() ? rasErrorText(answer->result) : answer->message);
        return 1;
    }
    print(QStringLiteral("Command completed successfully."));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (std::any_of(args.cbegin(), args.cend(),
            [](const QString& arg) { return arg.compare(QLatin1StringView("--help"), Qt::CaseInsensitive) == 0; })) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (const qsizetype at = args.indexOf(QLatin1StringView("--cycle")); at >= 0) {
        args.removeAt(at);
        if (const auto cycle = parseCycle(args))
            return cycleEntries(*platform::remoteAccess(), *cycle);
        std::fprintf(stderr, "vorn-rasdial: wrong use of --cycle\n%s", Usage);
        return 2;
    }
    Options options;
    if (const QString wrong = parse(args, &options); !wrong.isEmpty()) {
        std::fprintf(stderr, "vorn-rasdial: %s\n%s", qPrintable(wrong), Usage);
        return 2;
    }
    const auto service = platform::remoteAccess();
    if (!options.control.isEmpty())
        return control(*service, options);
    if (options.entry.isEmpty())
        return listConnections(*service);
    if (options.disconnect)
        return disconnect(*service, options.entry);
    return dial(*service, options);
}
