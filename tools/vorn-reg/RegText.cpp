#include "RegText.h"

#include <cstring>
#include <optional>

namespace vorn::regtext
{

namespace
{

// Hex lists go on over lines of at most this many columns before the
// backslash, as regedit writes them (one item may reach past it).
constexpr int WrapColumn = 77;

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
// `pos` is just past the closing quote. A backslash takes the next character
// as it is, except that \n and \r are a line feed and a carriage return (as
// regedit reads them; we write such texts as hex(1) instead).
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
            c = line[pos] == 'n' ? '\n' : line[pos] == 'r' ? '\r' : line[pos];
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

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Comma-separated pairs of hexadecimal digits, spaces allowed around them.
bool parseHexBytes(QByteArrayView list, QByteArray& bytes)
{
    bytes.clear();
    bytes.reserve(list.size() / 3 + 1);
    qsizetype i = 0;
    const auto skipSpaces = [&] {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t'))
            ++i;
    };
    skipSpaces();
    if (i == list.size())
        return true;
    for (;;) {
        int value = 0;
        int digits = 0;
        // A run of more than two digits is refused below; never let it overflow first.
        for (int digit; i < list.size() && (digit = hexDigit(list[i])) >= 0; ++i, ++digits)
            value = (value * 16 + digit) & 0xfff;
        if (digits == 0 || digits > 2)
            return false;
        bytes += char(value);
        skipSpaces();
        if (i == list.size())
            return true;
        if (list[i] != ',')
            return false;
        ++i;
        skipSpaces();
        if (i == list.size()) // a trailing comma, as regedit allows
            return true;
    }
}

bool isUtf16TextType(std::uint32_t type)
{
    return type == reg::REG_SZ || type == reg::REG_EXPAND_SZ || type == reg::REG_MULTI_SZ;
}

// UTF-16LE bytes as the hive's UTF-8 text; false when they are no UTF-16.
bool utf16ToHiveText(const QByteArray& utf16, QByteArray& text)
{
    if (utf16.size() % 2 != 0)
        return false;
    QString decoded(utf16.size() / 2, Qt::Uninitialized);
    std::memcpy(decoded.data(), utf16.constData(), size_t(utf16.size()));
    text = decoded.toUtf8();
    return QString::fromUtf8(text) == decoded;
}

// The hive's text as UTF-16LE bytes; false when it is no UTF-8.
bool hiveTextToUtf16(const QByteArray& text, QByteArray& utf16)
{
    const QString decoded = QString::fromUtf8(text);
    if (decoded.toUtf8() != text)
        return false;
    utf16 = QByteArray(reinterpret_cast<const char*>(decoded.utf16()), decoded.size() * 2);
    return true;
}

bool isUtf8(const QByteArray& text)
{
    return QString::fromUtf8(text).toUtf8() == text;
}

// The data of a value line: a comment may follow it after a semicolon.
QString parseData(QByteArray text, Format format, ValueLine& value)
{
    if (text.startsWith('"')) {
        qsizetype pos = 0;
        const QByteArray rest = readQuoted(text, pos, value.data) ? text.mid(pos).trimmed() : QByteArray("?");
        if (!rest.isEmpty() && !rest.startsWith(';'))
            return QStringLiteral("badly quoted text");
        value.type = reg::REG_SZ;
        value.data += '\0';
        return {};
    }
    if (const qsizetype comment = text.indexOf(';'); comment >= 0)
        text = text.left(comment).trimmed();
    if (text == "-") {
        value.remove = true;
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
    if (!parseHexBytes(QByteArrayView(text).sliced(listStart), value.data))
        return QStringLiteral("hex bytes must be comma-separated pairs of hexadecimal digits");
    if (format == Format::Version5 && isUtf16TextType(value.type) && !utf16ToHiveText(value.data, value.data))
        return QStringLiteral("hex(%1): data must be UTF-16LE text in this format").arg(value.type);
    return {};
}

QString parseValueLine(const QByteArray& line, Format format, ValueLine& value)
{
    qsizetype pos = 0;
    if (line.startsWith('@')) {
        pos = 1;
    } else if (!readQuoted(line, pos, value.name)) {
        return QStringLiteral("a value line starts with a quoted name or @");
    } else if (reg::nameLength(value.name) > reg::MaxValueNameLength) {
        return QStringLiteral("a value name is longer than %1 characters").arg(reg::MaxValueNameLength);
    }
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos == line.size() || line[pos] != '=')
        return QStringLiteral("'=' expected after the value name");
    return parseData(line.mid(pos + 1).trimmed(), format, value);
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

namespace
{

constexpr char Header4[] = "REGEDIT4";
constexpr char Header5[] = "Windows Registry Editor Version 5.00";

// The text as 8-bit lines: UTF-16LE with a byte-order mark becomes UTF-8.
QByteArray decodeText(const QByteArray& text, Error& error)
{
    if (text.startsWith("\xFF\xFE")) {
        QByteArray decoded;
        if (!utf16ToHiveText(text.mid(2), decoded)) {
            error = { 1, QStringLiteral("the text is not valid UTF-16LE") };
            return {};
        }
        return decoded;
    }
    if (text.startsWith("\xFE\xFF")) {
        error = { 1, QStringLiteral("UTF-16 big-endian text is not supported; save it as UTF-16LE or UTF-8") };
        return {};
    }
    return text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
}

QString checkSection(const KeySection& section)
{
    QByteArrayList parts;
    switch (reg::splitKeyPath(section.path, parts)) {
    case reg::BadPathName:
        return QStringLiteral("a key path starts with a backslash (a doubled backslash after the root key?)");
    case reg::InvalidParameter:
        return QStringLiteral("a key name is longer than %1 characters").arg(reg::MaxKeyNameLength);
    default:
        break;
    }
    if (section.remove && parts.isEmpty())
        return QStringLiteral("a root key cannot be deleted");
    return {};
}

} // namespace

bool parse(const QByteArray& text, std::vector<KeySection>& sections, Error& error)
{
    const QByteArray decoded = decodeText(text, error);
    if (!error.message.isEmpty())
        return false;
    const QByteArrayList lines = decoded.split('\n');

    const auto skipped
        = [](const QByteArray& part) { return part.isEmpty() || part.startsWith(';') || part.startsWith('#'); };
    std::optional<Format> format;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        error.line = int(i + 1);
        QByteArray line = lines[i].trimmed();
        // A hex list may go on over lines that end in a backslash, with
        // empty and comment lines between them.
        if (line.contains("=hex")) {
            while (line.endsWith('\\') && i + 1 < lines.size()) {
                line.chop(1);
                while (i + 2 < lines.size() && skipped(lines[i + 1].trimmed()))
                    ++i;
                line += lines[++i].trimmed();
            }
        }
        if (skipped(line))
            continue;
        if (!format) {
            if (line == Header4)
                format = Format::Regedit4;
            else if (line == Header5)
                format = Format::Version5;
            else
                break;
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
            error.message = checkSection(section);
            if (!error.message.isEmpty()) {
                error.message += QStringLiteral(" in [%1]").arg(QString::fromUtf8(fullPath));
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
        error.message = parseValueLine(line, *format, value);
        if (!error.message.isEmpty())
            return false;
        sections.back().values.push_back(value);
    }
    if (!format) {
        error.message = QStringLiteral("the text does not start with REGEDIT4 or \"%1\"").arg(QLatin1String(Header5));
        return false;
    }
    return true;
}

Writer::Writer(Format format)
    : format_(format)
    , text_(QByteArray(format == Format::Regedit4 ? Header4 : Header5) + "\n\n")
{
}

bool Writer::addSection(const QByteArray& fullPath, QString& why)
{
    if (hasLineBreak(fullPath)) {
        why = QStringLiteral("a line break in its name cannot be written");
        return false;
    }
    if (format_ == Format::Version5 && !isUtf8(fullPath)) {
        why = QStringLiteral("its name is no UTF-8 text and cannot be written in format 5");
        return false;
    }
    // Each key's block ends with an empty line.
    if (hasSection_)
        text_ += '\n';
    hasSection_ = true;
    text_ += '[' + fullPath + "]\n";
    return true;
}

bool Writer::addValue(const RegValue& value, QString& why)
{
    if (hasLineBreak(value.name)) {
        why = QStringLiteral("a line break in its name cannot be written");
        return false;
    }
    const bool unicode = format_ == Format::Version5;
    if (unicode && !isUtf8(value.name)) {
        why = QStringLiteral("its name is no UTF-8 text and cannot be written in format 5");
        return false;
    }
    QByteArray line = (value.name.isEmpty() ? QByteArray("@") : quoted(value.name)) + '=';

    QByteArray data = value.data;
    const bool plainText = value.type == reg::REG_SZ && data.endsWith('\0') && data.indexOf('\0') == data.size() - 1
        && !hasLineBreak(data) && (!unicode || isUtf8(data));
    if (plainText) {
        text_ += line + quoted(data.chopped(1)) + '\n';
        return true;
    }
    if (value.type == reg::REG_DWORD && data.size() == 4) {
        quint32 number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | quint8(data[i]);
        text_ += line + "dword:" + QByteArray::number(number, 16).rightJustified(8, '0') + '\n';
        return true;
    }
    if (unicode && isUtf16TextType(value.type) && !hiveTextToUtf16(value.data, data)) {
        why = QStringLiteral("its text is no UTF-8 and cannot be written in format 5");
        return false;
    }
    line += value.type == reg::REG_BINARY ? QByteArray("hex:") : "hex(" + QByteArray::number(value.type, 16) + "):";
    qsizetype column = line.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        QByteArray item = QByteArray::number(quint8(data[i]), 16).rightJustified(2, '0');
        if (i + 1 < data.size())
            item += ',';
        line += item;
        column += item.size();
        if (i + 1 < data.size() && column >= WrapColumn) {
            line += "\\\n  ";
            column = 2;
        }
    }
    text_ += line + '\n';
    return true;
}

QByteArray Writer::finish() const
{
    QByteArray text = hasSection_ ? text_ + '\n' : text_;
    if (format_ == Format::Regedit4)
        return text;
    // As regedit writes it: UTF-16LE with a byte-order mark, CRLF line ends.
    const QString unicode = QString::fromUtf8(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(unicode.utf16()), unicode.size() * 2);
}

} // namespace vorn::regtext
