#pragma once

#include <cstdint>

// Counts every heap allocation of the process: malloc, calloc, realloc and, through them, C++'s
// operator new and Qt's containers. Linking allocationcounter.cpp into a program puts the
// counting allocator functions in front of the C library's.
class AllocationCounter
{
public:
    static std::uint64_t count();
};
