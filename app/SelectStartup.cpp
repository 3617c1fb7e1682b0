// Start-up of the wizard window: settings bootstrap, entry list and its statistics.
#include "app/Guarded.h"
#include "app/ReadOnlyHive.h"
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/VariantConvert.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/RemoteAccess.h"
#include "rascomp/Rascomp32.h"
#include "settings/Statistics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProgressDialog>

#include <memory>

namespace
{

const QString PDTFileName = QStringLiteral("vorninfo.pdt");
const QString InstallationError = QStringLiteral("Error in installation");

// The original platform's limit for a string resource, terminating zero included.
constexpr int MaxTemplateLength = 499;
// A window title is one short line; more of the file is never read.
constexpr qint64 MaxPDTLineLength = 1024;
// How long the initializer may work before a progress window shows.
constexpr std::chrono::milliseconds ProgressDelay { 1000 };

// A stored value as the user would have typed it, for messages.
QString describe(const Variant& value)
{
    if (value.isText())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    try {
        return VarToText(value);
    } catch (const EVariantError&) {
        return QStringLiteral("a value of type %1").arg(value.type());
    }
}

} // namespace

void TfrmSelect::reportBadValue(const QString& message)
{
    if (ReportedBadValues.contains(message))
        return;
    ReportedBadValues.insert(message);
    UserPrompts::instance().messageBox(
        this, message, QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
}

// Missing values are not created: a hive that cannot be written is read as it is.
Variant TfrmSelect::readStored(const char* name)
{
    const QString valueName = QString::fromLatin1(name);
    return reg->ValueExists(QString(), valueName) ? reg->ReadValue(valueName) : Variant::Null();
}

qint32 TfrmSelect::readSetting(const char* name, qint32 fallback)
{
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    const Variant value = readStored(name);
    if (value.isNull())
        return fallback;
    try {
        return VarToInt(value);
    } catch (const EVariantError&) {
        reportBadValue(QStringLiteral("\"%1\" holds %2, which is not a number; %3 is used instead.")
                           .arg(QLatin1String(name), describe(value))
                           .arg(fallback));
        return fallback;
    }
}

QString TfrmSelect::readTextSetting(const char* name)
{
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    const Variant value = readStored(name);
    if (value.isNull())
        return {};
    try {
        return VarToText(value);
    } catch (const EVariantError&) {
        reportBadValue(QStringLiteral("\"%1\" holds %2, which is not a text; it is taken as empty.")
                           .arg(QLatin1String(name), describe(value)));
        return {};
    }
}

void TfrmSelect::writeSetting(const char* name, const Variant& value)
{
    // The user was told at start-up that nothing can be saved.
    if (HiveReadOnly)
        return;
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    reg->WriteValue(QString::fromLatin1(name), value);
}

// An unreadable phonebook must not pass for an empty one.
void TfrmSelect::reportPhonebookError()
{
    QString book = RAS->PhoneBookPath();
    if (book.isEmpty())
        book = vorn::platform::remoteAccessName() == QLatin1String("NetworkManager")
            ? QStringLiteral("the connection profiles of NetworkManager")
            : vorn::paths::configDir() + QStringLiteral("/rasphone.pbk");
    UserPrompts::instance().messageBox(this,
        QStringLiteral("The phonebook entries cannot be listed: %1\nPhonebook: %2")
            .arg(failureText(RAS->LastError()), book),
        QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
}

// The hive must be readable for the wizard to work; one that can be read
// but not written still lets the user dial.
bool TfrmSelect::checkHive()
{
    using namespace vorn::reg;
    const QByteArray programKey(stats::ProgramKey);
    vorn::HKEY key = 0;
    std::int32_t result = hive->createKey(HKEY_LOCAL_MACHINE, programKey, KEY_ALL_ACCESS, key);
    if (result == AccessDenied) {
        result = hive->openKey(HKEY_LOCAL_MACHINE, programKey, KEY_READ, key);
        if (result == Success || result == FileNotFound) {
            HiveReadOnly = true;
            readOnlyHive = std::make_unique<ReadOnlyHive>(*hive);
            delete reg;
            reg = new TRegFile(this, readOnlyHive.get());
            reg->RootKey = hkLocalMachine;
            UserPrompts::instance().messageBox(this,
                QStringLiteral("The settings file %1 cannot be written.\n"
                               "You can dial, but the connection statistics and your choices will not be saved.")
                    .arg(vorn::paths::registryFile()),
                QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
        }
    }
    if (result == Success)
        hive->closeKey(key);
    if (result == Success || HiveReadOnly)
        return true;
    const QString code = QString::asprintf("Reg Error: %8.8X", unsigned(result));
    const QString problem = hive->problem();
    abortStartup(QStringLiteral("The settings file %1 cannot be used: %2.\nVORN95 Wizard cannot start.")
                     .arg(vorn::paths::registryFile(),
                         problem.isEmpty() ? code : problem + QStringLiteral(" (") + code + QLatin1Char(')')),
        QString::fromLatin1(UserPrompts::ApplicationTitle));
    return false;
}

void TfrmSelect::FormCreate()
{
    setOuterHeight(322);
    setOuterWidth(467);
    reg->Key = QString::fromLatin1(stats::ProgramKey);

    DialerTitleTemplate = remoteAccess->dialerCaptionTemplate().left(MaxTemplateLength);

    if (!checkHive())
        return;
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    if (!reg->ValueExists(QString(), QString::fromLatin1(stats::PDTCaption))) {
        PDTCaption = bootstrapPDTCaption();
        if (StartupAborted)
            return;
    } else {
        PDTCaption = readTextSetting(stats::PDTCaption);
    }
    reg->Key = QString::fromLatin1(stats::ProgramKey);
    if (!HiveReadOnly)
        stats::WriteGlobalDefaults(*reg, PDTCaption);

    Notebook1->setCurrentIndex(pgWelcomeIndex);
    const bool showWelcome = readSetting(stats::ShowWelcome, stats::DefaultShowWelcome) == 1;
    ShowWelcome1->setChecked(showWelcome);
    if (!showWelcome) {
        Notebook1->setCurrentIndex(pgSelectIndex);
        setWindowTitle(QStringLiteral("VORN95 Wizard - Entry Selection (1 of 3)"));
    }
    connect(Notebook1, &QStackedWidget::currentChanged, this, guarded([this] { Notebook1PageChanged(); }));

    SelectedEntries.clear();
    SkipEntry = false;
    StopDialing = false;
    if (const int result = RAS->EnumEntries(); result != 0 && result != int(vorn::ras::BufferTooSmall))
        reportPhonebookError();
    for (const QString& name : RAS->Entries()) {
        ConList->addRow(name);
        if (!HiveReadOnly)
            stats::WriteEntryDefaults(*reg, name);
    }
    RefreshEntryList();
}

void TfrmSelect::RefreshEntryList()
{
    for (int row = 0; row < ConList->rowCount(); ++row) {
        ConList->clearSubItems(row);
        const QString name = ConList->caption(row);
        reg->Key = stats::EntryKey(name);
        // An entry the hive has no statistics for (it could not be written) shows the defaults.
        if (!reg->ValueExists(QString(), QString::fromLatin1(stats::LastAccess))) {
            for (const QString& cell : { QStringLiteral("0"), QString::fromLatin1(stats::NeverAccessed),
                     SecondsToDuration(0), SecondsToDuration(0) })
                ConList->appendSubItem(row, cell);
            continue;
        }
        // A value that cannot be shown spoils its own cell only.
        for (const char* value : { stats::Accesses, stats::LastAccess, stats::LastTime, stats::TotalTime }) {
            const bool count = value == stats::Accesses;
            const Variant stored = readStored(value);
            QString cell;
            try {
                cell = count ? QString::number(VarToInt(stored)) : VarToText(stored);
            } catch (const EVariantError&) {
                cell = stored.isText() ? stored.toString() : QString();
                reportBadValue(stored.isNull()
                        ? QStringLiteral("%1: \"%2\" is missing.").arg(name, QLatin1String(value))
                        : QStringLiteral("%1: \"%2\" holds %3, which is not %4.")
                              .arg(name, QLatin1String(value), describe(stored),
                                  count ? QStringLiteral("a number") : QStringLiteral("a text")));
            }
            ConList->appendSubItem(row, cell);
        }
    }
}

// "PDTCaption" comes from the file the installation initializer writes into
// the current folder; when that file cannot be read, the initializer is
// started to write it.
QString TfrmSelect::bootstrapPDTCaption()
{
    if (const auto content = readPDTFile())
        return storePDTCaption(*content);
    QProcess initializer;
    initializer.setWorkingDirectory(QDir::currentPath());
    initializer.setProcessChannelMode(QProcess::SeparateChannels);
    initializer.start(InitializerPath, {});
    if (!initializer.waitForStarted()) {
        abortStartup(QStringLiteral("VORN95 must be reinstalled. Closing..."));
        return {};
    }
    // The initializer may take a moment: poll at a calm pace, take the file
    // once it is complete (a line end, or no longer growing), notice at once
    // an initializer that fails, and give up rather than wait forever for a
    // file that never comes. A wait longer than a moment shows that
    // something is going on.
    QElapsedTimer waited;
    waited.start();
    std::unique_ptr<QProgressDialog> progress;
    qint64 lastSize = -1;
    for (;;) {
        if (const auto content = readPDTFile()) {
            if (content->contains('\n') || content->size() == lastSize) {
                // Its work is done; it is let end rather than killed.
                initializer.waitForFinished(1000);
                return storePDTCaption(*content);
            }
            lastSize = content->size();
        }
        if (initializer.state() == QProcess::NotRunning
            && (initializer.exitStatus() != QProcess::NormalExit || initializer.exitCode() != 0)) {
            const QString said = QString::fromLocal8Bit(initializer.readAllStandardError()).trimmed();
            abortStartup(
                QStringLiteral("The installation initializer could not write %1 in %2:\n%3\n"
                               "VORN95 must be reinstalled. Closing...")
                    .arg(PDTFileName, QDir::currentPath(),
                        said.isEmpty() ? QStringLiteral("it ended with code %1").arg(initializer.exitCode()) : said));
            return {};
        }
        if (waited.elapsed() >= InitializerWaitLimit.count()) {
            abortStartup(QStringLiteral("The installation initializer did not write %1 within %2 seconds in %3.\n"
                                        "VORN95 must be reinstalled. Closing...")
                             .arg(PDTFileName)
                             .arg(InitializerWaitLimit.count() / 1000)
                             .arg(QDir::currentPath()));
            return {};
        }
        if (!progress && waited.elapsed() >= ProgressDelay.count()) {
            progress = std::make_unique<QProgressDialog>(
                QStringLiteral("Preparing VORN95 Wizard for its first start..."), QString(), 0, 0);
            progress->setWindowTitle(QString::fromLatin1(UserPrompts::ApplicationTitle));
            progress->setMinimumDuration(0);
            progress->show();
        }
        initializer.waitForFinished(100);
        if (progress)
            QCoreApplication::processEvents();
    }
}

// Only a regular file is read (a pipe of that name could block for ever),
// and of it only the first line, up to a bound.
std::optional<QByteArray> TfrmSelect::readPDTFile()
{
    if (!QFileInfo(PDTFileName).isFile())
        return std::nullopt;
    QFile file(PDTFileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readLine(MaxPDTLineLength + 1);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

// Only the first line counts, without its line end.
QString TfrmSelect::storePDTCaption(const QByteArray& content)
{
    QByteArray firstLine = content.left(content.indexOf('\n') < 0 ? content.size() : content.indexOf('\n'));
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    if (!HiveReadOnly)
        reg->WriteValue(QString::fromLatin1(stats::PDTCaption), Variant(firstLine));
    return QString::fromUtf8(firstLine);
}

void TfrmSelect::abortStartup(const QString& message, const QString& title)
{
    UserPrompts::instance().messageBox(
        nullptr, message, title.isEmpty() ? InstallationError : title, UserPrompts::MB_OK);
    StartupAborted = true;
}
