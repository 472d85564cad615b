// The messages between the program and its helper process, which loads the plug-ins and
// archiver DLLs users install and makes the calls into them. A frame is a 4-byte length, then
// the message: its kind and every field, each checked on reading, so that a helper that died
// half-way or answers garbage costs one picture and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"

namespace plugin_wire {

// The largest frame either side accepts: a picture inside an archive travels in one.
constexpr uint32_t kMaxFrame = uint32_t{256} << 20;
// The largest text field: a path, an info text, an error message.
constexpr uint32_t kMaxText = 32768;

class EWireError : public Exception {
 public:
  using Exception::Exception;
};

enum class TKind : uint32_t {
  Load = 1,     // program → helper: load the Plugin; the answer's Text is its class
  PluginInfo,   // info Number
  IsSupported,  // the file name Text and its first bytes Data
  PictureInfo,  // of Source
  Picture,      // of Source, with progress
  Preview,      // of Source, with progress
  Configure,    // the plug-in's dialog, owned by the window Number
  Progress,     // helper → program: Number of Total done; the program answers Continue
  Continue,     // program → helper: Number 0 goes on, 1 aborts
  Result,       // helper → program: the call's result Number, its Text and Data, where the
                // pixels lie (Section, SectionSize); Total 1 when the helper ends after it
  Alive,        // helper → program: a window of the plug-in waits on the user, or a large
                //   picture is being handed over
                // that the user has not answered yet; no answer
  Extract,      // program → helper: the member Text of the archive Plugin, at most Number
                // bytes into a buffer of Total; the bytes come back in the section
};

// Where a picture comes from: a file (its name as the plug-in gets it and the offset of the
// picture in it) or bytes in memory (a member of an archive).
struct TSource {
  bool InMemory = false;
  std::string FileName;
  int32_t Offset = 0;
  std::vector<uint8_t> Bytes;
  uint32_t Flag = 0;  // the Susie flag's bits above the input kind
  bool operator==(const TSource&) const = default;
};

struct TMessage {
  TKind Kind = TKind::Result;
  int32_t Number = 0;
  int32_t Total = 0;
  // The plug-in a call goes to, by its full path: the helper loads it at its first call.
  std::string Plugin;
  std::string Text;
  std::vector<uint8_t> Data;
  TSource Source;
  uint64_t Section = 0;  // a handle value in the receiving process, 0 for none
  uint32_t SectionSize = 0;
  bool operator==(const TMessage&) const = default;
};

// The whole frame, length first.
std::vector<uint8_t> Encode(const TMessage& message);
// The message of a frame whose length `FrameLength` told; EWireError for anything malformed:
// an unknown kind, a field that runs past the end, too long a text, bytes left over.
TMessage Decode(const uint8_t* body, size_t size);
// The length at the head of a frame (its first 4 bytes); EWireError past kMaxFrame or below
// the smallest message.
uint32_t FrameLength(const uint8_t* head);

}  // namespace plugin_wire
