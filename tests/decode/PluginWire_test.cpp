#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <utility>

#include "decode/PluginAnswer.h"
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

TEST_CASE("the program takes from an answer only what it checked") {
  const auto answer = [](int32_t number, std::vector<uint8_t> data = {}, uint32_t section = 0) {
    TMessage m;
    m.Kind = TKind::Result;
    m.Number = number;
    m.Data = std::move(data);
    m.SectionSize = section;
    return m;
  };
  // Entry points: only the known ones; a negative answer is a plug-in that did not load.
  CHECK(plugin_answer::LoadedEntries(answer(-1), 8) == -1);
  CHECK(plugin_answer::LoadedEntries(answer(0x7FFFFFFF), 8) == 0xFF);

  // Information text: cut to the buffer, and the count never past the bytes that came.
  char buffer[4] = {'x', 'x', 'x', 'x'};
  CHECK(plugin_answer::PluginInfo(answer(1000, {'a', 'b', 'c', 'd', 'e'}), buffer, 4) == 5);
  CHECK(std::string(buffer) == "abc");
  CHECK(plugin_answer::PluginInfo(answer(3, {'a'}), buffer, 4) == 1);
  CHECK(plugin_answer::PluginInfo(answer(0, {}), nullptr, 0) == 0);

  // Picture information: exactly one record, its handle cleared; anything else is broken.
  TSusiePictureInfo sent{};
  sent.width = 640;
  sent.hInfo = 0x1234;
  std::vector<uint8_t> record(sizeof sent);
  std::memcpy(record.data(), &sent, sizeof sent);
  TSusiePictureInfo got{};
  CHECK(plugin_answer::PictureInfo(answer(SusieResult::kSuccess, record), got) ==
        SusieResult::kSuccess);
  // Read out of the packed record first: doctest binds what it compares by reference.
  const int32_t width = got.width;
  const uint32_t handle = got.hInfo;
  CHECK(width == 640);
  CHECK(handle == 0);
  record.pop_back();
  TSusiePictureInfo untouched{};
  CHECK(plugin_answer::PictureInfo(answer(SusieResult::kSuccess, record), untouched) ==
        SusieResult::kBrokenData);
  const int32_t untouchedWidth = untouched.width;
  CHECK(untouchedWidth == 0);
  CHECK(plugin_answer::PictureInfo(answer(SusieResult::kUnknownFormat, record), untouched) ==
        SusieResult::kUnknownFormat);

  // A picture: information and pixels present, and no more pixels than any picture may hold.
  const std::vector<uint8_t> head(40, 1);
  CHECK(plugin_answer::Picture(answer(0, head, 12), 100) == SusieResult::kSuccess);
  CHECK(plugin_answer::Picture(answer(0, {}, 12), 100) == SusieResult::kBrokenData);
  CHECK(plugin_answer::Picture(answer(0, head, 0), 100) == SusieResult::kBrokenData);
  CHECK(plugin_answer::Picture(answer(0, head, 101), 100) == SusieResult::kNoMemory);
  CHECK(plugin_answer::Picture(answer(SusieResult::kAborted, head, 12), 100) ==
        SusieResult::kAborted);

  // An archive member: an error is said, also without text; more bytes than the buffer holds
  // are refused.
  CHECK(plugin_answer::Extraction(answer(0, {}, 10), 10).empty());
  CHECK_FALSE(plugin_answer::Extraction(answer(0, {}, 11), 10).empty());
  CHECK_FALSE(plugin_answer::Extraction(answer(-1), 10).empty());
}
