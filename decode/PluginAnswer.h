// What the program takes from the plug-in helper's answers. The helper runs outside code, so an
// answer may be anything: each is checked here before the program relies on a word of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/PluginWire.h"
#include "decode/SusieApi.h"

namespace plugin_answer {

// Load: the plug-in's entry points, as a mask of the `entryCount` known ones; -1 when it did not
// load.
int32_t LoadedEntries(const plugin_wire::TMessage& answer, int entryCount);

// GetPluginInfo: the text copied into `buffer` of `length` bytes (cut to fit, ended with a NUL)
// and the count the plug-in returned, never more than the bytes that came.
int PluginInfo(const plugin_wire::TMessage& answer, char* buffer, int length);

// GetPictureInfo: the result code; on success `info` holds the record, whose handle (the
// helper's, meaningless here) is cleared. An answer of the wrong size is broken data.
int PictureInfo(const plugin_wire::TMessage& answer, TSusiePictureInfo& info);

// GetPicture and GetPreview: whether the program may take the answer's information block and
// the pixels in its section: success, the plug-in's own code, broken data (an empty block) or
// no memory (more pixels than any picture may hold).
int Picture(const plugin_wire::TMessage& answer, uint64_t maxPixelBytes);

// An archiver's extraction: empty when the member's bytes may be taken into a buffer of
// `bufferSize`, else what went wrong.
std::string Extraction(const plugin_wire::TMessage& answer, size_t bufferSize);

}  // namespace plugin_answer
