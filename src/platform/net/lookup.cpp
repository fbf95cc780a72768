// Host-name lookups: the system resolver, called where a caller may block (resolveHost) or on
// resolver threads of this file (lookUpHost), at most maximumResolutionsInFlight at once.
#include <algorithm>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "detail.hpp"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

std::string cannotResolve(const std::string& name, const std::string& why) {
    return "the host name \"" + name + "\" cannot be resolved" + (why.empty() ? "" : ": " + why);
}

std::string secondsText(Duration d) {
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(d).count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
           " s";
}

// The system resolver, blocking: the first address it gives for `name`.
HostResolution resolveWithSystem(const std::string& name) {
    asio::io_context context;
    asio::ip::udp::resolver resolver(context);
    std::error_code error;
    // No "address configured" filter: on a host whose only interface is the loopback one, it
    // would hide the loopback addresses themselves.
    const auto results = resolver.resolve(name, "", asio::ip::resolver_base::flags(), error);
    if (error || results.empty()) return {std::nullopt, error ? detail::errorText(error) : ""};
    return {detail::fromAsio(results.begin()->endpoint().address()), {}};
}

// The moment `timeout` from now, or the end of the clock when that lies beyond it.
Clock::time_point dueAfter(Duration timeout) {
    const auto now = Clock::now();
    if (timeout <= Duration::zero()) return now;
    if (timeout >= Clock::time_point::max() - now) return Clock::time_point::max();
    return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

// One lookup: what its resolver thread reads, the timer that bounds it and the completion, which
// the first of the two to finish takes.
struct Lookup {
    // Set before the lookup is handed on, then only read.
    std::string name;
    BlockingResolver resolver;
    Duration timeout{};
    Clock::time_point due{};
    // Network thread only.
    asio::steady_timer deadline{detail::ioContext()};
    LookupCompletion completion;

    void finish(std::optional<IpAddress> address, const std::string& error) {
        auto done = std::exchange(completion, nullptr);
        if (done) done(address, error);
    }
};

// The resolver threads: how many run a resolution, and the lookups waiting for one of them.
// Made on first use and never destroyed: a thread may still be inside a resolver at exit.
struct Resolvers {
    std::mutex mutex;
    size_t running = 0;
    std::deque<std::shared_ptr<Lookup>> waiting;
};

Resolvers& resolvers() {
    static auto* instance = new Resolvers();
    return *instance;
}

// Hands a lookup that is due over to the next thread that comes free: the first waiting one whose
// time is not up, or none (and the thread ends). Lookups whose time is up stay in the list until
// their timers take them out, so that they never reach a resolver.
std::shared_ptr<Lookup> nextWaiting() {
    auto& r = resolvers();
    std::lock_guard lock(r.mutex);
    const auto now = Clock::now();
    const auto next = std::find_if(r.waiting.begin(), r.waiting.end(),
                                   [now](const auto& lookup) { return now < lookup->due; });
    if (next == r.waiting.end()) {
        --r.running;
        return nullptr;
    }
    auto lookup = std::move(*next);
    r.waiting.erase(next);
    return lookup;
}

// A resolver thread: resolves `lookup`, hands the answer to the network thread, and goes on with
// the lookups that wait for a thread. No reference to a lookup is left here once its answer is
// handed over, so the lookup ends on the network thread.
void resolveInTurn(std::shared_ptr<Lookup> lookup) {
    while (lookup) {
        HostResolution found;
        try {
            found = lookup->resolver(lookup->name);
        } catch (const std::exception& error) {
            found = {std::nullopt, error.what()};
        } catch (...) {
            found = {};
        }
        post([lookup = std::move(lookup), found = std::move(found)] {
            lookup->deadline.cancel();
            if (found.address)
                lookup->finish(found.address, {});
            else
                lookup->finish(std::nullopt, cannotResolve(lookup->name, found.reason));
        });
        lookup = nextWaiting();
    }
}

// Network thread: starts resolving `lookup` on a new thread when fewer than the most run, or else
// puts it in the wait list.
void admit(std::shared_ptr<Lookup> lookup) {
    auto& r = resolvers();
    {
        std::lock_guard lock(r.mutex);
        if (r.running >= maximumResolutionsInFlight) {
            r.waiting.push_back(lookup);
            return;
        }
        ++r.running;
    }
    try {
        std::thread([lookup]() mutable { resolveInTurn(std::move(lookup)); }).detach();
    } catch (const std::system_error& error) {
        {
            std::lock_guard lock(r.mutex);
            --r.running;
        }
        lookup->deadline.cancel();
        lookup->finish(std::nullopt, cannotResolve(lookup->name, error.what()));
    }
}

// Network thread: the lookup's time is up. One still waiting for a thread leaves the wait list.
void expire(const std::shared_ptr<Lookup>& lookup) {
    std::shared_ptr<Lookup> dropped;  // let go of after unlocking
    {
        auto& r = resolvers();
        std::lock_guard lock(r.mutex);
        const auto at = std::find(r.waiting.begin(), r.waiting.end(), lookup);
        if (at != r.waiting.end()) {
            dropped = std::move(*at);
            r.waiting.erase(at);
        }
    }
    lookup->finish(std::nullopt,
                   cannotResolve(lookup->name, "no answer within " + secondsText(lookup->timeout)));
}

}  // namespace

IpAddress resolveHost(std::string_view text) {
    if (auto literal = parseHostText(text)) return *literal;
    const std::string name(text);
    auto found = resolveWithSystem(name);
    if (!found.address)
        throw NetError(NetError::Case::invalidAddress, cannotResolve(name, found.reason));
    return *found.address;
}

void lookUpHost(std::string hostName, Duration timeout, LookupCompletion completion) {
    lookUpHost(std::move(hostName), timeout, resolveWithSystem, std::move(completion));
}

void lookUpHost(std::string hostName, Duration timeout, BlockingResolver resolver,
                LookupCompletion completion) {
    auto lookup = std::make_shared<Lookup>();
    lookup->name = std::move(hostName);
    lookup->resolver = std::move(resolver);
    lookup->timeout = timeout;
    lookup->due = dueAfter(timeout);
    lookup->completion = std::move(completion);
    post([lookup] {
        if (!isHostNameSyntax(lookup->name)) {
            lookup->finish(std::nullopt, "\"" + lookup->name + "\" is not a host name");
            return;
        }
        lookup->deadline.expires_at(lookup->due);
        lookup->deadline.async_wait([lookup](const std::error_code& error) {
            if (error != asio::error::operation_aborted) expire(lookup);
        });
        // A lookup given no time at all never reaches the resolver.
        if (Clock::now() < lookup->due) admit(lookup);
    });
}

size_t resolutionsInFlight() {
    auto& r = resolvers();
    std::lock_guard lock(r.mutex);
    return r.running;
}

}  // namespace net
