#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

#include "detail.hpp"

namespace net {
namespace {

struct NetworkThread {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
    std::thread::id id;
    std::thread thread;

    NetworkThread() {
        // The error categories are statics of their own: made before the exit handler is
        // registered, they are destroyed only after it has stopped the thread that uses them.
        (void)asio::error::get_system_category();
        (void)asio::error::get_netdb_category();
        (void)asio::error::get_addrinfo_category();
        (void)asio::error::get_misc_category();
        (void)std::generic_category();
        std::promise<std::thread::id> started;
        auto startedId = started.get_future();
        thread = std::thread([this, &started] {
            started.set_value(std::this_thread::get_id());
            for (;;) {
                try {
                    context.run();
                    return;
                } catch (...) {
                    // A handler's exception must not end the network thread.
                }
            }
        });
        id = startedId.get();
    }

    // At exit, before static objects go, the thread stops; handlers still queued never run.
    void stop() {
        guard.reset();
        context.stop();
        if (std::this_thread::get_id() == id)
            thread.detach();
        else if (thread.joinable())
            thread.join();
    }
};

// Made on first use and never destroyed: handlers may still be pending when the process exits.
NetworkThread& networkThread() {
    static NetworkThread* instance = [] {
        auto* made = new NetworkThread();
        std::atexit([] { networkThread().stop(); });
        return made;
    }();
    return *instance;
}

class AsioTimer final : public Timer, public std::enable_shared_from_this<AsioTimer> {
  public:
    explicit AsioTimer(std::function<void()> handler)
        : timer_(detail::ioContext()), handler_(std::move(handler)) {}

    void arm(Duration delay) {
        timer_.expires_after(delay);
        timer_.async_wait([self = shared_from_this()](const std::error_code& error) {
            std::function<void()> handler;
            {
                std::lock_guard lock(self->mutex_);
                if (error || self->cancelled_) return;
                handler = std::exchange(self->handler_, nullptr);
            }
            if (handler) handler();
        });
    }

    void cancel() override {
        std::function<void()> released;
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
            released = std::exchange(handler_, nullptr);
        }
        post([self = shared_from_this()] { self->timer_.cancel(); });
    }

  private:
    asio::steady_timer timer_;
    std::mutex mutex_;
    bool cancelled_ = false;
    std::function<void()> handler_;
};

}  // namespace

namespace detail {
asio::io_context& ioContext() {
    return networkThread().context;
}
}  // namespace detail

void post(std::function<void()> work) {
    asio::post(detail::ioContext(), std::move(work));
}

bool isNetworkThread() {
    return std::this_thread::get_id() == networkThread().id;
}

void runOnNetworkThread(const std::function<void()>& work) {
    if (isNetworkThread()) {
        work();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    post([&] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

std::shared_ptr<Timer> after(Duration delay, std::function<void()> handler) {
    auto timer = std::make_shared<AsioTimer>(std::move(handler));
    post([timer, delay] { timer->arm(delay); });
    return timer;
}

}  // namespace net
