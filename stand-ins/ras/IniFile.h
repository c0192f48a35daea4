// A small INI document: [section] headers and key=value lines, read with a size cap so that a
// malformed or huge file never costs more than the cap. The simulator's state files are written
// "escaped" (see Escape), so any byte string survives a round trip; the hand-written
// configuration is read literally.
#pragma once

#include <string>
#include <vector>

class IniFile {
public:
  struct Entry {
    std::string key, value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    const Entry* Find(const std::string& key) const;
  };

  static constexpr size_t kMaxBytes = 1024 * 1024;

  // Reads at most maxBytes of the file. A missing or unreadable file gives an empty document
  // and false. Lines without '=' and comment lines (';' or '#') are skipped.
  bool Load(const std::string& path, bool escaped, size_t maxBytes = kMaxBytes);
  void Parse(const std::string& text, bool escaped);
  // Writes the whole document (escaped) through a temporary file that then replaces the file.
  bool Save(const std::string& path) const;
  std::string Format() const;

  // Names compare ignoring ASCII case, like Windows' profile functions.
  const Section* Find(const std::string& section) const;
  Section& FindOrAdd(const std::string& section);
  bool Remove(const std::string& section);
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = std::string()) const;
  bool Has(const std::string& section, const std::string& key) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);

  const std::vector<Section>& Sections() const { return m_sections; }

  static bool SameName(const std::string& a, const std::string& b);
  // Backslash, control bytes, leading or trailing blanks (and, in section names, brackets)
  // become \\ or \xHH; everything else is written as it is.
  static std::string Escape(const std::string& text, bool sectionName = false);
  static std::string Unescape(const std::string& text);

private:
  std::vector<Section> m_sections;
};

// Decimal or 0x-prefixed hexadecimal, optionally negative. Anything else gives fallback.
long long ParseNumber(const std::string& text, long long fallback);
