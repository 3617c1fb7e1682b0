// vorn-reg: the registry hive as REGEDIT4 text, for inspecting, backing up
// and restoring settings.
//   vorn-reg export [KEY]   prints the hive, or KEY and its subkeys
//   vorn-reg import FILE    applies such text ("-" reads standard input)
// Exit status: 0 done, 1 bad input or a store error, 2 wrong usage.
#include "RegText.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace vorn;

namespace
{

void complain(const QString& message)
{
    std::fprintf(stderr, "vorn-reg: %s\n", qPrintable(message));
}

QString describe(std::int32_t code, const Registry& registry)
{
    if (!registry.problem().isEmpty())
        return registry.problem();
    switch (code) {
    case reg::FileNotFound:
        return QStringLiteral("no such key");
    case reg::AccessDenied:
        return QStringLiteral("access denied (the registry file cannot be written)");
    case reg::InvalidParameter:
        return QStringLiteral("a name is too long");
    case reg::BadPathName:
        return QStringLiteral("a key path must not start with a backslash");
    default:
        return QStringLiteral("registry error %1").arg(code);
    }
}

struct Exporter {
    Registry& registry;
    QByteArray out;
    bool lossy = false;

    std::int32_t exportKey(HKEY root, const QByteArray& path, const QByteArray& fullPath, bool skipWhenEmpty)
    {
        HKEY key = 0;
        std::int32_t code = registry.openKey(root, path, reg::KEY_READ, key);
        if (code != reg::Success)
            return code;
        std::vector<RegValue> values;
        QByteArrayList subkeys;
        code = registry.enumValues(key, values);
        if (code == reg::Success)
            code = registry.enumKeys(key, subkeys);
        registry.closeKey(key);
        if (code != reg::Success)
            return code;

        if (!skipWhenEmpty || !values.empty() || !subkeys.isEmpty()) {
            QByteArray line;
            if (!regtext::formatSection(fullPath, line))
                return skip(fullPath);
            out += line + '\n';
            for (const RegValue& value : values) {
                if (regtext::formatValue(value, line))
                    out += line + '\n';
                else
                    skip(fullPath + " value " + value.name);
            }
            out += '\n';
        }
        for (const QByteArray& subkey : subkeys) {
            const QByteArray subPath = path.isEmpty() ? subkey : path + '\\' + subkey;
            if ((code = exportKey(root, subPath, fullPath + '\\' + subkey, false)) != reg::Success)
                return code;
        }
        return reg::Success;
    }

    std::int32_t skip(const QByteArray& what)
    {
        complain(QStringLiteral("skipped %1: a line break in its name cannot be written").arg(QString::fromUtf8(what)));
        lossy = true;
        return reg::Success;
    }
};

int exportHive(const QString& keyArgument)
{
    Registry& registry = platform::registry();
    Exporter exporter { registry, QByteArray(regtext::Header) + "\n\n" };
    // Exporting never creates a hive that is not there.
    const bool noHive = !QFile::exists(paths::registryFile());
    std::int32_t code = reg::Success;
    if (keyArgument.isEmpty()) {
        for (int i = 0; i < reg::RootCount && !noHive && code == reg::Success; ++i) {
            const HKEY root = reg::HKEY_CLASSES_ROOT + HKEY(i);
            code = exporter.exportKey(root, QByteArray(), regtext::rootName(root), true);
        }
    } else {
        HKEY root = 0;
        QByteArray path;
        if (!regtext::splitRoot(keyArgument.toUtf8(), root, path)) {
            complain(QStringLiteral("unknown root key in %1").arg(keyArgument));
            return 1;
        }
        while (path.endsWith('\\'))
            path.chop(1);
        const QByteArray fullPath = path.isEmpty() ? regtext::rootName(root) : regtext::rootName(root) + '\\' + path;
        code = noHive ? reg::FileNotFound : exporter.exportKey(root, path, fullPath, false);
    }
    if (code != reg::Success) {
        complain(QStringLiteral("cannot export %1: %2").arg(keyArgument, describe(code, registry)));
        return 1;
    }
    std::fwrite(exporter.out.constData(), 1, size_t(exporter.out.size()), stdout);
    return exporter.lossy ? 1 : 0;
}

std::int32_t deleteTree(Registry& registry, HKEY root, const QByteArray& path)
{
    HKEY key = 0;
    std::int32_t code = registry.openKey(root, path, reg::KEY_READ, key);
    if (code == reg::FileNotFound)
        return reg::Success;
    QByteArrayList subkeys;
    if (code == reg::Success) {
        code = registry.enumKeys(key, subkeys);
        registry.closeKey(key);
    }
    for (const QByteArray& subkey : subkeys) {
        if (code == reg::Success)
            code = deleteTree(registry, root, path + '\\' + subkey);
    }
    return code == reg::Success ? registry.deleteKey(root, path) : code;
}

std::int32_t applySection(Registry& registry, const regtext::KeySection& section)
{
    if (section.remove)
        return deleteTree(registry, section.root, section.path);
    HKEY key = 0;
    std::int32_t code = registry.createKey(section.root, section.path, reg::KEY_ALL_ACCESS, key);
    for (const regtext::ValueLine& value : section.values) {
        if (code != reg::Success)
            break;
        if (value.remove) {
            code = registry.deleteValue(key, value.name);
            if (code == reg::FileNotFound)
                code = reg::Success;
        } else {
            code = registry.setValue(key, value.name, value.type,
                reinterpret_cast<const std::uint8_t*>(value.data.constData()), std::uint32_t(value.data.size()));
        }
    }
    if (key != 0)
        registry.closeKey(key);
    return code;
}

int importFile(const QString& fileName)
{
    QFile file;
    const bool opened = fileName == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                       : (file.setFileName(fileName), file.open(QIODevice::ReadOnly));
    if (!opened) {
        complain(QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
        return 1;
    }
    // Everything is checked before anything is written.
    std::vector<regtext::KeySection> sections;
    regtext::Error error;
    if (!regtext::parse(file.readAll(), sections, error)) {
        complain(QStringLiteral("%1:%2: %3").arg(fileName).arg(error.line).arg(error.message));
        return 1;
    }
    Registry& registry = platform::registry();
    for (const regtext::KeySection& section : sections) {
        const std::int32_t code = applySection(registry, section);
        if (code != reg::Success) {
            complain(QStringLiteral("cannot write [%1\\%2]: %3")
                         .arg(QString::fromUtf8(regtext::rootName(section.root)), QString::fromUtf8(section.path),
                             describe(code, registry)));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("export") && args.size() <= 2)
        return exportHive(args.value(1));
    if (args.size() == 2 && args[0] == QLatin1String("import"))
        return importFile(args[1]);
    std::fputs("usage: vorn-reg export [KEY]\n"
               "       vorn-reg import FILE\n"
               "The hive is $VORN_REGISTRY, else $XDG_DATA_HOME/vorn95/registry.db.\n",
        stderr);
    return 2;
}
