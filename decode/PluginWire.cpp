#include "decode/PluginWire.h"

namespace plugin_wire {
namespace {

class TWriter {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Block(const void* data, size_t size, uint32_t limit) {
    if (size > limit) throw EWireError("plug-in message field too long");
    U32(static_cast<uint32_t>(size));
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() {
    Need(1);
    return data_[at_++];
  }
  uint32_t U32() {
    Need(4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data_[at_ + static_cast<size_t>(i)];
    at_ += 4;
    return v;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | (uint64_t{U32()} << 32);
  }
  std::string Text() {
    const uint32_t size = Size(kMaxText);
    std::string text(reinterpret_cast<const char*>(data_ + at_), size);
    at_ += size;
    return text;
  }
  std::vector<uint8_t> Bytes() {
    const uint32_t size = Size(kMaxFrame);
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + size);
    at_ += size;
    return bytes;
  }
  void End() const {
    if (at_ != size_) throw EWireError("plug-in message with bytes left over");
  }

 private:
  void Need(size_t n) const {
    if (n > size_ - at_) throw EWireError("plug-in message cut short");
  }
  uint32_t Size(uint32_t limit) {
    const uint32_t size = U32();
    if (size > limit) throw EWireError("plug-in message field too long");
    Need(size);
    return size;
  }

  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Kind, Number, Total, four empty fields' lengths, the source's flag byte, its offset and
// flag, the section and its size.
constexpr uint32_t kSmallest = 4 + 4 + 4 + 4 + 4 + 4 + 1 + 4 + 4 + 4 + 4 + 8 + 4;

}  // namespace

std::vector<uint8_t> Encode(const TMessage& m) {
  TWriter w;
  w.U32(0);  // the length, filled in below
  w.U32(static_cast<uint32_t>(m.Kind));
  w.U32(static_cast<uint32_t>(m.Number));
  w.U32(static_cast<uint32_t>(m.Total));
  w.Block(m.Plugin.data(), m.Plugin.size(), kMaxText);
  w.Block(m.Text.data(), m.Text.size(), kMaxText);
  w.Block(m.Data.data(), m.Data.size(), kMaxFrame);
  w.U8(m.Source.InMemory ? 1 : 0);
  w.Block(m.Source.FileName.data(), m.Source.FileName.size(), kMaxText);
  w.U32(static_cast<uint32_t>(m.Source.Offset));
  w.Block(m.Source.Bytes.data(), m.Source.Bytes.size(), kMaxFrame);
  w.U32(m.Source.Flag);
  w.U64(m.Section);
  w.U32(m.SectionSize);
  std::vector<uint8_t>& bytes = w.Bytes();
  const size_t body = bytes.size() - 4;
  if (body > kMaxFrame) throw EWireError("plug-in message too long");
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(body >> (8 * i));
  return std::move(bytes);
}

TMessage Decode(const uint8_t* body, size_t size) {
  if (body == nullptr || size < kSmallest || size > kMaxFrame)
    throw EWireError("plug-in message of a wrong size");
  TReader r(body, size);
  TMessage m;
  const uint32_t kind = r.U32();
  if (kind < static_cast<uint32_t>(TKind::Load) || kind > static_cast<uint32_t>(TKind::Extract))
    throw EWireError("plug-in message of an unknown kind");
  m.Kind = static_cast<TKind>(kind);
  m.Number = static_cast<int32_t>(r.U32());
  m.Total = static_cast<int32_t>(r.U32());
  m.Plugin = r.Text();
  m.Text = r.Text();
  m.Data = r.Bytes();
  const uint8_t inMemory = r.U8();
  if (inMemory > 1) throw EWireError("plug-in message with a wrong source");
  m.Source.InMemory = inMemory == 1;
  m.Source.FileName = r.Text();
  m.Source.Offset = static_cast<int32_t>(r.U32());
  m.Source.Bytes = r.Bytes();
  m.Source.Flag = r.U32();
  m.Section = r.U64();
  m.SectionSize = r.U32();
  r.End();
  return m;
}

uint32_t FrameLength(const uint8_t* head) {
  const uint32_t length = uint32_t{head[0]} | (uint32_t{head[1]} << 8) | (uint32_t{head[2]} << 16) |
                          (uint32_t{head[3]} << 24);
  if (length < kSmallest || length > kMaxFrame) throw EWireError("plug-in message of a wrong size");
  return length;
}

}  // namespace plugin_wire
