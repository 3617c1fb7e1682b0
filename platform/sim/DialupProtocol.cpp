#include "platform/sim/DialupProtocol.h"

#include "platform/Paths.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace vorn::sim
{

namespace
{

// Longest text a request field may carry; the records cut far shorter.
constexpr qsizetype MaxFieldChars = 1024;

struct OpName {
    Op op;
    QLatin1StringView name;
};
constexpr OpName opNames[] = {
    { Op::Entries, QLatin1StringView("entries") },
    { Op::Connections, QLatin1StringView("connections") },
    { Op::Dial, QLatin1StringView("dial") },
    { Op::HangUp, QLatin1StringView("hangup") },
    { Op::Status, QLatin1StringView("status") },
    { Op::Lines, QLatin1StringView("lines") },
    { Op::Drop, QLatin1StringView("drop") },
    { Op::Reload, QLatin1StringView("reload") },
};

QByteArray toLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> parseObject(const QByteArray& line, qsizetype maxBytes, QString* error)
{
    if (line.size() > maxBytes) {
        *error = QStringLiteral("message too long");
        return std::nullopt;
    }
    QJsonParseError parseError {};
    const auto document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    return document.object();
}

// A JSON number that is a whole value in [min, max].
std::optional<qint64> wholeNumber(const QJsonValue& value, double min, double max)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= min && number <= max) || number != static_cast<double>(static_cast<qint64>(number)))
        return std::nullopt;
    return static_cast<qint64>(number);
}

constexpr double MaxUint32 = 4294967295.0;
constexpr double MaxSafeInteger = 9007199254740991.0; // 2^53 - 1, exact in a JSON number

// Reads the optional text field `key` into *out; false when it is of the wrong kind or too long.
bool readText(const QJsonObject& object, const char* key, QString* out)
{
    const auto value = object.value(QLatin1StringView(key));
    if (value.isUndefined())
        return true;
    if (!value.isString() || value.toString().size() > MaxFieldChars)
        return false;
    *out = value.toString();
    return true;
}

QJsonObject lineToJson(const LineInfo& line)
{
    return QJsonObject {
        { QStringLiteral("handle"), double(line.handle) },
        { QStringLiteral("entry"), line.entry },
        { QStringLiteral("deviceType"), line.deviceType },
        { QStringLiteral("deviceName"), line.deviceName },
        { QStringLiteral("state"), double(line.state) },
        { QStringLiteral("error"), double(line.error) },
        { QStringLiteral("bytesIn"), double(line.bytesIn) },
        { QStringLiteral("bytesOut"), double(line.bytesOut) },
    };
}

std::optional<LineInfo> lineFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const auto object = value.toObject();
    LineInfo line;
    const auto handle = wholeNumber(object.value(QLatin1StringView("handle")), 0, MaxUint32);
    const auto state = wholeNumber(object.value(QLatin1StringView("state")), 0, MaxUint32);
    const auto error = wholeNumber(object.value(QLatin1StringView("error")), 0, MaxUint32);
    if (!handle || !state || !error || !readText(object, "entry", &line.entry)
        || !readText(object, "deviceType", &line.deviceType) || !readText(object, "deviceName", &line.deviceName))
        return std::nullopt;
    line.handle = static_cast<RasHandle>(*handle);
    line.state = static_cast<std::uint32_t>(*state);
    line.error = static_cast<std::uint32_t>(*error);
    // Optional: older services send no traffic.
    for (auto [key, out] : { std::pair { "bytesIn", &line.bytesIn }, std::pair { "bytesOut", &line.bytesOut } }) {
        const QJsonValue bytes = object.value(QLatin1StringView(key));
        if (bytes.isUndefined())
            continue;
        const auto number = wholeNumber(bytes, 0, MaxSafeInteger);
        if (!number)
            return std::nullopt;
        *out = *number;
    }
    return line;
}

std::optional<QList<LineInfo>> lineList(const QJsonValue& value)
{
    if (value.isUndefined())
        return QList<LineInfo>();
    if (!value.isArray())
        return std::nullopt;
    QList<LineInfo> lines;
    for (const auto& item : value.toArray()) {
        const auto parsed = lineFromJson(item);
        if (!parsed)
            return std::nullopt;
        lines.append(*parsed);
    }
    return lines;
}

