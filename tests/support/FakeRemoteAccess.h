#pragma once

#include "platform/RemoteAccess.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace vorn::test
{

// The remote-access service of the unit tests: answers from its fields,
// records what it was asked; lines answer by `outcomes` or by notify().
class FakeRemoteAccess : public RemoteAccess
{
public:
    enum class Outcome { Ring, Busy, Refuse, Connect }; // Ring: never answers by itself
    struct Status {
        std::uint32_t state = ras::OpenPort;
        std::uint32_t error = 0;
        QByteArray deviceType;
        QByteArray deviceName;
    };
    struct Call {
        QString entry;
        qint64 dialedAt; // ms on `clock`
        qint64 hungUpAt = -1;
        RasHandle handle = 0;
    };
    static constexpr int AnswerDelay = 50; // ms from dial to a scripted answer

    // Non-zero results are returned as they are.
    QList<QByteArray> entryNames;
    std::uint32_t entriesResult = 0;
    std::vector<RASCONN> connections;
    std::uint32_t connectionsResult = 0;

    QHash<QString, Outcome> outcomes;
    std::uint32_t dialResult = 0;
    RasHandle nextHandle = 100;
    std::uint32_t hangUpResult = 0;
    QHash<RasHandle, Status> statuses; // the lines held
    QHash<std::uint32_t, QByteArray> errorTexts;
    bool countsTraffic = false;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    QString captionTemplate = QStringLiteral("Connected to %s");

    QElapsedTimer clock;
    std::vector<Call> calls;
    RASDIALPARAMS lastParams {};
    RasHandle lastHandle = 0;
    QPointer<QObject> receiver;
    QList<RasHandle> hungUp;
    QList<RasHandle> statusAsked;

    FakeRemoteAccess() { clock.start(); }

    QStringList dialed() const
    {
        QStringList names;
        for (const auto& call : calls)
            names.append(call.entry);
        return names;
    }
    int hangUps() const
    {
        return int(std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.hungUpAt >= 0; }));
    }
    // Every line breaks without a word, as a dropped modem line does.
    void dropLines() { statuses.clear(); }
    // Every line breaks and its status says why, until it is hung up.
    void breakLines()
    {
        for (Status& line : statuses) {
            line.state = ras::Disconnected;
            line.error = ras::RemoteDisconnection;
        }
    }

    std::uint32_t enumEntries(
        const char*, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count) override
    {
        const auto capacity = int(*bufferBytes / sizeof(RASENTRYNAME));
        for (int i = 0; i < std::min(capacity, int(entryNames.size())); ++i)
            copyToField(entries[i].szEntryName, entryNames[i]);
        *count = std::uint32_t(entryNames.size());
        if (entriesResult == 0 && entryNames.size() > capacity) {
            *bufferBytes = std::uint32_t(entryNames.size() * sizeof(RASENTRYNAME));
            return ras::BufferTooSmall;
        }
        return entriesResult;
    }

    std::uint32_t enumConnections(RASCONN* records, std::uint32_t* bufferBytes, std::uint32_t* count) override
    {
        std::vector<RASCONN> all = connections;
        for (const Call& call : calls) {
            const auto line = statuses.constFind(call.handle);
            if (line != statuses.cend() && line->state == ras::Connected && line->error == 0)
                all.push_back(connection(call.handle, call.entry.toUtf8()));
        }
        const auto capacity = int(*bufferBytes / sizeof(RASCONN));
        for (int i = 0; i < std::min(capacity, int(all.size())); ++i)
            records[i] = all[std::size_t(i)];
        *count = std::uint32_t(all.size());
        return connectionsResult;
    }

    std::uint32_t dial(const char*, const RASDIALPARAMS& params, QObject* notifyReceiver, RasHandle* handle) override
    {
        lastParams = params;
        receiver = notifyReceiver;
        *handle = lastHandle = nextHandle++;
        if (dialResult != 0)
            return dialResult;
        const QString entry = QString::fromUtf8(fieldText(params.szEntryName));
        statuses.insert(lastHandle, Status {});
        calls.push_back({ entry, clock.elapsed(), -1, lastHandle });
        const Outcome outcome = outcomes.value(entry, Outcome::Ring);
        if (outcome != Outcome::Ring)
            QTimer::singleShot(AnswerDelay, notifyReceiver, [this, notifyReceiver, h = lastHandle, outcome] {
                if (auto line = statuses.find(h); line != statuses.end()) {
                    line->state = outcome == Outcome::Connect ? ras::Connected : line->state;
                    line->error = outcome == Outcome::Busy ? ras::LineBusy
                        : outcome == Outcome::Refuse       ? ras::AuthenticationFailure
                                                           : 0;
                    QCoreApplication::postEvent(
                        notifyReceiver, new RasDialEvent(dialEventMessage(), line->state, line->error));
                }
            });
        return 0;
    }

    std::uint32_t hangUp(RasHandle handle) override
    {
        hungUp.append(handle);
        const auto call = std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.handle == handle; });
        if (statuses.remove(handle) > 0 && call != calls.end())
            call->hungUpAt = clock.elapsed();
        return hangUpResult;
    }

    std::uint32_t connectStatus(RasHandle handle, RASCONNSTATUS* status) override
    {
        statusAsked.append(handle);
        const auto found = statuses.constFind(handle);
        if (found == statuses.cend())
            return ras::InvalidHandle;
        status->rasconnstate = found->state;
        status->dwError = found->error;
        copyToField(status->szDeviceType, found->deviceType);
        copyToField(status->szDeviceName, found->deviceName);
        return 0;
    }

    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override
    {
        const auto found = errorTexts.constFind(code);
        if (found == errorTexts.cend())
            return ras::InvalidParameter;
        copyToField(buffer, size, *found);
        return 0;
    }

    std::uint32_t connectionTraffic(RasHandle handle, std::uint64_t* in, std::uint64_t* out) override
    {
        if (!countsTraffic || !statuses.contains(handle))
            return ras::InvalidParameter;
        *in = bytesIn;
        *out = bytesOut;
        return 0;
    }

    QString dialerCaptionTemplate() override { return captionTemplate; }
    QString connectedWindowTitle() override { return QStringLiteral("Connection Established"); }

    // Delivers a progress notification for the last dial; its line follows it.
    void notify(std::uint32_t state, std::uint32_t error = 0)
    {
        if (auto found = statuses.find(lastHandle); found != statuses.end()) {
            found->state = state;
            found->error = error;
        }
        if (receiver)
            QCoreApplication::postEvent(receiver, new RasDialEvent(dialEventMessage(), state, error));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static RASCONN connection(RasHandle handle, const QByteArray& entry)
    {
        RASCONN record {};
        record.dwSize = sizeof record;
        record.hrasconn = handle;
        copyToField(record.szEntryName, entry);
        return record;
    }
};

} // namespace vorn::test
