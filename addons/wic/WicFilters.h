// The extension filters the system-codec plug-in offers, cut into entries the host reads whole:
// a host reads each text of a plug-in into 255 bytes, so a longer filter would lose its last
// extensions and register half a one.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct TFilterEntry {
  std::string filter;
  std::string description;
};

// One further decoder: its friendly name and its extensions (".heic").
using TDecoderClaim = std::pair<std::string, std::vector<std::string>>;

// The base filter and description first, then every decoder's extensions as "*.ext" patterns,
// each entry filled up to `limit` bytes and never cut inside a pattern. An entry's description
// names the decoders whose extensions it holds, as many as fit, and the imaging component.
inline std::vector<TFilterEntry> WicFilterEntries(const std::string& baseFilter,
                                                  const std::string& baseDescription,
                                                  const std::vector<TDecoderClaim>& decoders,
                                                  size_t limit = 254) {
  static const std::string kSuffix = " (Windows Imaging Component)";
  std::vector<TFilterEntry> entries{{baseFilter, baseDescription}};
  auto addName = [&](TFilterEntry& entry, const std::string& name) {
    if (name.empty()) return;
    const std::string joined = entry.description.empty() ? name : entry.description + ", " + name;
    if (joined.size() + kSuffix.size() <= limit) entry.description = joined;
  };
  for (const auto& [name, extensions] : decoders) {
    bool named = false;
    for (const std::string& extension : extensions) {
      const std::string pattern = "*" + extension;
      if (pattern.size() > limit) continue;
      TFilterEntry* entry = &entries.back();
      if (entry->filter.size() + 1 + pattern.size() > limit) {
        entries.push_back({pattern, ""});
        entry = &entries.back();
        named = false;
      } else {
        entry->filter += ";" + pattern;
      }
      if (!named) addName(*entry, name);
      named = true;
    }
  }
  for (TFilterEntry& entry : entries) {
    if (entry.description.empty())
      entry.description = "Windows Imaging Component";
    else
      entry.description += kSuffix;
  }
  return entries;
}
