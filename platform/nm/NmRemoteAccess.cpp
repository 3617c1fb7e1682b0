#include "platform/nm/NmRemoteAccess.h"

#include "platform/nm/DialStates.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstring>

namespace vorn::nm
{

// One activation, dialed here or found in NetworkManager's list. Records
// outlive their active connection until hung up, so the status of a failed
// or broken line can still be asked.
struct NmRemoteAccess::Line {
    NmRemoteAccess* owner = nullptr;
    RasHandle handle = 0;
    bool dialedHere = false;
    QByteArray uuid; // of the profile, to recognise its active connection
    QByteArray type;
    QByteArray deviceName;
    NMActiveConnection* active = nullptr;
    NMDevice* device = nullptr;
    // Where notifications go; null once the attempt is over.
    QPointer<QObject> receiver;
    DialProgress progress;
    std::uint32_t error = 0;
    bool failed = false;
    bool ended = false; // connected, then went down
    bool hungUp = false;
    // Traffic since the first count after connecting: the device's counters
    // may hold earlier connections too.
    NMDevice* trafficDevice = nullptr; // null until found
    bool trafficKnown = false;
    std::uint64_t rxStart = 0;
    std::uint64_t txStart = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;

    Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
    ~Line() { detach(); }

    void detach()
    {
        for (auto** object : { reinterpret_cast<GObject**>(&active), reinterpret_cast<GObject**>(&device),
                 reinterpret_cast<GObject**>(&trafficDevice) }) {
            if (*object == nullptr)
                continue;
            g_signal_handlers_disconnect_by_data(*object, this);
            g_object_unref(*object);
            *object = nullptr;
        }
    }
};

namespace
{

struct Activation {
    NmRemoteAccess* owner;
    RasHandle handle;
};

bool cancelled(const GError* error)
{
    return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// libnm reports through GLib's default main context. Qt iterates it only
// with its GLib event dispatcher, and only on the UI thread.
bool glibContextRunsInQt()
{
    const auto* app = QCoreApplication::instance();
    const auto* dispatcher = QAbstractEventDispatcher::instance();
    return app != nullptr && QThread::currentThread() == app->thread() && dispatcher != nullptr
        && dispatcher->inherits("QEventDispatcherGlib");
}

NMRemoteConnection* dialableProfile(NMClient* client, const QByteArray& name)
{
    const GPtrArray* profiles = nm_client_get_connections(client);
    for (guint i = 0; i < profiles->len; ++i) {
        auto* profile = NM_CONNECTION(profiles->pdata[i]);
        if (isDialable(profile) && QByteArray(nm_connection_get_id(profile)).compare(name, Qt::CaseInsensitive) == 0)
            return NM_REMOTE_CONNECTION(profile);
    }
    return nullptr;
}

// Fills records of `Record` from `items` the way the published enumerations do.
template <typename Record, typename Items, typename Fill>
std::uint32_t fillRecords(
    const Items& items, Record* records, std::uint32_t* bufferBytes, std::uint32_t* count, Fill fill)
{
    const auto capacity = *bufferBytes / sizeof(Record);
    const auto total = static_cast<std::size_t>(items.size());
    for (std::size_t i = 0; i < std::min(capacity, total); ++i) {
        records[i].dwSize = sizeof(Record);
        fill(records[i], items[static_cast<qsizetype>(i)]);
    }
    *count = static_cast<std::uint32_t>(total);
    if (total > capacity) {
        *bufferBytes = static_cast<std::uint32_t>(total * sizeof(Record));
        return ras::BufferTooSmall;
    }
    return ras::Success;
}

} // namespace

// libnm's callbacks, turned into calls on the service.
constexpr char StatisticsInterface[] = "org.freedesktop.NetworkManager.Device.Statistics";

// Sets how often NetworkManager refreshes a device's counters (0: never);
// nothing waits for the answer.
void setStatisticsRate(NMClient* client, NMDevice* device, std::uint32_t milliseconds)
{
    g_dbus_connection_call(nm_client_get_dbus_connection(client), "org.freedesktop.NetworkManager",
        nm_object_get_path(NM_OBJECT(device)), "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", StatisticsInterface, "RefreshRateMs", g_variant_new_uint32(milliseconds)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

struct Reports {
    // The counters of a line's device, asked for by connectionTraffic().
    static void statisticsRead(GObject* bus, GAsyncResult* result, gpointer data)
    {
        const std::unique_ptr<Activation> read(static_cast<Activation*>(data));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
        if (error != nullptr) {
            g_error_free(error);
            return;
        }
        GVariant* properties = nullptr;
        g_variant_get(reply, "(@a{sv})", &properties);
        guint64 rx = 0;
        guint64 tx = 0;
        const bool counted = g_variant_lookup(properties, "RxBytes", "t", &rx) != 0
            && g_variant_lookup(properties, "TxBytes", "t", &tx) != 0;
        g_variant_unref(properties);
        g_variant_unref(reply);
        NmRemoteAccess::Line* line = read->owner->find(read->handle);
        if (line == nullptr || !counted)
            return;
        if (!line->trafficKnown) {
            line->rxStart = rx;
            line->txStart = tx;
            line->trafficKnown = true;
        }
        line->bytesIn = rx - std::min<std::uint64_t>(rx, line->rxStart);
        line->bytesOut = tx - std::min<std::uint64_t>(tx, line->txStart);
    }

    static void activationDone(GObject* client, GAsyncResult* result, gpointer data)
    {
        const std::unique_ptr<Activation> activation(static_cast<Activation*>(data));
        GError* error = nullptr;
        NMActiveConnection* active = nm_client_activate_connection_finish(NM_CLIENT(client), result, &error);
        if (error != nullptr && cancelled(error)) {
            // The service is gone; nothing of it may be touched.
            g_error_free(error);
            return;
        }
        NmRemoteAccess& self = *activation->owner;
        if (auto* line = self.find(activation->handle)) {
            if (error != nullptr && line->hungUp)
                self.erase(line->handle);
            else if (error != nullptr)
                self.fail(*line, rasErrorOfActivation(error), QString::fromUtf8(error->message));
            else if (line->active == nullptr)
                self.attach(*line, active);
        }
        if (active != nullptr)
            g_object_unref(active);
        if (error != nullptr)
            g_error_free(error);
    }

    // A new activation: ours when it is the profile of an attempt still waiting for it.
    static void activeAdded(NMClient*, NMActiveConnection* active, gpointer data)
    {
        auto& self = *static_cast<NmRemoteAccess*>(data);
        const QByteArray uuid = nm_active_connection_get_uuid(active);
        for (auto& [handle, line] : self.lines_) {
            if (line->dialedHere && line->active == nullptr && !line->failed && line->uuid == uuid) {
                self.attach(*line, active);
                return;
            }
        }
    }

    static void activeRemoved(NMClient*, NMActiveConnection* active, gpointer data)
    {
        auto& self = *static_cast<NmRemoteAccess*>(data);
        NmRemoteAccess::Line* line = self.lineOf(active);
        if (line == nullptr)
            return;
        if (line->hungUp || !line->dialedHere) {
            self.erase(line->handle);
            return;
        }
        const auto reason = NM_ACTIVE_CONNECTION_STATE_REASON_DEVICE_DISCONNECTED;
        self.ended(*line, rasErrorOf(reason), reasonText(reason));
        line->detach();
    }

    static void runningChanged(GObject*, GParamSpec*, gpointer data)
    {
        auto& self = *static_cast<NmRemoteAccess*>(data);
        if (self.running())
            return;
        const auto reason = NM_ACTIVE_CONNECTION_STATE_REASON_SERVICE_STOPPED;
        for (auto& [handle, line] : self.lines_)
            self.ended(*line, rasErrorOf(reason), reasonText(reason));
    }

    static void activeStateChanged(NMActiveConnection*, guint state, guint reason, gpointer data)
    {
        auto& line = *static_cast<NmRemoteAccess::Line*>(data);
        line.owner->activeState(
            line, static_cast<NMActiveConnectionState>(state), static_cast<NMActiveConnectionStateReason>(reason));
    }

    static void vpnStateChanged(GObject* vpn, GParamSpec*, gpointer data)
    {
        auto& line = *static_cast<NmRemoteAccess::Line*>(data);
        if (!line.failed)
            line.owner->report(
                line, line.progress.vpnStateChanged(nm_vpn_connection_get_vpn_state(NM_VPN_CONNECTION(vpn))));
    }

    static void deviceStateChanged(NMDevice*, guint state, guint, guint reason, gpointer data)
    {
        auto& line = *static_cast<NmRemoteAccess::Line*>(data);
        line.owner->deviceState(line, static_cast<NMDeviceState>(state), static_cast<NMDeviceStateReason>(reason));
    }

    static void devicesChanged(GObject*, GParamSpec*, gpointer data)
    {
        auto& line = *static_cast<NmRemoteAccess::Line*>(data);
        line.owner->takeDevice(line);
    }
};

NmRemoteAccess::NmRemoteAccess(std::uint16_t dialEvent)
    : dialEvent_(dialEvent)
{
    if (!glibContextRunsInQt()) {
        qWarning("NetworkManager: Qt does not run GLib's main context on this thread; no report would arrive");
        return;
    }
    GError* error = nullptr;
    client_ = nm_client_new(nullptr, &error);
    if (client_ == nullptr) {
        qWarning("NetworkManager: %s", error->message);
        g_error_free(error);
        return;
    }
    cancellable_ = g_cancellable_new();
    g_signal_connect(client_, NM_CLIENT_ACTIVE_CONNECTION_ADDED, G_CALLBACK(Reports::activeAdded), this);
    g_signal_connect(client_, NM_CLIENT_ACTIVE_CONNECTION_REMOVED, G_CALLBACK(Reports::activeRemoved), this);
    g_signal_connect(client_, "notify::" NM_CLIENT_NM_RUNNING, G_CALLBACK(Reports::runningChanged), this);
}

NmRemoteAccess::~NmRemoteAccess()
{
    lines_.clear();
    if (client_ == nullptr)
        return;
    g_cancellable_cancel(cancellable_);
    g_signal_handlers_disconnect_by_data(client_, this);
    g_object_unref(cancellable_);
    g_object_unref(client_);
}

bool NmRemoteAccess::running() const
{
    return client_ != nullptr && nm_client_get_nm_running(client_);
}

NmRemoteAccess::Line* NmRemoteAccess::find(RasHandle handle) const
{
    const auto found = lines_.find(handle);
    return found == lines_.end() ? nullptr : found->second.get();
}

NmRemoteAccess::Line* NmRemoteAccess::lineOf(NMActiveConnection* active)
{
    for (auto& [handle, line] : lines_) {
        if (line->active == active)
            return line.get();
    }
    return nullptr;
}

NmRemoteAccess::Line& NmRemoteAccess::addLine()
{
    auto line = std::make_unique<Line>();
    line->owner = this;
    line->handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    Line& added = *line;
    lines_.emplace(added.handle, std::move(line));
    return added;
}

void NmRemoteAccess::erase(RasHandle handle)
{
    lines_.erase(handle);
}

void NmRemoteAccess::attach(Line& line, NMActiveConnection* active)
{
    line.active = NM_ACTIVE_CONNECTION(g_object_ref(active));
    line.type = nm_active_connection_get_connection_type(active);
    g_signal_connect(active, "state-changed", G_CALLBACK(Reports::activeStateChanged), &line);
    if (NM_IS_VPN_CONNECTION(active)) {
        g_signal_connect(active, "notify::" NM_VPN_CONNECTION_VPN_STATE, G_CALLBACK(Reports::vpnStateChanged), &line);
    } else {
        g_signal_connect(active, "notify::" NM_ACTIVE_CONNECTION_DEVICES, G_CALLBACK(Reports::devicesChanged), &line);
    }
    if (line.hungUp) {
        deactivate(line);
        return;
    }
    // Catch up with what happened before we listened: device and VPN first,
    // as the active connection's own state comes last in the published order.
    takeDevice(line);
    if (NM_IS_VPN_CONNECTION(active))
        report(line, line.progress.vpnStateChanged(nm_vpn_connection_get_vpn_state(NM_VPN_CONNECTION(active))));
    activeState(line, nm_active_connection_get_state(active), nm_active_connection_get_state_reason(active));
}

void NmRemoteAccess::takeDevice(Line& line)
{
    const GPtrArray* devices = nm_active_connection_get_devices(line.active);
    if (devices->len == 0 || line.device != nullptr)
        return;
    auto* device = NM_DEVICE(devices->pdata[0]);
    line.deviceName = nm_device_get_iface(device);
    // A VPN's device is the link it runs over, up long before: its states are not ours.
    if (NM_IS_VPN_CONNECTION(line.active))
        return;
    line.device = NM_DEVICE(g_object_ref(device));
    g_signal_connect(device, "state-changed", G_CALLBACK(Reports::deviceStateChanged), &line);
    deviceState(line, nm_device_get_state(device), nm_device_get_state_reason(device));
}

void NmRemoteAccess::activeState(Line& line, NMActiveConnectionState state, NMActiveConnectionStateReason reason)
{
    if (line.hungUp) {
        if (state == NM_ACTIVE_CONNECTION_STATE_DEACTIVATED)
            erase(line.handle);
        return;
    }
    if (state == NM_ACTIVE_CONNECTION_STATE_DEACTIVATING || state == NM_ACTIVE_CONNECTION_STATE_DEACTIVATED) {
        if (line.progress.connected())
            ended(line, rasErrorOfBreak(reason), reasonText(reason));
        else
            fail(line, rasErrorOf(reason), reasonText(reason));
        return;
    }
    if (!line.failed)
        report(line, line.progress.activeStateChanged(state));
}

void NmRemoteAccess::deviceState(Line& line, NMDeviceState state, NMDeviceStateReason reason)
{
    if (line.failed || line.progress.connected())
        return;
    // The device's reason says more than the active connection's that follows it.
    if (state == NM_DEVICE_STATE_FAILED)
        fail(line, rasErrorOf(reason), reasonText(reason));
    else
        report(line, line.progress.deviceStateChanged(state));
}

void NmRemoteAccess::report(Line& line, const QList<std::uint32_t>& states)
{
    for (const auto state : states) {
        if (line.receiver)
            QCoreApplication::postEvent(line.receiver, new RasDialEvent(dialEvent_, state, 0));
    }
    // Nothing follows a connection, as with every other backend.
    if (line.progress.connected())
        line.receiver = nullptr;
}

void NmRemoteAccess::fail(Line& line, std::uint32_t code, const QString& reason)
{
    if (line.failed || line.progress.connected())
        return;
    line.failed = true;
    line.error = code;
    reasons_.insert(code, reason);
    if (line.receiver)
        QCoreApplication::postEvent(line.receiver, new RasDialEvent(dialEvent_, line.progress.state(), code));
    line.receiver = nullptr;
}

void NmRemoteAccess::ended(Line& line, std::uint32_t code, const QString& reason)
{
    if (!line.progress.connected()) {
        fail(line, code, reason);
        return;
    }
    if (line.ended)
        return;
    line.ended = true;
    line.error = code;
    reasons_.insert(code, reason);
}

bool NmRemoteAccess::deactivate(Line& line)
{
    // Waits for NetworkManager's answer, so that the request is out even when
    // the caller ends right after (vorn-rasdial /DISCONNECT).
    constexpr int TimeoutMs = 5000;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(nm_client_get_dbus_connection(client_), NM_DBUS_SERVICE, NM_DBUS_PATH,
        NM_DBUS_INTERFACE, "DeactivateConnection", g_variant_new("(o)", nm_object_get_path(NM_OBJECT(line.active))),
        G_VARIANT_TYPE("()"), G_DBUS_CALL_FLAGS_NONE, TimeoutMs, nullptr, &error);
    if (reply != nullptr) {
        g_variant_unref(reply);
        return true;
    }
    // A connection that is no longer active is as good as hung up.
    g_autofree char* remote = g_dbus_error_get_remote_error(error);
    const bool gone
        = remote != nullptr && std::strcmp(remote, "org.freedesktop.NetworkManager.ConnectionNotActive") == 0;
    if (!gone)
        qWarning("NetworkManager: hanging up failed: %s", error->message);
    g_error_free(error);
    return gone;
}

std::uint32_t NmRemoteAccess::enumEntries(
    const char*, RASENTRYNAME* entries, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    // NetworkManager keeps one set of profiles, whatever phonebook is named.
    if (bufferBytes == nullptr || count == nullptr || (entries == nullptr && *bufferBytes != 0))
        return ras::InvalidParameter;
    *count = 0;
    if (!running())
        return ras::ServiceUnavailable;
    QList<QByteArray> names;
    const GPtrArray* profiles = nm_client_get_connections(client_);
    for (guint i = 0; i < profiles->len; ++i) {
        auto* profile = NM_CONNECTION(profiles->pdata[i]);
        if (isDialable(profile))
            names.append(nm_connection_get_id(profile));
    }
    return fillRecords(names, entries, bufferBytes, count,
        [](RASENTRYNAME& record, const QByteArray& name) { copyToField(record.szEntryName, name); });
}

std::uint32_t NmRemoteAccess::enumConnections(RASCONN* connections, std::uint32_t* bufferBytes, std::uint32_t* count)
{
    if (bufferBytes == nullptr || count == nullptr || (connections == nullptr && *bufferBytes != 0))
        return ras::InvalidParameter;
    *count = 0;
    if (!running())
        return ras::ServiceUnavailable;
    QList<const Line*> shown;
    const GPtrArray* actives = nm_client_get_active_connections(client_);
    for (guint i = 0; i < actives->len; ++i) {
        auto* active = NM_ACTIVE_CONNECTION(actives->pdata[i]);
        if (nm_active_connection_get_state(active) != NM_ACTIVE_CONNECTION_STATE_ACTIVATED)
            continue;
        NMRemoteConnection* profile = nm_active_connection_get_connection(active);
        if (profile == nullptr ? !isDialable(nm_active_connection_get_connection_type(active))
                               : !isDialable(NM_CONNECTION(profile)))
            continue;
        Line* line = lineOf(active);
        if (line == nullptr) {
            // Dialed elsewhere (another program, nmcli): it gets a handle of ours.
            line = &addLine();
            attach(*line, active);
        }
        if (!line->hungUp && !line->ended)
            shown.append(line);
    }
    return fillRecords(shown, connections, bufferBytes, count, [](RASCONN& record, const Line* line) {
        record.hrasconn = line->handle;
        copyToField(record.szEntryName, nm_active_connection_get_id(line->active));
        copyToField(record.szDeviceType, line->type);
        copyToField(record.szDeviceName, line->deviceName);
    });
}

std::uint32_t NmRemoteAccess::dial(const char*, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle)
{
    // The profile holds its own secrets: user name and password are NetworkManager's to ask for.
    if (handle == nullptr || params.dwSize != sizeof(RASDIALPARAMS))
        return ras::InvalidParameter;
    if (!running())
        return ras::ServiceUnavailable;
    NMRemoteConnection* profile = dialableProfile(client_, fieldText(params.szEntryName));
    if (profile == nullptr)
        return ras::CannotFindPhonebookEntry;
    // Subscribed before the request goes out: the client's "active connection
    // added" report brings the activation to attach() before its first change.
    Line& line = addLine();
    line.dialedHere = true;
    line.receiver = receiver;
    line.uuid = nm_connection_get_uuid(NM_CONNECTION(profile));
    line.type = nm_connection_get_connection_type(NM_CONNECTION(profile));
    nm_client_activate_connection_async(client_, NM_CONNECTION(profile), nullptr, nullptr, cancellable_,
        Reports::activationDone, new Activation { this, line.handle });
    *handle = line.handle;
    return ras::Success;
}

std::uint32_t NmRemoteAccess::hangUp(RasHandle handle)
{
    Line* line = find(handle);
    if (line == nullptr || line->hungUp)
        return ras::InvalidHandle;
    if (line->active != nullptr && !line->failed && !line->ended && running() && !deactivate(*line))
        return ras::ServiceUnavailable;
    line->hungUp = true;
    line->receiver = nullptr;
    if (line->trafficDevice != nullptr && running())
        setStatisticsRate(client_, line->trafficDevice, 0);
    // A line going down is kept, out of sight, until NetworkManager drops it,
    // so that it does not come back as a line dialed elsewhere. An activation
    // still on its way is deactivated by attach() when it arrives.
    if (line->failed || line->ended || !running())
        erase(handle);
    return ras::Success;
}

std::uint32_t NmRemoteAccess::connectStatus(RasHandle handle, RASCONNSTATUS* status)
{
    if (status == nullptr || status->dwSize != sizeof(RASCONNSTATUS))
        return ras::InvalidParameter;
    const Line* line = find(handle);
    if (line == nullptr || line->hungUp)
        return ras::InvalidHandle;
    status->rasconnstate = line->ended ? ras::Disconnected : line->progress.state();
    status->dwError = line->error;
    copyToField(status->szDeviceType, line->type);
    copyToField(status->szDeviceName, line->deviceName);
    return ras::Success;
}

// The device that carries a line's traffic: its own, or for a VPN the tunnel
// device that holds the VPN's address (the VPN's device is the link below).
NMDevice* NmRemoteAccess::carrier(const Line& line) const
{
    if (!NM_IS_VPN_CONNECTION(line.active))
        return line.device;
    NMIPConfig* vpn = nm_active_connection_get_ip4_config(line.active);
    if (vpn == nullptr || nm_ip_config_get_addresses(vpn)->len == 0)
        return nullptr;
    const QByteArray address
        = nm_ip_address_get_address(static_cast<NMIPAddress*>(nm_ip_config_get_addresses(vpn)->pdata[0]));
    const GPtrArray* devices = nm_client_get_all_devices(client_);
    for (guint i = 0; i < devices->len; ++i) {
        auto* device = NM_DEVICE(devices->pdata[i]);
        NMIPConfig* config = nm_device_get_ip4_config(device);
        const GPtrArray* addresses = config != nullptr ? nm_ip_config_get_addresses(config) : nullptr;
        for (guint j = 0; addresses != nullptr && j < addresses->len; ++j) {
            if (address == nm_ip_address_get_address(static_cast<NMIPAddress*>(addresses->pdata[j])))
                return device;
        }
    }
    return nullptr;
}

std::uint32_t NmRemoteAccess::connectionTraffic(RasHandle handle, std::uint64_t* bytesIn, std::uint64_t* bytesOut)
{
    Line* line = find(handle);
    if (line == nullptr || line->hungUp || line->ended || !line->progress.connected() || !running())
        return ras::InvalidParameter;
    if (line->trafficDevice == nullptr) {
        NMDevice* device = carrier(*line);
        if (device == nullptr)
            return ras::InvalidParameter;
        line->trafficDevice = NM_DEVICE(g_object_ref(device));
        // The counters are kept up to date only while a refresh rate is set.
        setStatisticsRate(client_, line->trafficDevice, 1000);
    }
    // Answered on the way: each call reports what the last one learned.
    g_dbus_connection_call(nm_client_get_dbus_connection(client_), "org.freedesktop.NetworkManager",
        nm_object_get_path(NM_OBJECT(line->trafficDevice)), "org.freedesktop.DBus.Properties", "GetAll",
        g_variant_new("(s)", StatisticsInterface), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 1000,
        cancellable_, Reports::statisticsRead, new Activation { this, handle });
    if (!line->trafficKnown)
        return ras::InvalidParameter;
    *bytesIn = line->bytesIn;
    *bytesOut = line->bytesOut;
    return ras::Success;
}

std::uint32_t NmRemoteAccess::errorString(std::uint32_t code, char* buffer, std::uint32_t size)
{
    QString text = rasErrorText(code);
    if (const QString reason = reasons_.value(code); !reason.isEmpty())
        text += QStringLiteral(" (NetworkManager: %1)").arg(reason);
    if (buffer == nullptr || text.isEmpty())
        return ras::InvalidParameter;
    copyToField(buffer, size, text.trimmed().toUtf8());
    return ras::Success;
}

QString NmRemoteAccess::dialerCaptionTemplate()
{
    return QString();
}

QString NmRemoteAccess::connectedWindowTitle()
{
    return QString();
}

} // namespace vorn::nm
