// How vorn-reg's costs grow with the input: keys nested 1x/4x/16x deep, and
// hex values 1x/4x/16x long written as regedit continues them over lines.
// Linear costs give ratios near 4 and 16. An export writes every key's whole
// path, so its output grows with the square of the depth; it is measured per
// output byte.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace
{

QString program;
QTemporaryDir* dir = nullptr;
double startup = 0; // what a run costs before it reads anything, taken off every figure

// Seconds a vorn-reg run takes; its output's size in `outBytes`.
double run(const QString& hive, const QStringList& args, qint64* outBytes = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORN_REGISTRY"), hive);
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    process.waitForFinished(-1);
    const QByteArray out = process.readAllStandardOutput();
    const double seconds = std::max(double(timer.nsecsElapsed()) / 1e9 - startup, 1e-6);
    if (process.exitCode() != 0)
        std::fprintf(
            stderr, "vorn-reg %s failed: %s\n", qPrintable(args.join(' ')), process.readAllStandardError().constData());
    if (outBytes != nullptr)
        *outBytes = out.size();
    return seconds;
}

QString textFile(const QString& name, const QByteArray& text)
{
    QFile file(dir->filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
}

struct Figures {
    double import = 0;
    double hiveBytesPerUnit = 0;
    double exportPerMB = 0;
};

// Imports the text in `file` into a new hive, then exports it; `units` are what the hive's size is shared by.
Figures importAndExport(const QString& file, const QString& hive, qint64 units)
{
    Figures figures;
    figures.import = run(hive, { QStringLiteral("import"), file });
    figures.hiveBytesPerUnit = double(QFileInfo(hive).size()) / double(units);
    qint64 bytes = 0;
    const double seconds = run(hive, { QStringLiteral("export") }, &bytes);
    figures.exportPerMB = seconds / (double(bytes) / 1e6);
    return figures;
}

Figures nested(int depth)
{
    QByteArray path = "HKEY_LOCAL_MACHINE\\k";
    for (int i = 1; i < depth; ++i)
        path += "\\k";
    const QString text
        = textFile(QStringLiteral("nested%1.reg").arg(depth), "REGEDIT4\n[" + path + "]\n\"v\"=dword:1\n");
    return importAndExport(text, dir->filePath(QStringLiteral("nested%1.db").arg(depth)), depth);
}

Figures longHex(int kilobytes)
{
    QByteArray text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Long]\n\"v\"=hex:";
    const int bytes = kilobytes * 1024;
    text.reserve(bytes * 3 + bytes / 8 + 100);
    for (int i = 0; i < bytes; ++i) {
        text += QByteArray::number(i % 256, 16).rightJustified(2, '0');
        if (i + 1 < bytes)
            text += i % 25 == 24 ? ",\\\n  " : ",";
    }
    text += '\n';
    const QString file = textFile(QStringLiteral("hex%1.reg").arg(kilobytes), text);
    return importAndExport(file, dir->filePath(QStringLiteral("hex%1.db").arg(kilobytes)), bytes);
}

void print(const char* what, const Figures (&f)[3], double Figures::*field, const char* unit)
{
    std::printf("%-34s %10.4f %10.4f %10.4f %s   %6.1fx %6.1fx\n", what, f[0].*field, f[1].*field, f[2].*field, unit,
        f[1].*field / f[0].*field, f[2].*field / f[0].*field);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    dir = &temporary;
    program = QCoreApplication::applicationDirPath() + QStringLiteral("/vorn-reg");

    const QString empty = textFile(QStringLiteral("empty.reg"), "REGEDIT4\n");
    double fastest = 1e9;
    for (int i = 0; i < 5; ++i)
        fastest
            = std::min(fastest, run(dir->filePath(QStringLiteral("empty.db")), { QStringLiteral("import"), empty }));
    startup = fastest;
    std::printf("a run of vorn-reg itself: %.4f s, taken off the times below\n", startup);
    std::printf("%-34s %10s %10s %10s      %7s %7s\n", "", "1x", "4x", "16x", "4x/1x", "16x/1x");
    const Figures nesting[3] = { nested(500), nested(2000), nested(8000) };
    print("nested keys 500/2000/8000: import", nesting, &Figures::import, "s");
    print("  hive bytes per key", nesting, &Figures::hiveBytesPerUnit, " ");
    print("  export seconds per MB written", nesting, &Figures::exportPerMB, " ");
    const Figures hex[3] = { longHex(1024), longHex(4096), longHex(16384) };
    print("hex value 1M/4M/16M: import", hex, &Figures::import, "s");
    print("  hive bytes per value byte", hex, &Figures::hiveBytesPerUnit, " ");
    print("  export seconds per MB written", hex, &Figures::exportPerMB, " ");
    return 0;
}
