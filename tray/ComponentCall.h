// Calls into the adapter maker's component libraries, whatever calling convention they use.
//
// The interface of TzOSControl and TzSetupUtils names no calling convention, and the libraries
// come from the adapter's maker: one build pops its arguments (__stdcall), another leaves them
// to the caller (__cdecl). On x86 a mismatch leaves the stack pointer off by the arguments'
// size after every call; the program then passes wrong values to the next calls and crashes or
// hangs sooner or later. So every call into those libraries goes through ComponentCall: on x86
// a small thunk pushes the arguments itself and afterwards takes the stack pointer back from
// its own frame, which is right whichever side popped them. On x64 there is one convention and
// ComponentCall is a plain call.
#pragma once
#include <windows.h>

#include <cstdint>
#include <type_traits>

#if defined(__i386__) || defined(_M_IX86)
#define TZ_COMPONENT_CALL_THUNK 1
// Pushes |count| 32-bit |args| (the first one last, as both conventions expect), calls |fn|
// and returns its EAX with the stack pointer as it was before the pushes.
extern "C" DWORD __cdecl TzCallRestoringStack(const void* fn, const DWORD* args, DWORD count);
#endif

namespace component_call_detail {
template <typename T>
DWORD ToDword(T value) {
  static_assert(sizeof(T) == sizeof(DWORD), "component calls take 32-bit arguments only");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(value));
  } else {
    return static_cast<DWORD>(value);
  }
}
}  // namespace component_call_detail

template <typename Fn, typename... Args>
auto ComponentCall(Fn fn, Args... args) -> decltype(fn(args...)) {
#ifdef TZ_COMPONENT_CALL_THUNK
  using Result = decltype(fn(args...));
  static_assert(sizeof(Result) == sizeof(DWORD), "component calls return a 32-bit value");
  const DWORD values[sizeof...(Args) + 1] = {component_call_detail::ToDword(args)..., 0};
  return static_cast<Result>(
      TzCallRestoringStack(reinterpret_cast<const void*>(fn), values, static_cast<DWORD>(sizeof...(Args))));
#else
  return fn(args...);
#endif
}
