#include "app/DialingOptionsDialog.h"

using namespace cycle;

TfrmDialingOptions::TfrmDialingOptions(QWidget* owner)
    : QDialog(owner)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    for (const FailureKind kind : AllKinds) {
        QComboBox* box = actionBox(kind);
        box->addItem(QStringLiteral("Try again in turn"), int(Action::Retry));
        box->addItem(QStringLiteral("Leave the entry out"), int(Action::Drop));
        box->addItem(QStringLiteral("Stop dialing"), int(Action::Stop));
    }
    connect(cbProtectAccounts, &QCheckBox::clicked, this, [this](bool on) { cbProtectAccountsClick(on); });
    connect(cbAccount, &QComboBox::currentIndexChanged, this,
        [this] { cbProtectAccounts->setChecked(rules().on(FailureKind::Account) != Action::Retry); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QComboBox* TfrmDialingOptions::actionBox(FailureKind kind) const
{
    const std::array boxes = { cbLine, cbDevice, cbAccount, cbOther };
    return boxes.at(std::size_t(kind));
}

void TfrmDialingOptions::setRules(const Rules& rules)
{
    for (const FailureKind kind : AllKinds)
        actionBox(kind)->setCurrentIndex(actionBox(kind)->findData(int(rules.on(kind))));
    sePauseLimit->setValue(rules.roundPauseLimit);
    seRoundLimit->setValue(rules.roundLimit);
    cbRedial->setChecked(rules.redialOnBreak);
}

Rules TfrmDialingOptions::rules() const
{
    Rules rules;
    for (const FailureKind kind : AllKinds)
        rules.on(kind) = Action(actionBox(kind)->currentData().toInt());
    rules.roundPauseLimit = sePauseLimit->value();
    rules.roundLimit = seRoundLimit->value();
    rules.redialOnBreak = cbRedial->isChecked();
    return rules;
}

// A refused password dialed again and again locks the account.
void TfrmDialingOptions::cbProtectAccountsClick(bool protect)
{
    cbAccount->setCurrentIndex(cbAccount->findData(int(protect ? Action::Drop : Action::Retry)));
}
