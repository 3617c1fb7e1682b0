#pragma once

#include "platform/RemoteAccess.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QPointer>

#include <cstring>
#include <vector>

// A remote-access service scripted by the test: it answers from its fields
// and records what it was asked.
class FakeRemoteAccess : public vorn::RemoteAccess
{
public:
    struct Status {
        std::uint32_t result = 0;
        std::uint32_t state = 0;
        std::uint32_t error = 0;
        QByteArray deviceType;
        QByteArray deviceName;
    };

    // Enumerations: the result, the names or records, how many of them are
    // written into the buffer (-1: as many as fit) and the count reported.
    std::uint32_t entriesResult = 0;
    QList<QByteArray> entryNames;
    int entriesWritten = -1;
    std::vector<vorn::RASCONN> connections;
    std::uint32_t connectionsResult = 0;
    int connectionsWritten = -1;

    std::uint32_t dialResult = 0;
    vorn::RasHandle nextHandle = 100;
    std::uint32_t hangUpResult = 0;
    QHash<vorn::RasHandle, Status> statuses;
    QHash<std::uint32_t, QByteArray> errorTexts;
    // Traffic of a held line, counted only when `countsTraffic`.
    bool countsTraffic = false;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;

    // What was asked.
    QList<QByteArray> phonebooksAsked; // "<none>" for a null phonebook
    std::uint32_t lastEntriesBytes = 0;
    std::uint32_t lastEntriesFirstSize = 0;
    std::uint32_t lastConnectionsBytes = 0;
    std::uint32_t lastConnectionsFirstSize = 0;
    vorn::RASDIALPARAMS lastParams {};
    QPointer<QObject> receiver;
    QList<vorn::RasHandle> hungUp;
    QList<vorn::RasHandle> statusAsked;
    int errorStringCalls = 0;

    std::uint32_t enumEntries(
        const char* phonebook, vorn::RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count) override
    {
        phonebooksAsked.append(phonebook == nullptr ? QByteArray("<none>") : QByteArray(phonebook));
        lastEntriesBytes = *bufferBytes;
        lastEntriesFirstSize = entries[0].dwSize;
        const auto capacity = static_cast<int>(*bufferBytes / sizeof(vorn::RASENTRYNAME));
        const int written = entriesWritten >= 0 ? entriesWritten : std::min(capacity, int(entryNames.size()));
        for (int i = 0; i < written; ++i)
            vorn::copyToField(entries[i].szEntryName, entryNames[i]);
        *count = static_cast<std::uint32_t>(entryNames.size());
        return entriesResult;
    }

    std::uint32_t enumConnections(vorn::RASCONN* records, std::uint32_t* bufferBytes, std::uint32_t* count) override
    {
        lastConnectionsBytes = *bufferBytes;
        lastConnectionsFirstSize = records[0].dwSize;
        const auto capacity = static_cast<int>(*bufferBytes / sizeof(vorn::RASCONN));
        const int written = connectionsWritten >= 0 ? connectionsWritten : std::min(capacity, int(connections.size()));
        for (int i = 0; i < written; ++i)
            records[i] = connections[static_cast<std::size_t>(i)];
        *count = static_cast<std::uint32_t>(connections.size());
        return connectionsResult;
    }

    std::uint32_t dial(const char* phonebook, const vorn::RASDIALPARAMS& params, QObject* notifyReceiver,
        vorn::RasHandle* handle) override
    {
        phonebooksAsked.append(phonebook == nullptr ? QByteArray("<none>") : QByteArray(phonebook));
        lastParams = params;
        receiver = notifyReceiver;
        *handle = nextHandle;
        if (dialResult == 0)
            statuses.insert(nextHandle, Status {});
        return dialResult;
    }

    std::uint32_t hangUp(vorn::RasHandle handle) override
    {
        hungUp.append(handle);
        statuses.remove(handle);
        return hangUpResult;
    }

    std::uint32_t connectStatus(vorn::RasHandle handle, vorn::RASCONNSTATUS* status) override
    {
        statusAsked.append(handle);
        const auto found = statuses.constFind(handle);
        if (found == statuses.cend())
            return vorn::ras::InvalidHandle;
        if (found->result != 0)
            return found->result;
        status->rasconnstate = found->state;
        status->dwError = found->error;
        vorn::copyToField(status->szDeviceType, found->deviceType);
        vorn::copyToField(status->szDeviceName, found->deviceName);
        return 0;
    }

    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override
    {
        ++errorStringCalls;
        const auto found = errorTexts.constFind(code);
        if (found == errorTexts.cend())
            return vorn::ras::InvalidParameter;
        vorn::copyToField(buffer, size, *found);
        return 0;
    }

    std::uint32_t connectionTraffic(vorn::RasHandle handle, std::uint64_t* in, std::uint64_t* out) override
    {
        if (!countsTraffic || !statuses.contains(handle))
            return vorn::ras::InvalidParameter;
        *in = bytesIn;
        *out = bytesOut;
        return 0;
    }

    QString dialerCaptionTemplate() override { return QStringLiteral("Connected to %s"); }
    QString connectedWindowTitle() override { return QStringLiteral("Connection Established"); }

    // Posts a progress notification to the receiver of the last dial and
    // delivers it; the status of the held handle follows it.
    void notify(std::uint32_t state, std::uint32_t error = 0)
    {
        if (auto found = statuses.find(nextHandle); found != statuses.end()) {
            found->state = state;
            found->error = error;
        }
        if (receiver)
            QCoreApplication::postEvent(receiver, new vorn::RasDialEvent(vorn::dialEventMessage(), state, error));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static vorn::RASCONN connection(vorn::RasHandle handle, const QByteArray& entry)
    {
        vorn::RASCONN record {};
        record.dwSize = sizeof record;
        record.hrasconn = handle;
        vorn::copyToField(record.szEntryName, entry);
        return record;
    }
};
