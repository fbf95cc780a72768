// The root object of the MIDI I/O layer: one MIDI services client, one serial event queue on which
// every operation and all incoming MIDI run, and five registries of managed objects keyed by a
// caller-chosen tag (input connections, output connections, virtual inputs, virtual outputs,
// non-persistent thru connections).
//
//     auto manager = MIDIManager::make("TessaloomMIDIModule", "Tessaloom", "Tessaloom");
//     manager->start();                 // creates the client, refreshes the lists
//     ...                               // add inputs and connections under tags
//     manager->removeAll();             // the client stays until the manager is released
//
// Threads. start(), the add operations, remove() and removeAll() run synchronously on the event
// queue; called from a task already on that queue they throw MIDIIOError (internalInconsistency)
// at once instead of waiting for themselves. Setup notifications of the services are handled as
// tasks on the event queue too, so registries and lists are only changed there. The other
// operations run on the caller's thread; the accessors may be called from any thread (registries
// are returned as copies).
//
// Lifetime. The manager is held by shared_ptr; its objects hold it weakly. Releasing it releases
// the registries (each object disposes its own services objects) and then disposes the client.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>

#include "dispatch/queue.hpp"
#include "midi_io/api_version.hpp"
#include "midi_io/endpoint_identity.hpp"
#include "midi_io/endpoint_lists.hpp"
#include "midi_io/notifications.hpp"
#include "midi_io/object_cache.hpp"
#include "midi_io/identifier_persistence.hpp"
#include "midi_io/receive_handler.hpp"
#include "midi_io/thru_connection.hpp"
#include "midiservices/services.hpp"
#include "observe/observe.hpp"

