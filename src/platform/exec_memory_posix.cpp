#include "platform/exec_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <utility>

namespace melvara::platform {

namespace {

std::atomic<std::size_t> createdCount{0};
std::atomic<int> failuresToInject{0};

std::size_t PageRounded(std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

bool TakeInjectedFailure() {
    int left = failuresToInject.load();
    while (left > 0) {
        if (failuresToInject.compare_exchange_weak(left, left - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ExecMemory::ExecMemory(ExecMemory&& other) noexcept
    : address_(std::exchange(other.address_, 0)), size_(std::exchange(other.size_, 0)) {}

ExecMemory& ExecMemory::operator=(ExecMemory&& other) noexcept {
    if (this != &other) {
        Unmap();
        address_ = std::exchange(other.address_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

ExecMemory::~ExecMemory() {
    Unmap();
}

ExecMemory ExecMemory::Create(std::span<const std::uint8_t> code) {
    if (code.empty() || TakeInjectedFailure()) {
        return {};
    }
    const std::size_t size = PageRounded(code.size());
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        return {};
    }
    ExecMemory memory(reinterpret_cast<std::uintptr_t>(pages), size);
    std::memcpy(pages, code.data(), code.size());
    if (mprotect(pages, size, PROT_READ | PROT_EXEC) != 0) {
        return {};  // unmapped by `memory`
    }
    auto* begin = static_cast<char*>(pages);
    __builtin___clear_cache(begin, begin + code.size());
    createdCount.fetch_add(1, std::memory_order_relaxed);
    return memory;
}

ExecMemory ExecMemory::Adopt(std::uintptr_t address, std::size_t codeSize) {
    if (address == 0) {
        return {};
    }
    return ExecMemory(address, PageRounded(codeSize));
}

std::uintptr_t ExecMemory::Release() {
    size_ = 0;
    return std::exchange(address_, 0);
}

void ExecMemory::Unmap() {
    if (address_ != 0) {
        munmap(reinterpret_cast<void*>(address_), size_);
        address_ = 0;
        size_ = 0;
    }
}

std::size_t ExecMemoryCreatedCount() {
    return createdCount.load(std::memory_order_relaxed);
}

void FailNextExecMemoryCreates(int count) {
    failuresToInject.store(count);
}

}  // namespace melvara::platform