std::optional<QStringList> textList(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringList();
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const auto& item : value.toArray()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

} // namespace

QString socketPath()
{
    const QString explicitPath = qEnvironmentVariable("VORN_DIALUP_SOCKET");
    if (!explicitPath.isEmpty())
        return explicitPath;
    return paths::runtimeDir() + QStringLiteral("/dialup.sock");
}

QList<SocketFolder> socketFolders(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (folder != QFileInfo(paths::runtimeDir()).absoluteFilePath())
        return { SocketFolder { folder, false } };
    QList<SocketFolder> folders;
    for (const QString& runtime : paths::runtimeFolders())
        folders.append(SocketFolder { runtime, true });
    return folders;
}

QString socketFolderProblem(const QString& path)
{
    for (const auto& folder : socketFolders(path)) {
        if (QString problem = paths::folderProblem(folder.path, folder.mustBePrivate); !problem.isEmpty())
            return problem;
    }
    return QString();
}

QByteArray encodeRequest(const Request& request)
{
    QJsonObject object { { QStringLiteral("id"), double(request.id) } };
    for (const auto& entry : opNames) {
        if (entry.op == request.op)
            object.insert(QStringLiteral("op"), QString(entry.name));
    }
    auto putText = [&object](const char* key, const QString& text) {
        if (!text.isEmpty())
            object.insert(QLatin1StringView(key), text);
    };
    putText("phonebook", request.phonebook);
    putText("entry", request.entry);
    putText("phoneNumber", request.phoneNumber);
    putText("callbackNumber", request.callbackNumber);
    putText("userName", request.userName);
    putText("password", request.password);
    putText("domain", request.domain);
    if (request.handle != 0)
        object.insert(QStringLiteral("handle"), double(request.handle));
    return toLine(object);
}

std::variant<Request, ParseError> parseRequest(const QByteArray& line)
{
    QString error;
    const auto object = parseObject(line, MaxRequestBytes, &error);
    if (!object)
        return ParseError { error };

    Request request;
    const auto id = object->value(QLatin1StringView("id"));
    if (!id.isUndefined()) {
        const auto number = wholeNumber(id, 0, 9007199254740991.0);
        if (!number)
            return ParseError { QStringLiteral("bad id") };
        request.id = *number;
    }
    const auto op = object->value(QLatin1StringView("op")).toString();
    const auto* known
        = std::find_if(std::begin(opNames), std::end(opNames), [&op](const OpName& entry) { return entry.name == op; });
    if (known == std::end(opNames))
        return ParseError { QStringLiteral("unknown request") };
    request.op = known->op;

    if (!readText(*object, "phonebook", &request.phonebook) || !readText(*object, "entry", &request.entry)
        || !readText(*object, "phoneNumber", &request.phoneNumber)
        || !readText(*object, "callbackNumber", &request.callbackNumber)
        || !readText(*object, "userName", &request.userName) || !readText(*object, "password", &request.password)
        || !readText(*object, "domain", &request.domain))
        return ParseError { QStringLiteral("bad text field") };

    const auto handle = object->value(QLatin1StringView("handle"));
    if (!handle.isUndefined()) {
        const auto number = wholeNumber(handle, 0, MaxUint32);
        if (!number)
            return ParseError { QStringLiteral("bad handle") };
        request.handle = static_cast<RasHandle>(*number);
    }
    if (request.op == Op::Dial && request.entry.isEmpty())
        return ParseError { QStringLiteral("dial needs an entry") };
    if (request.op == Op::Drop && request.entry.isEmpty() && request.handle == 0)
        return ParseError { QStringLiteral("drop needs an entry or a handle") };
    return request;
}

