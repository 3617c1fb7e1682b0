#pragma once

#include "platform/RemoteAccess.h"
#include "platform/nm/LibNm.h"

#include <QHash>
#include <QString>

#include <map>
#include <memory>

namespace vorn::nm
{

// The remote-access service over NetworkManager (libnm). Phonebook entries
// are its dial-able connection profiles, dialing activates one, hanging up
// deactivates it. libnm runs in GLib's default main context, which Qt's event
// dispatcher iterates on the UI thread, so its reports, and the dial-progress
// notifications made of them, arrive there without a thread of our own.
class NmRemoteAccess final : public RemoteAccess
{
public:
    // Dial progress is posted under `dialEvent`: the program's number, as
    // the module keeps no registry of numbers of its own.
    explicit NmRemoteAccess(std::uint16_t dialEvent = dialEventMessage());
    ~NmRemoteAccess() override;
    NmRemoteAccess(const NmRemoteAccess&) = delete;
    NmRemoteAccess& operator=(const NmRemoteAccess&) = delete;

    std::uint32_t enumEntries(
        const char* phonebook, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count) override;
    std::uint32_t enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count) override;
    std::uint32_t dial(
        const char* phonebook, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle) override;
    std::uint32_t hangUp(RasHandle handle) override;
    std::uint32_t connectStatus(RasHandle handle, RASCONNSTATUS* status) override;
    // From NetworkManager's device statistics, refreshed every second while connected.
    std::uint32_t connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut) override;
    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override;
    // NetworkManager shows no status window: both are empty.
    QString dialerCaptionTemplate() override;
    QString connectedWindowTitle() override;

private:
    struct Line;

    bool running() const;
    Line* find(RasHandle handle) const;
    NMDevice* carrier(const Line& line) const;
    Line* lineOf(NMActiveConnection* active);
    Line& addLine();
    void erase(RasHandle handle);
    void attach(Line& line, NMActiveConnection* active);
    bool deactivate(Line& line);
    void takeDevice(Line& line);
    void activeState(Line& line, NMActiveConnectionState state, NMActiveConnectionStateReason reason);
    void deviceState(Line& line, NMDeviceState state, NMDeviceStateReason reason);

    void fail(Line& line, std::uint32_t code, const QString& reason);
    void report(Line& line, const QList<std::uint32_t>& states);
    void ended(Line& line, std::uint32_t code, const QString& reason);

    // libnm's callbacks.
    friend struct Reports;

    const std::uint16_t dialEvent_;
    NMClient* client_ = nullptr;
    GCancellable* cancellable_ = nullptr;
    RasHandle nextHandle_ = 1;
    std::map<RasHandle, std::unique_ptr<Line>> lines_;
    // NetworkManager's words for the last failure of each code.
    QHash<std::uint32_t, QString> reasons_;
};

} // namespace vorn::nm
