#include "tests/stress/LiveAllocations.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<long> liveAllocations{0};
std::atomic<long> liveBytes{0};

void* take(std::size_t size, std::size_t alignment) {
    void* block = nullptr;
    if (alignment > alignof(std::max_align_t)) {
        // aligned_alloc wants a size that is a multiple of the alignment.
        const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
        block = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded);
    } else {
        block = std::malloc(size == 0 ? 1 : size);
    }
    if (block != nullptr) {
        liveAllocations.fetch_add(1, std::memory_order_relaxed);
        liveBytes.fetch_add(static_cast<long>(::malloc_usable_size(block)),
                            std::memory_order_relaxed);
    }
    return block;
}

void give(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    liveAllocations.fetch_sub(1, std::memory_order_relaxed);
    liveBytes.fetch_sub(static_cast<long>(::malloc_usable_size(block)), std::memory_order_relaxed);
    std::free(block);
}

void* takeOrThrow(std::size_t size, std::size_t alignment) {
    void* block = take(size, alignment);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

namespace kestrun::stress {

LiveMemory liveMemory() {
    return {liveAllocations.load(), liveBytes.load()};
}

} // namespace kestrun::stress

void* operator new(std::size_t size) {
    return takeOrThrow(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size) {
    return takeOrThrow(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return take(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return take(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return takeOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return takeOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return take(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return take(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept {
    give(block);
}
void operator delete[](void* block) noexcept {
    give(block);
}
void operator delete(void* block, std::size_t) noexcept {
    give(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    give(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    give(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    give(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    give(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    give(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    give(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    give(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    give(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    give(block);
}
