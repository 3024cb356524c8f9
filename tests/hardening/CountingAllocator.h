// Counts the heap that this thread takes through operator new while counting is
// on: the test executable replaces the global operator new and delete.
#pragma once

#include <cstddef>

namespace hardening {

struct HeapUse {
    std::size_t peak = 0;        // most bytes held at once
    std::size_t allocations = 0; // calls of operator new
    std::size_t leftOver = 0;    // bytes still held when counting stopped
};

void startCounting();
HeapUse stopCounting();

} // namespace hardening
