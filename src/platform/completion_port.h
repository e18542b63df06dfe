#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// Stand-in for an I/O completion port that is not bound to any file: a FIFO of
// packets that threads post and take. One packet goes to exactly one taker, in
// the order the packets were posted; closing the port fails every waiter.

namespace melvara::platform {

struct CompletionPacket {
    std::uint32_t bytesTransferred = 0;
    std::uintptr_t completionKey = 0;
    std::uintptr_t overlapped = 0;
};

class CompletionPort {
  public:
    CompletionPort();
    CompletionPort(const CompletionPort&) = delete;
    CompletionPort& operator=(const CompletionPort&) = delete;

    // Queues a packet and wakes one waiter. False once the port is closed.
    bool Post(std::uint32_t bytesTransferred, std::uintptr_t completionKey,
              std::uintptr_t overlapped);

    // Takes the oldest packet, waiting without limit (no timeout) or at most
    // `timeout`. Empty when the wait timed out or the port is (or becomes) closed.
    std::optional<CompletionPacket> Take(
        std::optional<std::chrono::milliseconds> timeout = std::nullopt);

    // Drops every queued packet and wakes every waiter with failure.
    void Close();
    // Opens a closed port again, empty, so that one object can serve many
    // generations of users without its address ever becoming invalid.
    void Reopen();

    bool IsClosed() const;
    std::size_t QueuedPackets() const;
    // Threads blocked in Take right now.
    std::size_t Waiters() const;

  private:
    void Grow();

    mutable std::mutex mutex_;
    std::condition_variable available_;
    // Ring buffer: posting does not allocate until the queue outgrows it.
    std::vector<CompletionPacket> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t waiters_ = 0;
    bool closed_ = false;
};

}  // namespace melvara::platform
