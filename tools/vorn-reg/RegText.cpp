#include "RegText.h"

namespace vorn::regtext
{

namespace
{

constexpr int WrapColumn = 76;

struct RootAlias {
    const char* name;
    HKEY root;
};
constexpr RootAlias RootAliases[]
    = { { "HKCR", reg::HKEY_CLASSES_ROOT }, { "HKCU", reg::HKEY_CURRENT_USER }, { "HKLM", reg::HKEY_LOCAL_MACHINE },
          { "HKU", reg::HKEY_USERS }, { "HKCC", reg::HKEY_CURRENT_CONFIG }, { "HKDD", reg::HKEY_DYN_DATA } };

bool hasLineBreak(const QByteArray& text)
{
    return text.contains('\n') || text.contains('\r');
}

QByteArray quoted(const QByteArray& text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Reads a quoted text starting at `pos` (on the opening quote); on success
// `pos` is just past the closing quote.
bool readQuoted(const QByteArray& line, qsizetype& pos, QByteArray& text)
{
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos == line.size())
                return false;
            c = line[pos];
        }
        text += c;
    }
    return false;
}

bool isHexDigits(const QByteArray& text)
{
    return !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool parseHexBytes(const QByteArray& list, QByteArray& bytes)
{
    bytes.clear();
    if (list.trimmed().isEmpty())
        return true;
    for (const QByteArray& item : list.split(',')) {
        const QByteArray digits = item.trimmed();
        if (digits.size() > 2 || !isHexDigits(digits))
            return false;
        bytes += char(digits.toUInt(nullptr, 16));
    }
    return true;
}

QString parseData(const QByteArray& text, ValueLine& value)
{
    if (text == "-") {
        value.remove = true;
        return {};
    }
    if (text.startsWith('"')) {
        qsizetype pos = 0;
        if (!readQuoted(text, pos, value.data) || !text.mid(pos).trimmed().isEmpty())
            return QStringLiteral("badly quoted text");
        value.type = reg::REG_SZ;
        value.data += '\0';
        return {};
    }
    if (text.startsWith("dword:")) {
        const QByteArray digits = text.mid(6).trimmed();
        if (digits.size() > 8 || !isHexDigits(digits))
            return QStringLiteral("dword: needs 1 to 8 hexadecimal digits");
        const quint32 number = digits.toUInt(nullptr, 16);
        value.type = reg::REG_DWORD;
        value.data = QByteArray(4, '\0');
        for (int i = 0; i < 4; ++i)
            value.data[i] = char((number >> (8 * i)) & 0xff);
        return {};
    }
    qsizetype listStart = -1;
    if (text.startsWith("hex:")) {
        value.type = reg::REG_BINARY;
        listStart = 4;
    } else if (text.startsWith("hex(")) {
        const qsizetype close = text.indexOf("):");
        const QByteArray digits = close < 0 ? QByteArray() : text.mid(4, close - 4);
        if (digits.size() > 8 || !isHexDigits(digits))
            return QStringLiteral("hex(N): needs a hexadecimal type of 1 to 8 digits");
        value.type = digits.toUInt(nullptr, 16);
        listStart = close + 2;
    } else {
        return QStringLiteral("unknown value data (expected \"text\", dword:, hex:, hex(N): or -)");
    }
    if (!parseHexBytes(text.mid(listStart), value.data))
        return QStringLiteral("hex bytes must be comma-separated pairs of hexadecimal digits");
    return {};
}

QString parseValueLine(const QByteArray& line, ValueLine& value)
{
    qsizetype pos = 0;
    if (line.startsWith('@')) {
        pos = 1;
    } else if (!readQuoted(line, pos, value.name)) {
        return QStringLiteral("a value line starts with a quoted name or @");
    }
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos == line.size() || line[pos] != '=')
        return QStringLiteral("'=' expected after the value name");
    return parseData(line.mid(pos + 1).trimmed(), value);
}

} // namespace

