#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Executable memory for generated code. The pages are mapped read-write, the
// code is copied in, and then they become read-execute: never writable and
// executable at once. The owner unmaps them.

namespace melvara::platform {

class ExecMemory {
  public:
    ExecMemory() = default;
    ExecMemory(ExecMemory&& other) noexcept;
    ExecMemory& operator=(ExecMemory&& other) noexcept;
    ExecMemory(const ExecMemory&) = delete;
    ExecMemory& operator=(const ExecMemory&) = delete;
    ~ExecMemory();

    // A new mapping holding a copy of `code`; empty when the memory could not be
    // obtained or protected, or when `code` is empty.
    static ExecMemory Create(std::span<const std::uint8_t> code);
    // Takes back a mapping that Release() gave away; `codeSize` is the size of
    // the code it was created with.
    static ExecMemory Adopt(std::uintptr_t address, std::size_t codeSize);

    // Gives up ownership; the caller keeps the mapping alive.
    std::uintptr_t Release();

    std::uintptr_t address() const { return address_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return address_ != 0; }

  private:
    ExecMemory(std::uintptr_t address, std::size_t size) : address_(address), size_(size) {}
    void Unmap();

    std::uintptr_t address_ = 0;
    std::size_t size_ = 0;  // whole pages
};

// Test seams: the number of mappings Create has made so far, and a way to make
// the next `count` calls of Create fail as if the system had no memory.
std::size_t ExecMemoryCreatedCount();
void FailNextExecMemoryCreates(int count);

}  // namespace melvara::platform
