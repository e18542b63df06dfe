#include "platform/completion_port.h"

#include <utility>

namespace melvara::platform {

namespace {
// A power of two, and it only ever doubles: positions wrap with a mask.
constexpr std::size_t kInitialCapacity = 1024;
}  // namespace

CompletionPort::CompletionPort() : ring_(kInitialCapacity) {}

bool CompletionPort::Post(std::uint32_t bytesTransferred, std::uintptr_t completionKey,
                          std::uintptr_t overlapped) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        if (count_ == ring_.size()) {
            Grow();
        }
        ring_[(head_ + count_) & (ring_.size() - 1)] =
            CompletionPacket{bytesTransferred, completionKey, overlapped};
        ++count_;
        wake = waiters_ > 0;
    }
    // Nobody waiting means nobody to wake: skip the system call.
    if (wake) {
        available_.notify_one();
    }
    return true;
}

std::optional<CompletionPacket> CompletionPort::Take(
    std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return closed_ || count_ > 0; };
    if (!ready()) {
        if (timeout && timeout->count() <= 0) {
            return std::nullopt;  // a poll: no need to touch the condition variable
        }
        ++waiters_;
        if (timeout) {
            available_.wait_for(lock, *timeout, ready);
        } else {
            available_.wait(lock, ready);
        }
        --waiters_;
    }
    if (closed_ || count_ == 0) {
        return std::nullopt;
    }
    const CompletionPacket packet = ring_[head_];
    head_ = (head_ + 1) & (ring_.size() - 1);
    --count_;
    return packet;
}

void CompletionPort::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        head_ = 0;
        count_ = 0;
    }
    available_.notify_all();
}

void CompletionPort::Reopen() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    head_ = 0;
    count_ = 0;
}

bool CompletionPort::IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::size_t CompletionPort::QueuedPackets() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::size_t CompletionPort::Waiters() const {
    std::lock_guard lock(mutex_);
    return waiters_;
}

void CompletionPort::Grow() {
    std::vector<CompletionPacket> larger(ring_.size() * 2);
    for (std::size_t i = 0; i < count_; ++i) {
        larger[i] = ring_[(head_ + i) & (ring_.size() - 1)];
    }
    ring_ = std::move(larger);
    head_ = 0;
}

}  // namespace melvara::platform
