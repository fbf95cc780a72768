// A controller wired to a fake headset on the loopback interface, with short timeouts and the
// diagnostic lines captured; and a host lookup that answers when a test says so.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/controller.hpp"
#include "app/fake_headset.hpp"
#include "dispatch/queue.hpp"

namespace companion::testing {

using namespace std::chrono_literals;

struct Harness {
    explicit Harness(FakeHeadset::Options headsetOptions = {}, CompanionOptions options = {},
                     bool startHeadset = true) {
        // The headset's thread learns of the controller through an atomic, so that the
        // controller's making is seen to come first.
        auto made = std::make_shared<std::atomic<CompanionController*>>(nullptr);
        headsetOptions.uploadPort = [made] {
            const auto* c = made->load();
            return c ? c->lastUploadPort() : uint16_t{0};
        };
        if (startHeadset) headset = std::make_unique<FakeHeadset>(headsetOptions);
        options.headsetPort = headset ? headset->udpPort() : 9;
        options.uploadPort =
            options.uploadPort == TcpUploadServer::defaultPort ? 0 : options.uploadPort;
        options.uploadListenAddress = net::IpAddress::loopbackV4();
        if (options.uploadTimeout == std::chrono::seconds(60)) options.uploadTimeout = 20s;
        if (options.closeTimeout == std::chrono::seconds(5)) options.closeTimeout = 1s;
        options.diagnostics = [captured = captured](const std::string& line) {
            std::lock_guard lock(captured->mutex);
            captured->lines.push_back(line);
        };
        controller = CompanionController::make(std::move(options));
        controller->ipAddress = "127.0.0.1";
        made->store(controller.get());
        // Observers must only ever be called on the main thread.
        auto check = [this](const auto&) {
            if (!dispatch::MainQueue::isMainThread()) ++offMainCalls;
        };
        subscriptions.push_back(controller->logAppended.connect(check));
        subscriptions.push_back(controller->isUploading.subscribe(check));
        subscriptions.push_back(controller->isRunning.subscribe(check));
        subscriptions.push_back(controller->isMidiEventActive.subscribe(check));
    }

    // Pumps the main queue until `predicate` holds (at most five seconds).
    bool until(const std::function<bool()>& predicate) {
        return dispatch::Queue::main()->runUntil(predicate, 5s);
    }
    // Runs an upload of `file` to its end.
    bool upload(const std::filesystem::path& file) {
        controller->fileImported(file);
        controller->uploadPiece();
        return until([&] { return !controller->isUploading.get(); });
    }
    std::vector<LogLine> logSince(size_t first) const {
        const auto& log = controller->outputText();
        return {log.begin() + static_cast<std::ptrdiff_t>(std::min(first, log.size())), log.end()};
    }
    std::vector<std::string> printed() const {
        std::lock_guard lock(captured->mutex);
        return captured->lines;
    }
    bool printedLine(const std::string& line) const {
        const auto lines = printed();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Whether every one of `lines` was printed, each after the one before it.
    bool printedInOrder(const std::vector<std::string>& lines) const {
        const auto all = printed();
        auto at = all.begin();
        for (const auto& line : lines) {
            at = std::find(at, all.end(), line);
            if (at == all.end()) return false;
            ++at;
        }
        return true;
    }
    bool printedLineStarting(const std::string& prefix) const {
        const auto lines = printed();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

    // Diagnostic lines may still come from the network thread while the harness goes.
    struct Captured {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<Captured> captured = std::make_shared<Captured>();
    std::atomic<int> offMainCalls{0};
    std::shared_ptr<CompanionController> controller;
    std::unique_ptr<FakeHeadset> headset;  // ends first: its thread asks the controller
    std::vector<observe::Subscription> subscriptions;
};

// A resolver that answers only when the test says so, from a thread of its own.
struct HeldLookup {
    std::mutex mutex;
    std::vector<std::pair<std::string, net::LookupCompletion>> asked;

    HostLookup standIn() {
        return [this](const std::string& name, std::chrono::milliseconds,
                      net::LookupCompletion completion) {
            std::lock_guard lock(mutex);
            asked.emplace_back(name, std::move(completion));
        };
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return asked.size();
    }
    void answer(std::optional<net::IpAddress> address, const std::string& error) {
        net::LookupCompletion completion;
        {
            std::lock_guard lock(mutex);
            completion = asked.back().second;
        }
        std::thread([&] { completion(address, error); }).join();
    }
};

}  // namespace companion::testing

namespace companion {
inline void PrintTo(const LogLine& line, std::ostream* os) {
    *os << '"' << line.text << "\" (" << toString(line.color) << ')';
}
}  // namespace companion
