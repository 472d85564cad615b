#include <doctest/doctest.h>

#include "addons/zip/ZipReader.h"
#include "tests/files/ZipWriter.h"

namespace {

struct Opened {
  std::string bytes;
  TZipMemorySource source;
  TZipReader reader;
  int result;
  explicit Opened(std::string b)
      : bytes(std::move(b)),
        source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
        result(reader.Open(source)) {}
};

std::string Extract(Opened& zip, size_t index, size_t capacity, int& result) {
  std::string out(capacity, '\0');
  size_t written = 0;
  result = zip.reader.Extract(zip.reader.Entries()[index], reinterpret_cast<uint8_t*>(out.data()),
                              capacity, written);
  out.resize(written);
  return out;
}

}  // namespace

TEST_CASE("stored, deflated and Zip64 members come out whole") {
  const std::string big(100000, 'q');
  for (bool zip64 : {false, true}) {
    TTestZip z;
    z.zip64 = zip64;
    z.members = {{"pics/a.jpg", "stored bytes", false, false},
                 {"[x]/b.bmp", big, true, false},
                 {"壁紙/海.jpg", "sea", true, true}};
    Opened zip(z.Build());
    REQUIRE(zip.result == ZipError::kOk);
    REQUIRE(zip.reader.Entries().size() == 3);
    CHECK(zip.reader.Entries()[2].Utf8);
    int result = 0;
    CHECK(Extract(zip, 0, 1024, result) == "stored bytes");
    CHECK(result == ZipError::kOk);
    CHECK(Extract(zip, 1, big.size() + 1024, result) == big);
    CHECK(Extract(zip, 2, 10, result) == "sea");
  }
}

TEST_CASE("a buffer smaller than the member is never overrun") {
  TTestZip z;
  z.members = {{"a", std::string(5000, 'z'), true, false},
               {"b", std::string(5000, 'y'), false, false}};
  Opened zip(z.Build());
  for (size_t index : {0u, 1u}) {
    std::string out(100 + 16, '#');
    size_t written = 0;
    const int result = zip.reader.Extract(zip.reader.Entries()[index],
                                          reinterpret_cast<uint8_t*>(out.data()), 100, written);
    CHECK(result == ZipError::kBufferTooSmall);
    CHECK(written == 100);
    CHECK(out.substr(100) == std::string(16, '#'));
  }
}

TEST_CASE("archives that lie are refused, not trusted") {
  CHECK(Opened("not a zip at all, not even close to one").result == ZipError::kNotZip);
  TTestZip z;
  z.members = {{"a", std::string(2000, 'z'), true, false}};
  std::string bytes = z.Build();
  // The directory claims a member far larger than the archive.
  std::string liar = bytes;
  const size_t directory = liar.find(std::string("PK\x01\x02", 4));
  liar[directory + 20] = '\xFF';
  liar[directory + 21] = '\xFF';
  liar[directory + 22] = '\xFF';
  Opened big(liar);
  REQUIRE(big.result == ZipError::kOk);
  int result = 0;
  Extract(big, 0, 4096, result);
  CHECK(result == ZipError::kBroken);
  // A cut archive.
  CHECK(Opened(bytes.substr(0, bytes.size() - 30)).result != ZipError::kOk);
  // Corrupt deflate data (the member's data starts after the 30-byte local header and "a").
  std::string broken = bytes;
  for (size_t i = 31; i < 36; ++i) broken[i] = '\xFF';
  Opened corrupt(broken);
  REQUIRE(corrupt.reader.Entries().size() == 1);
  Extract(corrupt, 0, 4096, result);
  CHECK(result != ZipError::kOk);
}

TEST_CASE("member patterns as archiver command lines write them") {
  CHECK(ZipNameMatches("[[]x]/a.jpg", "[x]/a.jpg"));
  CHECK(ZipNameMatches("[-]dash.jpg", "-dash.jpg"));
  CHECK(ZipNameMatches("pics/a.jpg", "PICS\\A.JPG"));
  CHECK(ZipNameMatches("*.jpg", "dir/x.jpg"));
  CHECK(ZipNameMatches("a?c", "abc"));
  CHECK_FALSE(ZipNameMatches("a.jpg", "a.jpeg"));
  CHECK_FALSE(ZipNameMatches("[[]x]/a.jpg", "x/a.jpg"));
}
