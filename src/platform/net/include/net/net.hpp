// A small network layer over standalone Asio: IP addresses and host names, the network thread on
// which every handler of this layer runs, and one-shot timers on it. UDP connections and TCP
// listeners and connections are in udp.hpp and tcp.hpp.
//
// Threads. The process has one network thread, started on first use and kept for the process's
// lifetime. Every handler and completion of this layer runs there, one at a time, so an object's
// handlers never run concurrently with each other. Public operations may be called from any
// thread; they hand their work to the network thread. Only the blocking resolvers of host lookups
// run elsewhere, on resolver threads of their own (see lookUpHost).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace net {

using Duration = std::chrono::nanoseconds;

class NetError : public std::runtime_error {
  public:
    enum class Case {
        invalidAddress,  // neither an IP address literal nor a host name that resolves
        cannotListen,    // the listening socket cannot be opened, bound or put to listen
    };
    NetError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

// An IPv4 or IPv6 address. An IPv4-mapped IPv6 address (::ffff:a.b.c.d) is held as the IPv4
// address it maps, so the two forms compare equal.
class IpAddress {
  public:
    IpAddress() = default;
    static IpAddress v4(std::array<uint8_t, 4> bytes);
    static IpAddress v6(std::array<uint8_t, 16> bytes);
    // A literal in dotted-quad or IPv6 text form (with an optional %scope), or none.
    static std::optional<IpAddress> parse(std::string_view text);
    static IpAddress loopbackV4() { return v4({127, 0, 0, 1}); }
    static IpAddress anyV6() { return v6({}); }

    bool isV4() const { return isV4_; }
    // 4 meaningful bytes for IPv4, 16 for IPv6.
    const std::array<uint8_t, 16>& bytes() const { return bytes_; }
    uint32_t scopeId() const { return scope_; }
    std::string toString() const;

    friend bool operator==(const IpAddress& a, const IpAddress& b) {
        return a.isV4_ == b.isV4_ && a.bytes_ == b.bytes_ && a.scope_ == b.scope_;
    }

  private:
    bool isV4_ = true;
    std::array<uint8_t, 16> bytes_{};
    uint32_t scope_ = 0;
    friend struct AddressAccess;
};

// The address a user typed: an IP literal, or a host name made of labels of letters, digits and
// inner hyphens, resolved through the system resolver (the first address it gives). Text of any
// other form (empty, blanks, a dotted string of digits that is no IPv4 address) is refused
// without asking the resolver. Throws NetError::invalidAddress. Blocks while the resolver works:
// callers that must stay responsive use parseHostText and lookUpHost instead.
IpAddress resolveHost(std::string_view text);

// Whether `text` has the form of a host name that resolveHost would hand to the resolver.
bool isHostNameSyntax(std::string_view text);

// The first step of resolveHost, without a lookup: the address of an IP literal, or none when
// `text` is a host name that has to be looked up. Throws NetError::invalidAddress for text of any
// other form, with the same sentence as resolveHost.
std::optional<IpAddress> parseHostText(std::string_view text);

// The outcome of a lookup: the first address the resolver gave, or none with the sentence that
// says why there is none.
using LookupCompletion =
    std::function<void(std::optional<IpAddress> address, const std::string& error)>;

// What a blocking resolver found for a host name: the first address it gave, or none with the
// reason there is none (the words a lookup's error puts after "cannot be resolved: "; may be
// empty).
struct HostResolution {
    std::optional<IpAddress> address;
    std::string reason;
};

// Resolves a host name on the calling thread, taking as long as the resolver takes (possibly
// forever). It may be called on several threads at once. An exception it throws counts as no
// address, with the exception's text as the reason.
using BlockingResolver = std::function<HostResolution(const std::string& hostName)>;

// How many blocking resolutions of lookUpHost run at once at the most, each on a thread of its
// own.
inline constexpr size_t maximumResolutionsInFlight = 8;

// Looks `hostName` up through the system resolver without blocking the caller: lookUpHost with
// the resolver that resolveHost uses (same flags, same error sentences).
void lookUpHost(std::string hostName, Duration timeout, LookupCompletion completion);

// Looks `hostName` up through `resolver` without blocking the caller. The lookup's time limit
// starts now. The resolver is called on a thread of its own, at once while fewer than
// maximumResolutionsInFlight resolutions run; otherwise the lookup waits for the first thread to
// come free, and one whose time is up meanwhile never reaches the resolver. `completion` runs
// exactly once on the network thread: with the address, or with an error when the name is not a
// host name, does not resolve, or gets no answer within `timeout` (a resolver still working then
// is abandoned and keeps its thread until it returns; its late answer is dropped). Threads end
// when no lookup waits for them.
void lookUpHost(std::string hostName, Duration timeout, BlockingResolver resolver,
                LookupCompletion completion);

// How many resolvers called by lookUpHost are working now, abandoned ones included: at most
// maximumResolutionsInFlight.
size_t resolutionsInFlight();

// Runs `work` on the network thread later.
void post(std::function<void()> work);
// Runs `work` on the network thread and waits for it; runs it at once when called there.
void runOnNetworkThread(const std::function<void()>& work);
bool isNetworkThread();

// A one-shot timer on the network thread. Cancelling from any thread stops a handler that has not
// started; once `cancel()` returns on the network thread, the handler will not run.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void cancel() = 0;
};
std::shared_ptr<Timer> after(Duration delay, std::function<void()> handler);

}  // namespace net
