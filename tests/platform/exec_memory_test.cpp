#include "platform/exec_memory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace melvara::platform {
namespace {

// Permissions of the mapping that holds `address`, as /proc/self/maps shows
// them ("r-xp"), or "" when nothing is mapped there.
std::string PermissionsAt(std::uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range;
        std::string permissions;
        fields >> range >> permissions;
        const auto dash = range.find('-');
        const auto begin = std::stoull(range.substr(0, dash), nullptr, 16);
        const auto end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (address >= begin && address < end) {
            return permissions;
        }
    }
    return "";
}

// mov eax, 42; ret
constexpr std::array<std::uint8_t, 6> kReturn42 = {0xb8, 0x2a, 0x00, 0x00, 0x00, 0xc3};

TEST(ExecMemoryTest, CodeIsCopiedIntoReadExecutePagesThatAreUnmappedWithTheOwner) {
    std::uintptr_t address = 0;
    {
        ExecMemory memory = ExecMemory::Create(kReturn42);
        ASSERT_TRUE(memory);
        address = memory.address();
        EXPECT_GE(memory.size(), kReturn42.size());
        EXPECT_EQ(PermissionsAt(address), "r-xp");
#if defined(__x86_64__)
        EXPECT_EQ(reinterpret_cast<int (*)()>(address)(), 42);
#endif
    }
    EXPECT_EQ(PermissionsAt(address), "");
}

TEST(ExecMemoryTest, OwnershipMovesAndCanBeHandedOutAndTakenBack) {
    ExecMemory first = ExecMemory::Create(kReturn42);
    const std::uintptr_t address = first.address();
    ExecMemory second = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_EQ(second.address(), address);

    const std::uintptr_t released = second.Release();
    EXPECT_FALSE(second);
    EXPECT_EQ(PermissionsAt(released), "r-xp");
    { ExecMemory adopted = ExecMemory::Adopt(released, kReturn42.size()); }
    EXPECT_EQ(PermissionsAt(released), "");
    EXPECT_FALSE(ExecMemory::Adopt(0, 16));
}

TEST(ExecMemoryTest, FailuresGiveAnEmptyMappingAndCountNothing) {
    const std::size_t before = ExecMemoryCreatedCount();
    EXPECT_FALSE(ExecMemory::Create({}));
    FailNextExecMemoryCreates(1);
    EXPECT_FALSE(ExecMemory::Create(kReturn42));
    EXPECT_EQ(ExecMemoryCreatedCount(), before);
    EXPECT_TRUE(ExecMemory::Create(kReturn42));
    EXPECT_EQ(ExecMemoryCreatedCount(), before + 1);
}

}  // namespace
}  // namespace melvara::platform
