#include "threadpool/method_thunk.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/exec_memory.h"

namespace melvara::threadpool {

#if defined(__x86_64__) && !defined(MELVARA_PORTABLE_WORKER_START)

namespace {

// System V x86-64. The thunk opens a frame on the calling thread's stack and
// keeps everything it saves there, so any number of threads may run it at once
// and it never writes to its own code. Frame, from the stack pointer S that the
// method returns to:
//   S+56 rbx  S+48 r12  S+40 r13  S+32 r14  S+24 r15
//   S+20 caller's MXCSR  S+16 caller's x87 control word  S+8 scratch
// S is 16-byte aligned, so with the return address pushed the method is entered
// exactly as if it had been called.
constexpr std::array<std::uint8_t, 103> kThunkTemplate = {
    0x55,                                            // push rbp
    0x48, 0x89, 0xe5,                                // mov rbp, rsp
    0x48, 0x83, 0xec, 0x40,                          // sub rsp, 64
    0x48, 0x89, 0x5c, 0x24, 0x38,                    // mov [rsp+56], rbx
    0x4c, 0x89, 0x64, 0x24, 0x30,                    // mov [rsp+48], r12
    0x4c, 0x89, 0x6c, 0x24, 0x28,                    // mov [rsp+40], r13
    0x4c, 0x89, 0x74, 0x24, 0x20,                    // mov [rsp+32], r14
    0x4c, 0x89, 0x7c, 0x24, 0x18,                    // mov [rsp+24], r15
    0xd9, 0x7c, 0x24, 0x10,                          // fnstcw [rsp+16]
    0x0f, 0xae, 0x5c, 0x24, 0x14,                    // stmxcsr [rsp+20]
    0xdb, 0xe3,                                      // fninit
    0xc7, 0x44, 0x24, 0x08, 0x80, 0x1f, 0, 0,        // mov dword [rsp+8], 0x1f80
    0x0f, 0xae, 0x54, 0x24, 0x08,                    // ldmxcsr [rsp+8]  (SSE defaults)
    0x49, 0x89, 0xc8,                                // mov r8, rcx   (arguments move up one)
    0x48, 0x89, 0xd1,                                // mov rcx, rdx
    0x48, 0x89, 0xf2,                                // mov rdx, rsi
    0x48, 0x89, 0xfe,                                // mov rsi, rdi
    0x48, 0xbf, 0,    0,    0,    0,    0, 0, 0, 0,  // movabs rdi, object
    0x48, 0xb8, 0,    0,    0,    0,    0, 0, 0, 0,  // movabs rax, method
    0x49, 0xbb, 0,    0,    0,    0,    0, 0, 0, 0,  // movabs r11, epilogue
    0x41, 0x53,                                      // push r11  (the method's return address)
    0xff, 0xe0,                                      // jmp rax
};
constexpr std::size_t kObjectOffset = 71;
constexpr std::size_t kMethodOffset = 81;
constexpr std::size_t kEpilogueOffset = 91;

// The method returns here with the stack pointer at S. The method's result
// (rax, rdx, xmm0) is not touched.
constexpr std::array<std::uint8_t, 40> kEpilogueCode = {
    0x48, 0x8b, 0x5c, 0x24, 0x38,  // mov rbx, [rsp+56]
    0x4c, 0x8b, 0x64, 0x24, 0x30,  // mov r12, [rsp+48]
    0x4c, 0x8b, 0x6c, 0x24, 0x28,  // mov r13, [rsp+40]
    0x4c, 0x8b, 0x74, 0x24, 0x20,  // mov r14, [rsp+32]
    0x4c, 0x8b, 0x7c, 0x24, 0x18,  // mov r15, [rsp+24]
    0xd9, 0x6c, 0x24, 0x10,        // fldcw [rsp+16]
    0x0f, 0xae, 0x54, 0x24, 0x14,  // ldmxcsr [rsp+20]
    0x48, 0x83, 0xc4, 0x40,        // add rsp, 64
    0x5d,                          // pop rbp
    0xc3,                          // ret
};

// The epilogue is shared by every thunk and kept for the life of the process.
std::mutex epilogueMutex;
std::atomic<std::uintptr_t> thunkEpilogue{0};

std::uintptr_t ThunkEpilogue() {
    if (const std::uintptr_t built = thunkEpilogue.load(std::memory_order_acquire)) {
        return built;
    }
    std::lock_guard lock(epilogueMutex);
    if (const std::uintptr_t built = thunkEpilogue.load(std::memory_order_relaxed)) {
        return built;
    }
    platform::ExecMemory memory = platform::ExecMemory::Create(kEpilogueCode);
    if (!memory) {
        return 0;  // a later build tries again
    }
    const std::uintptr_t address = memory.Release();
    thunkEpilogue.store(address, std::memory_order_release);
    return address;
}

void Patch(std::array<std::uint8_t, kThunkTemplate.size()>& code, std::size_t offset,
           std::uint64_t value) {
    std::memcpy(code.data() + offset, &value, sizeof value);
}

}  // namespace

std::uintptr_t BuildMethodThunk(const void* object, std::int32_t methodNumber) {
    if (object == nullptr || methodNumber <= 0) {
        return 0;
    }
    const MethodTable* table = nullptr;
    std::memcpy(&table, object, sizeof table);
    const auto entry = static_cast<std::size_t>(methodNumber) + 1;
    if (table == nullptr || entry >= table->size() || (*table)[entry] == nullptr) {
        return 0;
    }
    const std::uintptr_t epilogue = ThunkEpilogue();
    if (epilogue == 0) {
        return 0;
    }
    auto code = kThunkTemplate;
    Patch(code, kObjectOffset, reinterpret_cast<std::uintptr_t>(object));
    Patch(code, kMethodOffset, reinterpret_cast<std::uintptr_t>((*table)[entry]));
    Patch(code, kEpilogueOffset, epilogue);
    return platform::ExecMemory::Create(code).Release();
}

void FreeMethodThunk(std::uintptr_t thunk) {
    // Adopting unmaps the pages when the temporary goes away.
    platform::ExecMemory::Adopt(thunk, kThunkTemplate.size());
}

#else  // no code generation on this processor

std::uintptr_t BuildMethodThunk(const void*, std::int32_t) {
    return 0;
}

void FreeMethodThunk(std::uintptr_t) {}

#endif

}  // namespace melvara::threadpool
