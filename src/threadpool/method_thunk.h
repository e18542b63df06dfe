#pragma once

#include <cstdint>
#include <span>

// Method thunks: a few bytes of code generated at run time that turn one method
// of one object into a plain callback address. Calling the thunk with up to four
// pointer-sized arguments calls the method with the object first and those
// arguments after it, and hands the method's result back unchanged.
//
// An object that thunks can be built for starts with a pointer to its
// operation table (a MethodTable). Entries 0 and 1 are destruction and copy;
// method number n (from 1) is entry n + 1, counted from 0.

namespace melvara::threadpool {

using MethodAddress = void (*)();
using MethodTable = std::span<const MethodAddress>;

// Whether this build generates thunks. Elsewhere BuildMethodThunk always
// returns 0 and callers use a fixed trampoline instead.
#if defined(__x86_64__) && !defined(MELVARA_PORTABLE_WORKER_START)
inline constexpr bool kGeneratedThunks = true;
#else
inline constexpr bool kGeneratedThunks = false;
#endif

// `object` must begin with a `const MethodTable*`. Returns the thunk's code
// address, or 0 for method number 0, a method that is missing from the table,
// or when executable memory could not be obtained.
std::uintptr_t BuildMethodThunk(const void* object, std::int32_t methodNumber);

// Releases a thunk from BuildMethodThunk. 0 does nothing.
void FreeMethodThunk(std::uintptr_t thunk);

}  // namespace melvara::threadpool
