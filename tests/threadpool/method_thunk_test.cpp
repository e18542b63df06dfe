#include "threadpool/method_thunk.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/exec_memory.h"

#if defined(__x86_64__)

// Hand-written helpers: a method that breaks every rule a compiled method keeps
// (it overwrites all callee-saved registers, rbp included) and reports its
// stack alignment at entry, and a caller that loads known values into those
// registers around a call and reports what they hold afterwards.
extern "C" std::uint64_t MelvaraTestClobberingMethod();
extern "C" std::uint64_t MelvaraTestCallWithCanaries(std::uintptr_t thunk,
                                                     std::uint64_t* registersAfter);
asm(R"(
    .intel_syntax noprefix
    .text
    .p2align 4
    .globl MelvaraTestClobberingMethod
    .hidden MelvaraTestClobberingMethod
    .type MelvaraTestClobberingMethod, @function
MelvaraTestClobberingMethod:
    mov rax, rsp
    and rax, 15
    movabs rcx, 0xDEADBEEFDEADBEEF
    mov rbx, rcx
    mov rbp, rcx
    mov r12, rcx
    mov r13, rcx
    mov r14, rcx
    mov r15, rcx
    ret
    .size MelvaraTestClobberingMethod, .-MelvaraTestClobberingMethod

    .p2align 4
    .globl MelvaraTestCallWithCanaries
    .hidden MelvaraTestCallWithCanaries
    .type MelvaraTestCallWithCanaries, @function
MelvaraTestCallWithCanaries:
    push rbx
    push rbp
    push r12
    push r13
    push r14
    push r15
    push rsi
    mov rax, rdi
    movabs rbx, 0x1111111111111111
    movabs rbp, 0x2222222222222222
    movabs r12, 0x3333333333333333
    movabs r13, 0x4444444444444444
    movabs r14, 0x5555555555555555
    movabs r15, 0x6666666666666666
    call rax
    pop rsi
    mov [rsi], rbx
    mov [rsi+8], rbp
    mov [rsi+16], r12
    mov [rsi+24], r13
    mov [rsi+32], r14
    mov [rsi+40], r15
    pop r15
    pop r14
    pop r13
    pop r12
    pop rbp
    pop rbx
    ret
    .size MelvaraTestCallWithCanaries, .-MelvaraTestCallWithCanaries
    .att_syntax prefix
)");

namespace melvara::threadpool {
namespace {

struct TestObject {
    const MethodTable* operations;
    std::uint64_t id;
    // What the last call of Echo saw.
    const TestObject* self = nullptr;
    std::array<std::uint64_t, 4> arguments{};
    // What FloatingPointMethod saw at entry.
    std::uint16_t controlWordAtEntry = 0;
    std::uint32_t mxcsrAtEntry = 0;
};

std::uint64_t Echo(TestObject* self, std::uint64_t a, std::uint64_t b, std::uint64_t c,
                   std::uint64_t d) {
    self->self = self;
    self->arguments = {a, b, c, d};
    return 0xFEDCBA9876543210ULL ^ self->id;
}

std::uint64_t Combine(TestObject* self, std::uint64_t a, std::uint64_t b, std::uint64_t c,
                      std::uint64_t d) {
    return self->id * 1000003 + a * 7 + b * 11 + c * 13 + d * 17;
}

std::uint16_t ReadControlWord() {
    std::uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}
void WriteControlWord(std::uint16_t word) {
    asm volatile("fldcw %0" : : "m"(word));
}
std::uint32_t ReadMxcsr() {
    std::uint32_t value = 0;
    asm volatile("stmxcsr %0" : "=m"(value));
    return value;
}
void WriteMxcsr(std::uint32_t value) {
    asm volatile("ldmxcsr %0" : : "m"(value));
}

std::uint64_t FloatingPointMethod(TestObject* self) {
    self->controlWordAtEntry = ReadControlWord();
    self->mxcsrAtEntry = ReadMxcsr();
    WriteControlWord(0x0B7F);  // round up
    WriteMxcsr(0x5F80);        // round up
    return 0;
}

template <typename Function>
MethodAddress Entry(Function function) {
    return reinterpret_cast<MethodAddress>(function);
}

// destruction, copy, then methods 1..5; method 2 is missing.
const std::array<MethodAddress, 7> kEntries = {
    nullptr,
    nullptr,
    Entry(&Echo),
    nullptr,
    reinterpret_cast<MethodAddress>(&MelvaraTestClobberingMethod),
    Entry(&FloatingPointMethod),
    Entry(&Combine),
};
const MethodTable kTable{kEntries};

constexpr std::int32_t kEcho = 1;
constexpr std::int32_t kMissing = 2;
constexpr std::int32_t kClobbering = 3;
constexpr std::int32_t kFloatingPoint = 4;
constexpr std::int32_t kCombine = 5;

using FourArguments = std::uint64_t (*)(std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t);

class Thunk {
  public:
    Thunk(const TestObject& object, std::int32_t method)
        : address_(BuildMethodThunk(&object, method)) {}
    ~Thunk() { FreeMethodThunk(address_); }
    Thunk(const Thunk&) = delete;
    Thunk& operator=(const Thunk&) = delete;

    std::uintptr_t address() const { return address_; }
    FourArguments call() const { return reinterpret_cast<FourArguments>(address_); }

  private:
    std::uintptr_t address_;
};

class MethodThunkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kGeneratedThunks) {
            GTEST_SKIP() << "thunks are generated on x86-64 only";
        }
    }
};

