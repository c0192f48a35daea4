// Memory whose last byte is followed by an inaccessible page: a read of one byte beyond the
// data faults, so the picture tests and the fuzzer see every over-read.
#pragma once
#include <windows.h>

#include <cstring>
#include <vector>

class GuardedBytes {
 public:
  GuardedBytes(const BYTE* bytes, size_t n) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    m_span = (n + page - 1) / page * page;
    if (m_span == 0) m_span = page;
    m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, m_span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(m_base + m_span, page, PAGE_NOACCESS, &old);
    m_data = m_base + m_span - n;
    if (n) std::memcpy(m_data, bytes, n);
  }
  explicit GuardedBytes(const std::vector<BYTE>& bytes) : GuardedBytes(bytes.data(), bytes.size()) {}
  ~GuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  BYTE* data() { return m_data; }

 private:
  BYTE* m_base = nullptr;
  BYTE* m_data = nullptr;
  size_t m_span = 0;
};
