#include <doctest/doctest.h>

#include <cstring>

#include "decode/PluginWire.h"

using namespace plugin_wire;

namespace {

TMessage Roundtrip(const TMessage& m) {
  const std::vector<uint8_t> frame = Encode(m);
  REQUIRE(frame.size() >= 4);
  CHECK(FrameLength(frame.data()) == frame.size() - 4);
  return Decode(frame.data() + 4, frame.size() - 4);
}

}  // namespace

TEST_CASE("plug-in helper messages come back as they were sent") {
  TMessage load;
  load.Kind = TKind::Load;
  load.Text = "C:\\Susie\\\x83\x76\x83\x89\x83\x4f.spi";  // a Shift-JIS path, byte for byte
  TMessage supported;
  supported.Kind = TKind::IsSupported;
  supported.Text = "D:\\pics\\a.pic";
  supported.Data.assign(2048, 0x5A);
  TMessage picture;
  picture.Kind = TKind::Picture;
  picture.Plugin = "C:\\Susie\\ifpic.spi";
  picture.Source.FileName = "D:\\pics\\a.pic";
  picture.Source.Offset = 128;  // after a MacBinary header
  picture.Source.Flag = 0x10;
  TMessage inMemory;
  inMemory.Kind = TKind::Preview;
  inMemory.Source.InMemory = true;
  inMemory.Source.Bytes = {0xFF, 0xD8, 0x00, 0xFF, 0xD9};
  TMessage progress;
  progress.Kind = TKind::Progress;
  progress.Number = 37;
  progress.Total = 4000;
  TMessage result;
  result.Kind = TKind::Result;
  result.Number = -1;
  result.Text = "アクセスが拒否されました";
  result.Data.assign(40, 7);
  result.Section = 0x00000000DEADBEEFull;
  result.SectionSize = 72000000;
  TMessage alive;
  alive.Kind = TKind::Alive;
  TMessage extract;
  extract.Kind = TKind::Extract;
  extract.Plugin = "D:\\写真\\旅行.lzh";
  extract.Text = "海\\朝.jpg";
  extract.Number = 300000;
  extract.Total = 301024;
  for (const TMessage& m : {load, supported, picture, inMemory, progress, result, alive, extract}) {
    CAPTURE(static_cast<int>(m.Kind));
    CHECK(Roundtrip(m) == m);
  }
}

TEST_CASE("a malformed helper message is refused whole, never read past its end") {
  TMessage m;
  m.Kind = TKind::Result;
  m.Text = "text";
  m.Data = {1, 2, 3};
  m.Source.FileName = "name";
  const std::vector<uint8_t> frame = Encode(m);
  const std::vector<uint8_t> body(frame.begin() + 4, frame.end());
  // Cut anywhere: refused (each copy is exactly as long as the cut, for the sanitizers).
  for (size_t size = 0; size < body.size(); ++size) {
    CAPTURE(size);
    const std::vector<uint8_t> cut(body.begin(), body.begin() + static_cast<long>(size));
    CHECK_THROWS_AS(Decode(cut.data(), cut.size()), EWireError);
  }
  // A byte too many; an unknown kind; a source flag that is neither 0 nor 1; a text length
  // past the frame and past the text limit.
  std::vector<uint8_t> longer = body;
  longer.push_back(0);
  CHECK_THROWS_AS(Decode(longer.data(), longer.size()), EWireError);
  for (const uint8_t kind : {0, 13, 255}) {
    std::vector<uint8_t> other = body;
    other[0] = kind;
    CHECK_THROWS_AS(Decode(other.data(), other.size()), EWireError);
  }
  std::vector<uint8_t> source = body;
  const size_t flagAt = 4 + 4 + 4 + (4 + 0) + (4 + 4) + (4 + 3);
  REQUIRE(source[flagAt] == 0);
  source[flagAt] = 2;
  CHECK_THROWS_AS(Decode(source.data(), source.size()), EWireError);
  for (const uint32_t length : {uint32_t{5}, uint32_t{1000}, kMaxText + 1, uint32_t{0xFFFFFFFF}}) {
    std::vector<uint8_t> text = body;
    std::memcpy(text.data() + 16, &length, 4);
    CHECK_THROWS_AS(Decode(text.data(), text.size()), EWireError);
  }
  CHECK_THROWS_AS(Decode(nullptr, 0), EWireError);
  // Frame lengths below the smallest message or past the limit.
  for (const uint32_t length : {uint32_t{0}, uint32_t{10}, kMaxFrame + 1}) {
    uint8_t head[4];
    std::memcpy(head, &length, 4);
    CHECK_THROWS_AS(FrameLength(head), EWireError);
  }
  // Too long a text is refused when sent, not cut.
  TMessage tooLong;
  tooLong.Text.assign(kMaxText + 1, 'x');
  CHECK_THROWS_AS(Encode(tooLong), EWireError);
}
