// vorn-reg: the registry hive as regedit text, for inspecting, backing up and
// restoring settings, and for bringing them over from Windows.
//   vorn-reg export [--format 4|5] [-o FILE] [KEY]   writes the hive, or KEY and its subkeys
//   vorn-reg import FILE                             applies such text ("-" reads standard input)
// Exit status: 0 done, 1 bad input or a store error, 2 wrong usage.
#include "RegText.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

#include <cstdio>

using namespace vorn;

namespace
{

void complain(const QString& message)
{
    std::fprintf(stderr, "vorn-reg: %s\n", qPrintable(message));
}

// Why a registry call failed: the hive's own account (which names its file), or the result code's meaning.
QString describe(std::int32_t code, const Registry& registry)
{
    QString problem = registry.problem();
    if (!problem.isEmpty())
        return problem.replace(0, 1, problem[0].toLower());
    switch (code) {
    case reg::FileNotFound:
        return QStringLiteral("no such key");
    case reg::AccessDenied:
        return QStringLiteral("access denied (the registry file %1 cannot be written)").arg(paths::registryFile());
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
    regtext::Writer writer;
    bool lossy = false;

    // The key and every key below it, each before its subkeys. Subkeys are
    // opened through their parent's handle and kept on a stack, so neither
    // the nesting depth nor the paths' length multiply the work.
    std::int32_t exportTree(HKEY root, const QByteArray& path, const QByteArray& fullPath, bool skipWhenEmpty)
    {
        HKEY top = 0;
        std::int32_t code = registry.openKey(root, path, reg::KEY_READ, top);
        std::vector<std::pair<HKEY, QByteArray>> stack;
        if (code == reg::Success)
            stack.emplace_back(top, fullPath);
        while (code == reg::Success && !stack.empty()) {
            const auto [key, keyPath] = std::move(stack.back());
            stack.pop_back();
            std::vector<RegValue> values;
            QByteArrayList subkeys;
            code = registry.enumValues(key, values);
            if (code == reg::Success)
                code = registry.enumKeys(key, subkeys);
            for (qsizetype i = subkeys.size() - 1; i >= 0 && code == reg::Success; --i) {
                HKEY child = 0;
                code = registry.openKey(key, subkeys[i], reg::KEY_READ, child);
                if (code == reg::Success)
                    stack.emplace_back(child, keyPath + '\\' + subkeys[i]);
            }
            registry.closeKey(key);
            if (code == reg::Success && !(skipWhenEmpty && key == top && values.empty() && subkeys.isEmpty()))
                write(keyPath, values);
        }
        for (const auto& [key, keyPath] : stack)
            registry.closeKey(key);
        return code;
    }

    void write(const QByteArray& keyPath, const std::vector<RegValue>& values)
    {
        QString why;
        if (!writer.addSection(keyPath, why)) {
            skipped(keyPath, why);
            return;
        }
        for (const RegValue& value : values) {
            if (!writer.addValue(value, why))
                skipped(keyPath + " value " + value.name, why);
        }
    }

    void skipped(const QByteArray& what, const QString& why)
    {
        complain(QStringLiteral("skipped %1: %2").arg(QString::fromUtf8(what), why));
        lossy = true;
    }
};

bool writeOut(const QByteArray& bytes, const QString& outFile)
{
    if (outFile.isEmpty())
        return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    QSaveFile out(outFile);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
        return true;
    complain(QStringLiteral("cannot write %1: %2").arg(outFile, out.errorString()));
    return false;
}

int exportHive(const QString& keyArgument, regtext::Format format, const QString& outFile)
{
    Registry& registry = platform::registry();
    Exporter exporter { registry, regtext::Writer(format) };
    std::int32_t code = reg::Success;
    QString what = QStringLiteral("the hive");
    // Exporting never creates a hive that is not there.
    const bool noHive = !QFile::exists(paths::registryFile());
    if (keyArgument.isEmpty()) {
        for (int i = 0; i < reg::RootCount && !noHive && code == reg::Success; ++i) {
            const HKEY root = reg::HKEY_CLASSES_ROOT + HKEY(i);
            code = exporter.exportTree(root, QByteArray(), regtext::rootName(root), true);
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
        what = keyArgument;
        code = noHive ? reg::FileNotFound : exporter.exportTree(root, path, fullPath, false);
    }
    if (code != reg::Success) {
        complain(QStringLiteral("cannot export %1: %2").arg(what, describe(code, registry)));
        return 1;
    }
    if (!writeOut(exporter.writer.finish(), outFile))
        return 1;
    return exporter.lossy ? 1 : 0;
}

// Deletes a key with everything below it: the keys are listed breadth first
// through their parents' handles, then deleted deepest first.
std::int32_t deleteTree(Registry& registry, HKEY root, const QByteArray& path)
{
    struct Node {
        HKEY parent;
        QByteArray name;
        HKEY key;
    };
    HKEY top = 0;
    std::int32_t code = registry.openKey(root, path, reg::KEY_READ, top);
    if (code == reg::FileNotFound)
        return reg::Success;
    std::vector<Node> nodes;
    if (code == reg::Success)
        nodes.push_back({ root, path, top });
    for (size_t i = 0; i < nodes.size() && code == reg::Success; ++i) {
        QByteArrayList subkeys;
        code = registry.enumKeys(nodes[i].key, subkeys);
        for (const QByteArray& subkey : subkeys) {
            HKEY child = 0;
            if (code == reg::Success
                && (code = registry.openKey(nodes[i].key, subkey, reg::KEY_READ, child)) == reg::Success)
                nodes.push_back({ nodes[i].key, subkey, child });
        }
    }
    for (auto node = nodes.rbegin(); node != nodes.rend(); ++node) {
        registry.closeKey(node->key);
        if (code == reg::Success)
            code = registry.deleteKey(node->parent, node->name);
    }
    return code;
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
    // Everything is checked before anything is written, and written in one
    // transaction: the hive ends up with all of the text or none of it.
    std::vector<regtext::KeySection> sections;
    regtext::Error error;
    if (!regtext::parse(file.readAll(), sections, error)) {
        complain(QStringLiteral("%1:%2: %3").arg(fileName).arg(error.line).arg(error.message));
        return 1;
    }
    Registry& registry = platform::registry();
    const regtext::KeySection* failed = nullptr;
    const std::int32_t code = registry.transact([&] {
        for (const regtext::KeySection& section : sections) {
            const std::int32_t result = applySection(registry, section);
            if (result != reg::Success) {
                failed = &section;
                return result;
            }
        }
        return reg::Success;
    });
    if (code == reg::Success)
        return 0;
    const QString where = failed == nullptr
        ? QString()
        : QStringLiteral("cannot write [%1\\%2]: ")
              .arg(QString::fromUtf8(regtext::rootName(failed->root)), QString::fromUtf8(failed->path));
    complain(QStringLiteral("nothing imported from %1: %2%3").arg(fileName, where, describe(code, registry)));
    return 1;
}

int usage()
{
    std::fputs("usage: vorn-reg export [--format 4|5] [-o FILE] [KEY]\n"
               "       vorn-reg import FILE\n"
               "The hive is $VORN_REGISTRY, else $XDG_DATA_HOME/vorn95/registry.db.\n",
        stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The hive's problems reach the user once, in this program's own messages.
    QLoggingCategory::setFilterRules(QStringLiteral("vorn.registry.warning=false"));
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("import"))
        return importFile(args[1]);
    if (args.isEmpty() || args.takeFirst() != QLatin1String("export"))
        return usage();
    regtext::Format format = regtext::Format::Regedit4;
    QString outFile;
    while (args.size() >= 2 && (args[0] == QLatin1String("--format") || args[0] == QLatin1String("-o"))) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        if (option == QLatin1String("-o"))
            outFile = value;
        else if (value == QLatin1String("4") || value == QLatin1String("5"))
            format = value == QLatin1String("4") ? regtext::Format::Regedit4 : regtext::Format::Version5;
        else
            return usage();
    }
    if (args.size() > 1 || (!args.isEmpty() && args[0].startsWith(QLatin1Char('-'))))
        return usage();
    return exportHive(args.value(0), format, outFile);
}