namespace midiio {

class MIDIInput;
class MIDIOutput;
class MIDIInputConnection;
class MIDIOutputConnection;
class MIDIManager : public MIDIManagedEndpoints,
                    public std::enable_shared_from_this<MIDIManager> {
  public:
    // The registry kinds, in case order.
    enum class ManagedType { inputConnection, outputConnection, input, output, nonPersistentThruConnection };
    static constexpr std::array<ManagedType, 5> allManagedTypes{
        ManagedType::inputConnection, ManagedType::outputConnection, ManagedType::input,
        ManagedType::output, ManagedType::nonPersistentThruConnection};

    // Every entry of a registry, or the entry of one tag.
    class TagSelection {
      public:
        enum class Case { all, withTag };
        static TagSelection all() { return TagSelection(Case::all, {}); }
        static TagSelection withTag(std::string tag) {
            return TagSelection(Case::withTag, std::move(tag));
        }
        Case selectionCase() const { return case_; }
        // The tag of `withTag`; empty for `all`.
        const std::string& tag() const { return tag_; }
        friend bool operator==(const TagSelection&, const TagSelection&) = default;
        // `all` feeds 0; `withTag` feeds 1, then the tag.
        size_t hash() const;

      private:
        TagSelection(Case c, std::string tag) : case_(c), tag_(std::move(tag)) {}
        Case case_;
        std::string tag_;
    };

    template <class T>
    using Registry = std::map<std::string, std::shared_ptr<T>>;

    // A host's replacement of the list refresh (see updateObjectsCache()).
    using ObjectsCacheUpdater = std::function<void(MIDIManager& manager)>;

    // Builds the queue and the holders; creates nothing in the services and does not fail.
    static std::shared_ptr<MIDIManager> make(std::string clientName, std::string model,
                                             std::string manufacturer);
    ~MIDIManager() override;
    MIDIManager(const MIDIManager&) = delete;
    MIDIManager& operator=(const MIDIManager&) = delete;

    // The identifier that starts every manager's queue label.
    static constexpr const char* libraryIdentifier = "org.tessaloom.midiio";
    // "<identifier>.midiManager.<client name's letters and digits>.events"; a UUID text stands for
    // a name with neither.
    static std::string eventQueueLabel(const std::string& clientName);

    const std::string& clientName() const { return clientName_; }
    const std::string& model() const { return model_; }
    const std::string& manufacturer() const { return manufacturer_; }
    // 0 until start() has created the client.
    midiservices::MIDIClientRef coreMIDIClientRef() const { return clientRef_.load(); }
    const std::shared_ptr<dispatch::Queue>& eventQueue() const { return eventQueue_; }

    // The interface new managed objects use; a version this system lacks is stored as the
    // packet-list interface.
    CoreMIDIAPIVersion preferredAPI() const;
    void setPreferredAPI(const CoreMIDIAPIVersion& api);

    Registry<MIDIInputConnection> managedInputConnections() const;
    Registry<MIDIOutputConnection> managedOutputConnections() const;
    Registry<MIDIInput> managedInputs() const;
    Registry<MIDIOutput> managedOutputs() const;
    Registry<MIDIThruConnection> managedThruConnections() const;
    // The number of entries of one registry.
    size_t registeredCount(ManagedType type) const;

    // The system's devices, and its destinations and sources with and without the manager's own,
    // as of the last refresh.
    const MIDIDevicesProtocol& devices() const { return *devices_; }
    const MIDIEndpointsProtocol& endpoints() const { return *endpoints_; }

    // Receives the setup notifications, on the main queue, one task per notification in arrival
    // order. Not called once the manager is gone.
    using NotificationHandler = std::function<void(const MIDIIONotification&, MIDIManager&)>;
    NotificationHandler notificationHandler() const;
    void setNotificationHandler(NotificationHandler handler);
    // The snapshot of the lists that describes removed objects; none before the first
    // notification that is not a removal.
    std::optional<MIDIIOObjectCache> notificationCache() const;

    // What the endpoint lists and filters know of the manager: its virtual endpoints.
    std::vector<int32_t> managedInputUniqueIDs() const override;
    std::vector<int32_t> managedOutputUniqueIDs() const override;
    std::vector<uint32_t> managedInputEndpointRefs() const override;
    std::vector<uint32_t> managedOutputEndpointRefs() const override;

    // Announced before every refresh of the device and endpoint lists.
    observe::Signal<>& objectWillChange() { return objectWillChange_; }

    // Creates the client if there is none yet, then refreshes the lists; a second call does
    // nothing. A failure of the services throws MIDIIOError (osStatus); the client reference then
    // stays 0 and a later call tries again.
    void start();

    // Adds a virtual input (a destination other software can send to) under `tag`, replacing
    // and releasing an earlier one, whose unique ID comes from `uniqueID` and is stored back
    // there once the endpoint exists. The input stays registered when its creation fails.
    // Throws MIDIIOError; "Could not read virtual MIDI endpoint unique ID." when the new
    // endpoint has none.
    void addInput(std::string name, std::string tag, const MIDIIdentifierPersistence& uniqueID,
                  const MIDIReceiver& receiver);
    // The same for a virtual output (a source other software can listen to).
    void addOutput(std::string name, std::string tag, const MIDIIdentifierPersistence& uniqueID);

    // Adds an input connection under `tag`, replacing and releasing an earlier one: it listens
    // (its port is created in this manager's client) and connects to the sources that match
    // `outputs` (ignored in `allEndpoints` mode, which takes every source and follows the setup),
    // less what `filter` leaves out. The connection stays registered when listening fails.
    // Throws MIDIIOError. The application's form: no outputs, `allEndpoints`, the owned filter.
    void addInputConnection(const MIDIEndpointIdentitySet& outputs, std::string tag,
                            MIDIConnectionMode mode, MIDIEndpointFilter filter,
                            const MIDIReceiver& receiver);
    void addInputConnection(const std::vector<MIDIEndpointIdentity>& outputs, std::string tag,
                            MIDIConnectionMode mode, MIDIEndpointFilter filter,
                            const MIDIReceiver& receiver);
    void addInputConnection(const std::vector<MIDIOutputEndpoint>& outputs, std::string tag,
                            MIDIConnectionMode mode, MIDIEndpointFilter filter,
                            const MIDIReceiver& receiver);

    // Adds an output connection under `tag`, replacing and releasing an earlier one: its output
    // port is created in this manager's client and it resolves the destinations that match
    // `inputs` (every destination in `allEndpoints` mode), less what `filter` leaves out. A port
    // the services refuse throws MIDIIOError (osStatus); the connection stays registered.
    void addOutputConnection(const MIDIEndpointIdentitySet& inputs, std::string tag,
                             MIDIConnectionMode mode, MIDIEndpointFilter filter);
    void addOutputConnection(const std::vector<MIDIEndpointIdentity>& inputs, std::string tag,
                             MIDIConnectionMode mode, MIDIEndpointFilter filter);
    void addOutputConnection(const std::vector<MIDIInputEndpoint>& inputs, std::string tag,
                             MIDIConnectionMode mode, MIDIEndpointFilter filter);

    // Adds a thru connection from `outputs` (sources) to `inputs` (destinations), the first eight
    // of each. A non-persistent one is registered under `tag` (replacing and releasing an earlier
    // one) and stays registered when its creation fails; a persistent one is never registered and
    // outlives the manager. Throws MIDIIOError (see MIDIThruConnection::create).
    void addThruConnection(const std::vector<MIDIOutputEndpoint>& outputs,
                           const std::vector<MIDIInputEndpoint>& inputs, std::string tag,
                           const MIDIThruConnection::Lifecycle& lifecycle,
                           const MIDIThruConnection::Parameters& params = {});
    // The persistent thru connections of an owner ID. Throws MIDIIOError (osStatus).
    std::vector<midiservices::MIDIThruConnectionRef> unmanagedPersistentThruConnections(
        const std::string& ownerID) const;
    // Disposes them; the number disposed without error (0 when they cannot be found).
    size_t removeAllUnmanagedPersistentThruConnections(const std::string& ownerID) const;

    // Releases the selected entries of one registry; their objects dispose their services objects.
    // An unknown tag changes nothing.
    void remove(ManagedType type, const TagSelection& selection);
    // remove(type, all) for every type in case order, each as its own task. The client stays.
    void removeAll();

    // Announces objectWillChange, then refreshes the device and endpoint lists; or, when a host
    // installed a replacement, calls it instead.
    void updateObjectsCache();
    void setObjectsCacheUpdater(ObjectsCacheUpdater updater);

  private:
    struct Registries {
        Registry<MIDIInputConnection> inputConnections;
        Registry<MIDIOutputConnection> outputConnections;
        Registry<MIDIInput> inputs;
        Registry<MIDIOutput> outputs;
        Registry<MIDIThruConnection> thruConnections;
    };
    // A copy of a services notification, kept until its task runs on the event queue.
    using NotificationCopy =
        std::variant<midiservices::MIDINotification, midiservices::MIDIObjectAddRemoveNotification,
                     midiservices::MIDIObjectPropertyChangeNotification,
                     midiservices::MIDIIOErrorNotification>;

    MIDIManager(std::string clientName, std::string model, std::string manufacturer);

    // Runs `block` synchronously on the event queue; throws MIDIIOError when already on it.
    template <class F>
    auto onEventQueue(F&& block);
    void checkNotOnEventQueue() const;

    static NotificationCopy copyNotification(const midiservices::MIDINotification& notification);
    // The handling of one services notification; runs on the event queue.
    void handleNotification(const midiservices::MIDINotification& notification);
    // Refreshes the lists, keeps the notification cache and posts the described notification to
    // the handler.
    void describeAndRefresh(const midiservices::MIDINotification& notification);
    // Keeps the connections in step with a setup change.
    void followSetupChange(const midiservices::MIDINotification& notification);
    // Refreshes the device and endpoint lists.
    void refreshLists();
    // Registers `object` under `tag` in `registry`, creates it and stores its unique ID back.
    template <class T>
    void addVirtualEndpoint(Registry<T> Registries::*registry, const std::string& tag,
                            std::shared_ptr<T> object,
                            const MIDIIdentifierPersistence& persistence);
    // Takes the selected entries out of their registry; the caller releases them unlocked.
    Registries takeOut(ManagedType type, const TagSelection& selection);

    std::string clientName_;
    std::string model_;
    std::string manufacturer_;
    std::atomic<midiservices::MIDIClientRef> clientRef_{0};
    std::shared_ptr<dispatch::Queue> eventQueue_;
    observe::Signal<> objectWillChange_;
    std::shared_ptr<MIDIDevices> devices_;
    std::shared_ptr<MIDIEndpoints> endpoints_;

    mutable std::mutex mutex_;  // guards the fields below
    CoreMIDIAPIVersion preferredAPI_;
    Registries registries_;
    ObjectsCacheUpdater updater_;
    NotificationHandler notificationHandler_;
    std::optional<MIDIIOObjectCache> notificationCache_;  // changed only on the event queue
};

}  // namespace midiio

template <>
struct std::hash<midiio::MIDIManager::TagSelection> {
    size_t operator()(const midiio::MIDIManager::TagSelection& s) const { return s.hash(); }
};