QByteArray encodeAnswer(const Answer& answer)
{
    QJsonObject object {
        { QStringLiteral("re"), double(answer.id) },
        { QStringLiteral("result"), double(answer.result) },
    };
    if (!answer.message.isEmpty())
        object.insert(QStringLiteral("message"), answer.message);
    if (answer.handle != 0)
        object.insert(QStringLiteral("handle"), double(answer.handle));
    if (!answer.entries.isEmpty())
        object.insert(QStringLiteral("entries"), QJsonArray::fromStringList(answer.entries));
    if (!answer.lines.isEmpty()) {
        QJsonArray lines;
        for (const auto& line : answer.lines)
            lines.append(lineToJson(line));
        object.insert(QStringLiteral("lines"), lines);
    }
    if (answer.status.handle != 0)
        object.insert(QStringLiteral("status"), lineToJson(answer.status));
    if (!answer.warnings.isEmpty())
        object.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(answer.warnings));
    return toLine(object);
}

QByteArray encodeNotification(const Notification& notification)
{
    return toLine(QJsonObject {
        { QStringLiteral("event"), QStringLiteral("dial") },
        { QStringLiteral("handle"), double(notification.handle) },
        { QStringLiteral("state"), double(notification.state) },
        { QStringLiteral("error"), double(notification.error) },
    });
}

QByteArray encodeConnectionsUpdate(const ConnectionsUpdate& update)
{
    QJsonArray lines;
    for (const auto& line : update.lines)
        lines.append(lineToJson(line));
    return toLine(QJsonObject {
        { QStringLiteral("event"), QStringLiteral("connections") },
        { QStringLiteral("lines"), lines },
    });
}

std::variant<Answer, Notification, ConnectionsUpdate, ParseError> parseServiceMessage(const QByteArray& line)
{
    QString error;
    const auto object = parseObject(line, MaxServiceMessageBytes, &error);
    if (!object)
        return ParseError { error };

    if (object->value(QLatin1StringView("event")) == QLatin1StringView("connections")) {
        const auto lines = lineList(object->value(QLatin1StringView("lines")));
        if (!lines)
            return ParseError { QStringLiteral("bad connections") };
        return ConnectionsUpdate { *lines };
    }
    if (object->contains(QLatin1StringView("event"))) {
        const auto handle = wholeNumber(object->value(QLatin1StringView("handle")), 1, MaxUint32);
        const auto state = wholeNumber(object->value(QLatin1StringView("state")), 0, MaxUint32);
        const auto code = wholeNumber(object->value(QLatin1StringView("error")), 0, MaxUint32);
        if (!handle || !state || !code)
            return ParseError { QStringLiteral("bad notification") };
        return Notification { static_cast<RasHandle>(*handle), static_cast<std::uint32_t>(*state),
            static_cast<std::uint32_t>(*code) };
    }

    Answer answer;
    const auto id = wholeNumber(object->value(QLatin1StringView("re")), 0, 9007199254740991.0);
    const auto result = wholeNumber(object->value(QLatin1StringView("result")), 0, MaxUint32);
    const auto handle = object->contains(QLatin1StringView("handle"))
        ? wholeNumber(object->value(QLatin1StringView("handle")), 0, MaxUint32)
        : std::optional<qint64>(0);
    const auto entries = textList(object->value(QLatin1StringView("entries")));
    const auto warnings = textList(object->value(QLatin1StringView("warnings")));
    if (!id || !result || !handle || !entries || !warnings || !readText(*object, "message", &answer.message))
        return ParseError { QStringLiteral("bad answer") };
    answer.id = *id;
    answer.result = static_cast<std::uint32_t>(*result);
    answer.handle = static_cast<RasHandle>(*handle);
    answer.entries = *entries;
    answer.warnings = *warnings;

    const auto lines = lineList(object->value(QLatin1StringView("lines")));
    if (!lines)
        return ParseError { QStringLiteral("bad lines") };
    answer.lines = *lines;
    const auto status = object->value(QLatin1StringView("status"));
    if (!status.isUndefined()) {
        const auto parsed = lineFromJson(status);
        if (!parsed)
            return ParseError { QStringLiteral("bad status") };
        answer.status = *parsed;
    }
    return answer;
}

Answer errorAnswer(qint64 id, const QString& message)
{
    Answer answer;
    answer.id = id;
    answer.result = ras::InvalidParameter;
    answer.message = message;
    return answer;
}

} // namespace vorn::sim
