// Polls a condition that another thread makes true, for tests of threaded code.
#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// True once `predicate` holds; false if it still does not after `timeout`. The timeout is generous
// on purpose: it only bounds a failing test, it never measures speed.
template <class Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto start = std::chrono::steady_clock::now();
    while (!predicate()) {
        if (std::chrono::steady_clock::now() - start > timeout) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testsupport
