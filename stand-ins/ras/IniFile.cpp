#include "IniFile.h"

#include <windows.h>

#include <cstdio>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool IniFile::SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string IniFile::Escape(const std::string& text, bool sectionName) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool edgeBlank = (i < first || i >= last);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F || edgeBlank || (sectionName && (c == '[' || c == ']'))) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string IniFile::Unescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == '\\') {
        out += '\\';
        ++i;
        continue;
      }
      if (text[i + 1] == 'x' && i + 3 < text.size()) {
        int hi = HexDigit(text[i + 2]), lo = HexDigit(text[i + 3]);
        if (hi >= 0 && lo >= 0) {
          out += static_cast<char>(hi * 16 + lo);
          i += 3;
          continue;
        }
      }
    }
    out += text[i]; // unknown escapes stay as written
  }
  return out;
}

bool IniFile::Load(const std::string& path, bool escaped, size_t maxBytes) {
  m_sections.clear();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buf[16384];
  for (;;) {
    size_t want = maxBytes - text.size();
    if (want == 0) break;
    if (want > sizeof buf) want = sizeof buf;
    DWORD got = 0;
    if (!ReadFile(h, buf, static_cast<DWORD>(want), &got, nullptr) || got == 0) break;
    text.append(buf, got);
  }
  CloseHandle(h);
  Parse(text, escaped);
  return true;
}

void IniFile::Parse(const std::string& text, bool escaped) {
  m_sections.clear();
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close == std::string::npos || close == 0) {
        current = nullptr; // a broken header: its lines belong to no section
        continue;
      }
      std::string name = line.substr(1, close - 1);
      if (escaped) name = Unescape(name);
      current = &FindOrAdd(name);
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || !current) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    if (escaped) value = Unescape(value);
    if (key.empty() || current->Find(key)) continue; // the first of duplicate keys counts
    current->entries.push_back({key, value});
  }
}

std::string IniFile::Format() const {
  std::string out;
  for (const Section& s : m_sections) {
    out += "[" + Escape(s.name, true) + "]\n";
    for (const Entry& e : s.entries) out += e.key + "=" + Escape(e.value) + "\n";
    out += "\n";
  }
  return out;
}

bool IniFile::Save(const std::string& path) const {
  std::string text = Format();
  std::string tmp = path + ".tmp";
  HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(h);
  if (!ok || !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(tmp.c_str());
    return false;
  }
  return true;
}

const IniFile::Entry* IniFile::Section::Find(const std::string& key) const {
  for (const Entry& e : entries)
    if (SameName(e.key, key)) return &e;
  return nullptr;
}

const IniFile::Section* IniFile::Find(const std::string& section) const {
  for (const Section& s : m_sections)
    if (SameName(s.name, section)) return &s;
  return nullptr;
}

IniFile::Section& IniFile::FindOrAdd(const std::string& section) {
  for (Section& s : m_sections)
    if (SameName(s.name, section)) return s;
  m_sections.push_back({section, {}});
  return m_sections.back();
}

bool IniFile::Remove(const std::string& section) {
  for (auto it = m_sections.begin(); it != m_sections.end(); ++it) {
    if (SameName(it->name, section)) {
      m_sections.erase(it);
      return true;
    }
  }
  return false;
}

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& fallback) const {
  const Section* s = Find(section);
  const Entry* e = s ? s->Find(key) : nullptr;
  return e ? e->value : fallback;
}

bool IniFile::Has(const std::string& section, const std::string& key) const {
  const Section* s = Find(section);
  return s && s->Find(key);
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  Section& s = FindOrAdd(section);
  for (Entry& e : s.entries) {
    if (SameName(e.key, key)) {
      e.value = value;
      return;
    }
  }
  s.entries.push_back({key, value});
}

long long ParseNumber(const std::string& text, long long fallback) {
  std::string t = Trim(text);
  bool negative = false;
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  int base = 10;
  if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return fallback;
  unsigned long long value = 0;
  for (; i < t.size(); ++i) {
    int d = HexDigit(t[i]);
    if (d < 0 || d >= base) return fallback;
    if (value > (0x7FFFFFFFFFFFFFFFull - d) / base) return fallback; // would overflow
    value = value * base + d;
  }
  long long v = static_cast<long long>(value);
  return negative ? -v : v;
}