bool splitRoot(const QByteArray& fullPath, HKEY& root, QByteArray& path)
{
    const qsizetype separator = fullPath.indexOf('\\');
    const QByteArray head = (separator < 0 ? fullPath : fullPath.left(separator)).toUpper();
    path = separator < 0 ? QByteArray() : fullPath.mid(separator + 1);
    for (int i = 0; i < reg::RootCount; ++i) {
        if (head == reg::RootNames[i]) {
            root = reg::HKEY_CLASSES_ROOT + HKEY(i);
            return true;
        }
    }
    for (const RootAlias& alias : RootAliases) {
        if (head == alias.name) {
            root = alias.root;
            return true;
        }
    }
    return false;
}

QByteArray rootName(HKEY root)
{
    return reg::RootNames[root - reg::HKEY_CLASSES_ROOT];
}

bool parse(const QByteArray& text, std::vector<KeySection>& sections, Error& error)
{
    QByteArrayList lines = text.split('\n');
    if (!lines.isEmpty() && lines[0].startsWith("\xEF\xBB\xBF"))
        lines[0].remove(0, 3);

    bool sawHeader = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        error.line = int(i + 1);
        QByteArray line = lines[i].trimmed();
        // A hex list may go on over lines that end in a backslash.
        while (line.endsWith('\\') && !line.endsWith("\\\\") && line.contains("=hex") && i + 1 < lines.size())
            line = line.chopped(1) + lines[++i].trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (!sawHeader) {
            if (line != Header) {
                error.message = QStringLiteral("the text does not start with REGEDIT4");
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line.startsWith('[')) {
            if (!line.endsWith(']')) {
                error.message = QStringLiteral("a key line ends with ']'");
                return false;
            }
            KeySection section;
            QByteArray fullPath = line.mid(1, line.size() - 2);
            section.remove = fullPath.startsWith('-');
            if (section.remove)
                fullPath.remove(0, 1);
            if (!splitRoot(fullPath, section.root, section.path)) {
                error.message = QStringLiteral("unknown root key in [%1]").arg(QString::fromUtf8(fullPath));
                return false;
            }
            sections.push_back(section);
            continue;
        }
        if (sections.empty() || sections.back().remove) {
            error.message = QStringLiteral("a value line outside a key section");
            return false;
        }
        ValueLine value;
        error.message = parseValueLine(line, value);
        if (!error.message.isEmpty())
            return false;
        sections.back().values.push_back(value);
    }
    if (!sawHeader) {
        error.message = QStringLiteral("the text does not start with REGEDIT4");
        return false;
    }
    return true;
}

bool formatSection(const QByteArray& fullPath, QByteArray& line)
{
    line = '[' + fullPath + ']';
    return !hasLineBreak(fullPath);
}

bool formatValue(const RegValue& value, QByteArray& line)
{
    if (hasLineBreak(value.name))
        return false;
    line = (value.name.isEmpty() ? QByteArray("@") : quoted(value.name)) + '=';

    const QByteArray& data = value.data;
    const bool plainText = value.type == reg::REG_SZ && data.endsWith('\0') && data.indexOf('\0') == data.size() - 1
        && !hasLineBreak(data);
    if (plainText) {
        line += quoted(data.chopped(1));
        return true;
    }
    if (value.type == reg::REG_DWORD && data.size() == 4) {
        quint32 number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | quint8(data[i]);
        line += "dword:" + QByteArray::number(number, 16).rightJustified(8, '0');
        return true;
    }
    line += value.type == reg::REG_BINARY ? QByteArray("hex:") : "hex(" + QByteArray::number(value.type, 16) + "):";
    qsizetype column = line.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        QByteArray item = QByteArray::number(quint8(data[i]), 16).rightJustified(2, '0');
        if (i + 1 < data.size())
            item += ',';
        if (column + item.size() > WrapColumn) {
            line += "\\\n  ";
            column = 2;
        }
        line += item;
        column += item.size();
    }
    return true;
}

} // namespace vorn::regtext
