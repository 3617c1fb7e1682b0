#include "app/props.h"

#include "app/Guarded.h"
#include "app/UserPrompts.h"
#include "platform/RemoteAccess.h"
#include "settings/DialingOptions.h"
#include "settings/RegFiles.h"
#include "settings/Statistics.h"

#include <QHeaderView>

TfrmProps::TfrmProps(QWidget* owner, TRegFile& store, std::function<void()> onOk)
    : QDialog(owner)
    , reg(store)
    , refreshEntryList(std::move(onOk))
    , entryKey(store.Key)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(btnclNA, &QPushButton::clicked, this, guarded([this] { btnclNAClick(); }));
    connect(btnclLA, &QPushButton::clicked, this, guarded([this] { btnclLAClick(); }));
    connect(btnclLAT, &QPushButton::clicked, this, guarded([this] { btnclLATClick(); }));
    connect(btnclTAT, &QPushButton::clicked, this, guarded([this] { btnclTATClick(); }));
    connect(btnclFailures, &QPushButton::clicked, this, guarded([this] { btnclFailuresClick(); }));
    lvFailures->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    lvFailures->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lvFailures->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
}

bool TfrmProps::ConfirmClear(const QString& fieldName)
{
    const QString text = QStringLiteral("Do you really want to clear ") + lbConn->text() + QStringLiteral("'s \n\r")
        + fieldName + QStringLiteral("?");
    const unsigned flags = UserPrompts::MB_YESNO | UserPrompts::MB_ICONINFORMATION | UserPrompts::MB_DEFBUTTON2;
    return UserPrompts::instance().messageBox(this, text, QStringLiteral("Confirmation"), flags) == UserPrompts::IDYES;
}

// The value is written first, so a failing store leaves the label as it was.
void TfrmProps::clear(const QString& fieldName, const char* valueName, const Variant& value, QLabel* label)
{
    if (!ConfirmClear(fieldName))
        return;
    reg.Key = entryKey;
    reg.WriteValue(QString::fromLatin1(valueName), value);
    label->setText(value.isText() ? value.toString() : QString::number(value.toInt()));
}

void TfrmProps::btnclNAClick()
{
    clear(QStringLiteral("Number of Accesses"), stats::Accesses, Variant(qint32(0)), lblNA);
}

void TfrmProps::btnclLAClick()
{
    clear(QStringLiteral("Last of Access Date"), stats::LastAccess, Variant(stats::NeverAccessed), lblLA);
}

void TfrmProps::btnclLATClick()
{
    clear(QStringLiteral("Last Connection Duration Time"), stats::LastTime, Variant(SecondsToDuration(0)), lblLAT);
}

void TfrmProps::btnclTATClick()
{
    clear(QStringLiteral("Total Access Time"), stats::TotalTime, Variant(SecondsToDuration(0)), lblTAT);
}

void TfrmProps::Button1Click()
{
    // The dialog closes whatever the refresh meets; what it meets is shown once.
    accept();
    if (refreshEntryList)
        refreshEntryList();
}

void TfrmProps::ListFailures()
{
    lvFailures->clear();
    const auto failures = dialing::ReadFailures(reg, lbConn->text());
    reg.Key = entryKey;
    for (const auto& [code, count] : failures) {
        const QString text = vorn::rasErrorText(std::uint32_t(code));
        auto* item = new QTreeWidgetItem(lvFailures,
            { QString::number(code), text.isEmpty() ? QStringLiteral("Unknown failure") : text,
                QString::number(count) });
        item->setTextAlignment(2, Qt::AlignRight);
        item->setToolTip(1, item->text(1));
    }
}

void TfrmProps::btnclFailuresClick()
{
    if (!ConfirmClear(QStringLiteral("Failures")))
        return;
    dialing::ClearFailures(reg, lbConn->text());
    reg.Key = entryKey;
    lvFailures->clear();
}
