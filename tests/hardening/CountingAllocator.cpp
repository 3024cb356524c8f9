#include "CountingAllocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace hardening {
namespace {

// The count of one thread. A block it counted may be freed on another thread (a
// thread that the library starts frees its own start-up state): the block names
// its counter and the round of counting it was taken in.
struct Counter {
    bool on = false;
    std::atomic<std::uint64_t> round{0};
    std::atomic<std::size_t> current{0};
    HeapUse use;
};

thread_local Counter counter;

// Written in front of every block: its size, the counter that counted it (null
// when none did) and that counter's round, and the distance back to the start
// of the allocation.
struct alignas(16) BlockHeader {
    std::size_t size;
    Counter* owner;
    std::uint64_t round;
    std::uint32_t offset;
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
    header->owner = counter.on ? &counter : nullptr;
    header->round = counter.round.load();
    if (counter.on) {
        const std::size_t now = counter.current.fetch_add(size) + size;
        ++counter.use.allocations;
        if (now > counter.use.peak) {
            counter.use.peak = now;
        }
    }
    return user;
}

void release(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    auto* header = static_cast<BlockHeader*>(p) - 1;
    Counter* owner = header->owner;
    if (owner != nullptr && owner->round.load() == header->round) {
        owner->current.fetch_sub(header->size);
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
    // A new round: blocks of earlier rounds no longer count when they are freed.
    counter.round.fetch_add(1);
    counter.current.store(0);
    counter.use = HeapUse{};
    counter.on = true;
}

HeapUse stopCounting() {
    counter.on = false;
    HeapUse use = counter.use;
    use.leftOver = counter.current.load();
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
