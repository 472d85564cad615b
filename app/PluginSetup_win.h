// How the main window sets up its plug-in host: every search folder, MacBinary on, and the
// three handlers that keep only import filters and leave the built-in formats their readers.
#pragma once

#include <string>
#include <vector>

class TSPIs;

void ConfigureMainWindowSPIs(TSPIs& spis);
// One of our plug-ins as the build made it: its file name and the SHA-256 of the file.
struct TOwnPlugin {
  const char* Name;
  const char* Sha256;  // lower-case hex
};
// Whether a plug-in is one of `ours` beside the program, by name and content: these contain
// their own faults and run in the program's process; every other runs in the helper, also a
// file that merely takes one of our names (Susie plug-ins of others are called ifpng.spi too).
bool IsOwnPlugin(const std::string& fileName, const std::vector<TOwnPlugin>& ours);
// The SHA-256 of a file's bytes in lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& fileName);
// The first filter entry of every loaded plug-in, in load order, for the list of accepted masks;
// every entry of the program's own plug-ins (named "Vesko 2 ..."), whose system-codec plug-in
// spreads its many extensions over several entries so that the host reads none of them cut.
std::vector<std::string> PluginFirstFilters(const TSPIs& spis);
