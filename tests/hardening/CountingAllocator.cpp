#include "CountingAllocator.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace hardening {
namespace {

struct Counter {
    bool on = false;
    std::size_t current = 0;
    HeapUse use;
};

thread_local Counter counter;

// Written in front of every block: its size, the distance back to the start of
// the allocation, and whether it was counted.
struct alignas(16) BlockHeader {
    std::size_t size;
    std::uint32_t offset;
    std::uint32_t counted;
};

void* allocate(std::size_t size, std::size_t align) {
    const std::size_t offset = align > sizeof(BlockHeader) ? align : sizeof(BlockHeader);
    void* raw = nullptr;
    if (::posix_memalign(&raw, offset, size + offset) != 0) {
        return nullptr;
    }
    auto* user = static_cast<unsigned char*>(raw) + offset;
    auto* header = reinterpret_cast<BlockHeader*>(user) - 1;
    header->size = size;
    header->offset = static_cast<std::uint32_t>(offset);
    header->counted = counter.on ? 1U : 0U;
    if (counter.on) {
        counter.current += size;
        ++counter.use.allocations;
        if (counter.current > counter.use.peak) {
            counter.use.peak = counter.current;
        }
    }
    return user;
}

void release(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    auto* header = static_cast<BlockHeader*>(p) - 1;
    if (header->counted != 0 && counter.current >= header->size) {
        counter.current -= header->size;
    }
    std::free(static_cast<unsigned char*>(p) - header->offset);
}

void* allocateOrThrow(std::size_t size, std::size_t align) {
    void* p = allocate(size, align);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

constexpr std::size_t kDefaultAlign = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

} // namespace

void startCounting() {
    counter = Counter{true, 0, {}};
}

HeapUse stopCounting() {
    counter.on = false;
    HeapUse use = counter.use;
    use.leftOver = counter.current;
    return use;
}

} // namespace hardening

using hardening::allocate;
using hardening::allocateOrThrow;
using hardening::kDefaultAlign;
using hardening::release;

void* operator new(std::size_t n) {
    return allocateOrThrow(n, kDefaultAlign);
}
void* operator new[](std::size_t n) {
    return allocateOrThrow(n, kDefaultAlign);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n, kDefaultAlign);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n, kDefaultAlign);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return allocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return allocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}
