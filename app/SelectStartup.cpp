// Start-up of the wizard window: settings bootstrap, entry list and its statistics.
#include "app/Guarded.h"
#include "app/Select.h"
#include "app/UserPrompts.h"
#include "app/VariantConvert.h"
#include "platform/RemoteAccess.h"
#include "rascomp/Rascomp32.h"
#include "settings/Statistics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace
{

const QString PDTFileName = QStringLiteral("vorninfo.pdt");
const QString InstallationError = QStringLiteral("Error in installation");

// The original platform's limit for a string resource, terminating zero included.
constexpr int MaxTemplateLength = 499;

QString readText(TRegFile& reg, const char* name)
{
    return VarToText(reg.ReadValue(QString::fromLatin1(name)));
}

qint32 readInt(TRegFile& reg, const char* name)
{
    return VarToInt(reg.ReadValue(QString::fromLatin1(name)));
}

} // namespace

void TfrmSelect::FormCreate()
{
    setOuterHeight(322);
    setOuterWidth(467);
    reg->Key = QString::fromLatin1(stats::ProgramKey);

    DialerTitleTemplate = remoteAccess->dialerCaptionTemplate().left(MaxTemplateLength);

    if (!reg->ValueExists(QString(), QString::fromLatin1(stats::PDTCaption))) {
        bootstrapPDTCaption();
        if (StartupAborted)
            return;
    }
    PDTCaption = readText(*reg, stats::PDTCaption);
    stats::WriteGlobalDefaults(*reg, PDTCaption);

    Notebook1->setCurrentIndex(pgWelcomeIndex);
    if (readInt(*reg, stats::ShowWelcome) != 1) {
        Notebook1->setCurrentIndex(pgSelectIndex);
        setWindowTitle(QStringLiteral("VORN95 Wizard - Entry Selection (1 of 3)"));
    }
    connect(Notebook1, &QStackedWidget::currentChanged, this, guarded([this] { Notebook1PageChanged(); }));

    SelectedEntries.clear();
    RAS->EnumEntries();
    SkipEntry = false;
    StopDialing = false;
    for (const QString& name : RAS->Entries()) {
        ConList->addRow(name);
        stats::WriteEntryDefaults(*reg, name);
    }
    RefreshEntryList();
}

void TfrmSelect::RefreshEntryList()
{
    for (int row = 0; row < ConList->rowCount(); ++row) {
        ConList->clearSubItems(row);
        reg->Key = stats::EntryKey(ConList->caption(row));
        ConList->appendSubItem(row, QString::number(readInt(*reg, stats::Accesses)));
        ConList->appendSubItem(row, readText(*reg, stats::LastAccess));
        ConList->appendSubItem(row, readText(*reg, stats::LastTime));
        ConList->appendSubItem(row, readText(*reg, stats::TotalTime));
    }
}

// "PDTCaption" comes from the file the installation initializer writes into
// the current folder; when that file cannot be read, the initializer is
// started to write it.
void TfrmSelect::bootstrapPDTCaption()
{
    if (const auto content = readPDTFile()) {
        storePDTCaption(*content);
        return;
    }
    if (!startInitializer()) {
        abortStartup(QStringLiteral("VORN95 must be reinstalled. Closing..."));
        return;
    }
    // The initializer may take a moment: poll at a calm pace, take the file
    // once it is complete (a line end, or no longer growing), and give up
    // rather than wait forever for a file that never comes.
    QElapsedTimer waited;
    waited.start();
    qint64 lastSize = -1;
    for (;;) {
        if (const auto content = readPDTFile()) {
            if (content->contains('\n') || content->size() == lastSize) {
                storePDTCaption(*content);
                return;
            }
            lastSize = content->size();
        }
        if (waited.elapsed() >= InitializerWaitLimit.count()) {
            abortStartup(QStringLiteral("The installation initializer did not write %1 within %2 seconds.\n"
                                        "VORN95 must be reinstalled. Closing...")
                             .arg(PDTFileName)
                             .arg(InitializerWaitLimit.count() / 1000));
            return;
        }
        QThread::msleep(100);
    }
}

bool TfrmSelect::startInitializer()
{
    // Started directly, without a shell, and not waited for.
    return QProcess::startDetached(InitializerPath, {}, QDir::currentPath());
}

std::optional<QByteArray> TfrmSelect::readPDTFile()
{
    QFile file(PDTFileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

// Only the first line counts, without its line end.
void TfrmSelect::storePDTCaption(const QByteArray& content)
{
    QByteArray firstLine = content.left(content.indexOf('\n') < 0 ? content.size() : content.indexOf('\n'));
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    reg->WriteValue(QString::fromLatin1(stats::PDTCaption), Variant(firstLine));
}

void TfrmSelect::abortStartup(const QString& message)
{
    UserPrompts::instance().messageBox(nullptr, message, InstallationError, UserPrompts::MB_OK);
    StartupAborted = true;
}
