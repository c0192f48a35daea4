// Linked into the shipping programs and libraries only (TZ_SHIPPING), ahead of the static C++
// runtime, whose own versions of these functions cost far more than they do here.
//
// GNU ld for Windows cannot drop unused functions that the unwind tables (.eh_frame) mention,
// so every object file it takes from the runtime stays whole. Two of them drag in most of the
// rest: the verbose terminate handler (symbol demangler and printf engine, ~100 KB) and the
// std::__throw_* helpers (std::logic_error and friends, which carry the whole old std::string
// and std::random_device, ~150 KB). These replacements behave the same for these programs:
// - terminate: the default handler writes the exception's type to stderr, which a GUI program
//   does not have, and aborts; this one aborts.
// - out of memory (bad_alloc, bad_array_new_length, and length_error, which only a size
//   beyond all memory raises): thrown as before, for the handlers that catch std::bad_alloc.
// - without exception support (-fno-exceptions, the shipping component libraries) all of
//   these, and a failed operator new, end the process.
// - the logic errors (out_of_range, invalid_argument, a null text for a string, ...), which
//   only a defect raises: thrown as one exception type of our own. No handler in the programs
//   names a logic error, so they end where they ended before; the components' catch-all
//   handlers still turn them into a failure result.
#include <cstdlib>
#include <exception>
#include <new>

#if __cpp_exceptions
#define TZ_THROW(what) throw what
#else
// Built without exception support (the shipping component libraries): what would have been
// thrown ends the process.
#define TZ_THROW(what) (static_cast<void>(what), std::abort())
#endif

namespace {

class LogicError : public std::exception {
 public:
  explicit LogicError(const char* what) noexcept : m_what(what != nullptr ? what : "logic error") {}
  const char* what() const noexcept override { return m_what; }

 private:
  const char* m_what;
};

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { TZ_THROW(std::bad_alloc()); }
void __throw_bad_array_new_length() { TZ_THROW(std::bad_array_new_length()); }
void __throw_length_error(const char*) { TZ_THROW(std::bad_alloc()); }
void __throw_bad_exception() { TZ_THROW(std::bad_exception()); }
void __throw_bad_cast() { TZ_THROW(LogicError("bad cast")); }
void __throw_bad_typeid() { TZ_THROW(LogicError("bad typeid")); }
void __throw_logic_error(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_domain_error(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_invalid_argument(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_out_of_range(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_out_of_range_fmt(const char* what, ...) { TZ_THROW(LogicError(what)); }
void __throw_runtime_error(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_range_error(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_overflow_error(const char* what) { TZ_THROW(LogicError(what)); }
void __throw_underflow_error(const char* what) { TZ_THROW(LogicError(what)); }
}  // namespace std

#if !__cpp_exceptions
// The runtime's operator new throws std::bad_alloc, which needs the unwinder. Without
// exception support a failed allocation ends the process, as the functions above do.
void* operator new(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) std::abort();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
#endif
