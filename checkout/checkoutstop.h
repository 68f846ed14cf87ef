#pragma once

#include <atomic>

// A request to stop a checkout, made from any thread (or a signal handler: the flag is
// lock-free) and seen by the checkout between reader operations. A stopped checkout still puts
// the reader back as it found it.
class CheckoutStop
{
public:
    void request() { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const { return m_requested.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_requested{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};
