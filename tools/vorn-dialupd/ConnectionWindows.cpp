#include "ConnectionWindows.h"

#include "DialupService.h"
#include "platform/sim/SimDialer.h"

#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vorn::sim
{

namespace
{

QString elapsedText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The status window of one connection. Closing it only minimizes it: the
// connection goes on and the window stays reachable from the task bar.
class StatusWindow : public QWidget
{
public:
    StatusWindow(const QString& entry, const QString& deviceName, std::function<void()> disconnect)
    {
        setWindowTitle(captionTemplate().replace(QStringLiteral("%s"), entry));
        setMinimumWidth(320); // room for the title
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Connected through %1").arg(deviceName), this));
        auto* duration = new QLabel(this);
        layout->addWidget(duration);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        auto* disconnectButton = new QPushButton(QStringLiteral("Dis&connect"), this);
        buttons->addWidget(disconnectButton);
        layout->addLayout(buttons);
        connect(disconnectButton, &QPushButton::clicked, this, std::move(disconnect));

        since_.start();
        auto update = [this, duration] {
            duration->setText(QStringLiteral("Duration: ") + elapsedText(since_.elapsed() / 1000));
        };
        update();
        auto* ticker = new QTimer(this);
        connect(ticker, &QTimer::timeout, this, update);
        ticker->start(1000);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        showMinimized();
    }

private:
    QElapsedTimer since_;
};

QWidget* makeNotice(const QString& entry)
{
    auto* notice = new QDialog;
    notice->setWindowTitle(connectedWindowTitle());
    notice->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(notice);
    layout->addWidget(new QLabel(QStringLiteral("You are now connected to %1.").arg(entry), notice));
    auto* close = new QPushButton(QStringLiteral("Close"), notice);
    layout->addWidget(close, 0, Qt::AlignRight);
    QObject::connect(close, &QPushButton::clicked, notice, &QDialog::accept);
    return notice;
}

} // namespace

ConnectionWindows::ConnectionWindows(DialupService& service)
    : service_(service)
{
    connect(&service, &DialupService::lineConnected, this, &ConnectionWindows::showConnected);
    connect(&service, &DialupService::lineGone, this, &ConnectionWindows::closeWindows);
}

ConnectionWindows::~ConnectionWindows()
{
    for (const auto& windows : std::as_const(windows_)) {
        delete windows.notice;
        delete windows.status;
    }
}

void ConnectionWindows::showConnected(RasHandle handle, const QString& entry, const QString& deviceName)
{
    Windows windows;
    windows.status = new StatusWindow(entry, deviceName, [this, handle] { service_.hangUp(handle); });
    windows.status->show();
    windows.notice = makeNotice(entry);
    windows.notice->show();
    windows_.insert(handle, windows);
}

void ConnectionWindows::closeWindows(RasHandle handle)
{
    const Windows windows = windows_.take(handle);
    delete windows.notice;
    // The Disconnect button's own click may be what brought us here.
    if (windows.status)
        windows.status->deleteLater();
}

} // namespace vorn::sim
