#include "allocationcounter.h"

#include <atomic>
#include <cstddef>

// The C library's own allocator, which the functions below hand every call on to.
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *__libc_realloc(void *pointer, std::size_t size);
extern "C" void __libc_free(void *pointer);

namespace {

std::atomic<std::uint64_t> allocations{0};

void countOne()
{
    allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

std::uint64_t AllocationCounter::count()
{
    return allocations.load(std::memory_order_relaxed);
}

extern "C" void *malloc(std::size_t size) noexcept
{
    countOne();
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size) noexcept
{
    countOne();
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, std::size_t size) noexcept
{
    countOne();
    return __libc_realloc(pointer, size);
}

extern "C" void free(void *pointer) noexcept
{
    __libc_free(pointer);
}