TEST_F(MethodThunkTest, TwoObjectsOneMethodEachArrivesWithItsArgumentsAndResult) {
    TestObject first{&kTable, 1};
    TestObject second{&kTable, 2};
    const Thunk firstThunk(first, kEcho);
    const Thunk secondThunk(second, kEcho);
    ASSERT_NE(firstThunk.address(), 0u);
    ASSERT_NE(secondThunk.address(), 0u);

    EXPECT_EQ(firstThunk.call()(10, 20, 30, ~0ULL), 0xFEDCBA9876543210ULL ^ 1);
    EXPECT_EQ(secondThunk.call()(1, 2, 3, 4), 0xFEDCBA9876543210ULL ^ 2);
    EXPECT_EQ(first.self, &first);
    EXPECT_EQ(second.self, &second);
    EXPECT_EQ(first.arguments, (std::array<std::uint64_t, 4>{10, 20, 30, ~0ULL}));
    EXPECT_EQ(second.arguments, (std::array<std::uint64_t, 4>{1, 2, 3, 4}));
}

TEST_F(MethodThunkTest, MethodIsEnteredAlignedAndCalleeSavedRegistersSurvive) {
    TestObject object{&kTable, 3};
    const Thunk thunk(object, kClobbering);
    ASSERT_NE(thunk.address(), 0u);
    std::array<std::uint64_t, 6> after{};
    // As after a call: the return address sits on a 16-byte boundary.
    EXPECT_EQ(MelvaraTestCallWithCanaries(thunk.address(), after.data()), 8u);
    EXPECT_EQ(after, (std::array<std::uint64_t, 6>{0x1111111111111111, 0x2222222222222222,
                                                   0x3333333333333333, 0x4444444444444444,
                                                   0x5555555555555555, 0x6666666666666666}));
}

TEST_F(MethodThunkTest, FloatingPointControlIsResetForTheMethodAndRestoredForTheCaller) {
    TestObject object{&kTable, 4};
    const Thunk thunk(object, kFloatingPoint);
    ASSERT_NE(thunk.address(), 0u);
    const std::uint16_t savedWord = ReadControlWord();
    const std::uint32_t savedMxcsr = ReadMxcsr();
    WriteControlWord(0x0F7F);  // round toward zero
    WriteMxcsr(0x7F80);        // round toward zero
    thunk.call()(0, 0, 0, 0);
    const std::uint16_t wordAfter = ReadControlWord();
    const std::uint32_t mxcsrAfter = ReadMxcsr() & ~0x3FU;  // ignore sticky exception flags
    WriteControlWord(savedWord);
    WriteMxcsr(savedMxcsr);

    EXPECT_EQ(object.controlWordAtEntry, 0x037F);
    EXPECT_EQ(object.mxcsrAtEntry & ~0x3FU, 0x1F80u);
    EXPECT_EQ(wordAfter, 0x0F7F);
    EXPECT_EQ(mxcsrAfter, 0x7F80u);
}

TEST_F(MethodThunkTest, ManyThreadsCallOneThunkAtOnce) {
    TestObject object{&kTable, 5};
    const Thunk thunk(object, kCombine);
    ASSERT_NE(thunk.address(), 0u);
    std::vector<int> wrong(8, 0);
    std::vector<std::thread> callers;
    for (std::uint64_t t = 0; t < wrong.size(); ++t) {
        callers.emplace_back([&, t] {
            for (std::uint64_t i = 0; i < 5000; ++i) {
                const std::uint64_t expected = 5 * 1000003 + t * 7 + i * 11 + (t ^ i) * 13 + 17;
                if (thunk.call()(t, i, t ^ i, 1) != expected) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

TEST_F(MethodThunkTest, NothingIsBuiltOrAllocatedForAMissingMethod) {
    TestObject object{&kTable, 6};
    const MethodTable* noTable = nullptr;
    const std::size_t before = platform::ExecMemoryCreatedCount();
    for (const std::int32_t method : {0, -1, kMissing, 6, 1000}) {
        EXPECT_EQ(BuildMethodThunk(&object, method), 0u) << method;
    }
    EXPECT_EQ(BuildMethodThunk(&noTable, kEcho), 0u);
    EXPECT_EQ(BuildMethodThunk(nullptr, kEcho), 0u);
    EXPECT_EQ(platform::ExecMemoryCreatedCount(), before);
    FreeMethodThunk(0);
}

TEST_F(MethodThunkTest, FailedAllocationGivesZeroAndALaterBuildSucceedsWithOneSharedEpilogue) {
    TestObject object{&kTable, 7};
    // Whether the epilogue or the thunk is allocated first, this build fails.
    platform::FailNextExecMemoryCreates(1);
    EXPECT_EQ(BuildMethodThunk(&object, kEcho), 0u);

    const Thunk retried(object, kEcho);
    ASSERT_NE(retried.address(), 0u);
    EXPECT_EQ(retried.call()(1, 2, 3, 4), 0xFEDCBA9876543210ULL ^ 7);
    // From now on the epilogue exists: one allocation per thunk.
    const std::size_t before = platform::ExecMemoryCreatedCount();
    const Thunk another(object, kCombine);
    EXPECT_EQ(platform::ExecMemoryCreatedCount(), before + 1);
}

}  // namespace
}  // namespace melvara::threadpool

#endif  // __x86_64__
