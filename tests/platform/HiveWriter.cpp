// Writes to a hive for the process tests.
//   vorn_hive_writer loop FILE          rewrites values forever (until killed)
//   vorn_hive_writer count FILE PREFIX N  writes N values PREFIX0..PREFIXn-1
// Any store error is printed and ends the program with status 1.
#include "GenerationText.h"
#include "platform/linux/SqliteRegistry.h"
#include "settings/RegFiles.h"

#include <cstdio>

namespace
{

int loop(TRegFile& reg)
{
    reg.Key = QStringLiteral("Crash\\Values");
    for (int generation = 0;; ++generation) {
        const QString slot = QString::number(generation % 8);
        reg.WriteValue(QStringLiteral("text") + slot, Variant(generationText(generation)));
        reg.WriteValue(QStringLiteral("number") + slot, Variant(generation));
        if (generation == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}

int count(TRegFile& reg, const QString& prefix, int n)
{
    reg.Key = QStringLiteral("Shared\\Key");
    for (int i = 0; i < n; ++i)
        reg.WriteValue(prefix + QString::number(i), Variant(i));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // No application object: the writer should be writing within milliseconds.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (args.size() < 3)
        return 2;
    vorn::SqliteRegistry hive(args[2]);
    TRegFile reg(nullptr, &hive);
    try {
        if (args[1] == QLatin1String("loop"))
            return loop(reg);
        if (args[1] == QLatin1String("count") && args.size() == 5)
            return count(reg, args[3], args[4].toInt());
    } catch (const ERegFileError& error) {
        std::fprintf(stderr, "%s (%s)\n", error.what(), qPrintable(hive.problem()));
        return 1;
    }
    return 2;
}
