// Replaces the global operator new and delete for a test program, so a test can count or refuse
// allocations. Include it in exactly one file of the test program and define
// testsupport::allocateForTest there. Every form is replaced, so memory from one form reaches any
// other through malloc and free.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace testsupport {

// The allocation behind every replaced operator new: returns the memory or throws std::bad_alloc.
void* allocateForTest(std::size_t size);

// The plain allocation a hook falls back to.
inline void* mallocOrThrow(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

inline void* allocateOrNull(std::size_t size) noexcept {
    try {
        return allocateForTest(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace testsupport

void* operator new(std::size_t size) {
    return testsupport::allocateForTest(size);
}
void* operator new[](std::size_t size) {
    return testsupport::allocateForTest(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return testsupport::allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return testsupport::allocateOrNull(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
