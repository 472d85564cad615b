// Builds ZIP archives byte by byte for the tests: stored or deflated members, the UTF-8 flag,
// and the Zip64 form of the sizes and the directory.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct TTestZip {
  struct Member {
    std::string name;
    std::string data;
    bool deflate = true;
    bool utf8 = false;
  };
  std::vector<Member> members;
  bool zip64 = false;

  static void Put(std::string& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
  }

  std::string Build() const {
    std::string out;
    std::string directory;
    for (const Member& m : members) {
      std::string payload = m.data;
      if (m.deflate) {
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::string buffer(deflateBound(&z, static_cast<uLong>(m.data.size())) + 16, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m.data.data()));
        z.avail_in = static_cast<uInt>(m.data.size());
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        deflate(&z, Z_FINISH);
        buffer.resize(z.total_out);
        deflateEnd(&z);
        payload = buffer;
      }
      const uint32_t crc =
          crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size()));
      const uint64_t offset = out.size();
      const uint16_t flags = m.utf8 ? 0x0800 : 0;
      const uint16_t method = m.deflate ? 8 : 0;
      Put(out, 0x04034b50, 4);
      Put(out, 20, 2);
      Put(out, flags, 2);
      Put(out, method, 2);
      Put(out, 0, 4);
      Put(out, crc, 4);
      Put(out, payload.size(), 4);
      Put(out, m.data.size(), 4);
      Put(out, m.name.size(), 2);
      Put(out, 0, 2);
      out += m.name;
      out += payload;

      std::string extra;
      if (zip64) {
        Put(extra, 0x0001, 2);
        Put(extra, 24, 2);
        Put(extra, m.data.size(), 8);
        Put(extra, payload.size(), 8);
        Put(extra, offset, 8);
      }
      Put(directory, 0x02014b50, 4);
      Put(directory, 45, 2);
      Put(directory, 45, 2);
      Put(directory, flags, 2);
      Put(directory, method, 2);
      Put(directory, 0, 4);
      Put(directory, crc, 4);
      Put(directory, zip64 ? 0xFFFFFFFFu : payload.size(), 4);
      Put(directory, zip64 ? 0xFFFFFFFFu : m.data.size(), 4);
      Put(directory, m.name.size(), 2);
      Put(directory, extra.size(), 2);
      Put(directory, 0, 2);
      Put(directory, 0, 2);
      Put(directory, 0, 2);
      Put(directory, 0, 4);
      Put(directory, zip64 ? 0xFFFFFFFFu : offset, 4);
      directory += m.name;
      directory += extra;
    }
    const uint64_t directoryOffset = out.size();
    out += directory;
    if (zip64) {
      const uint64_t end64 = out.size();
      Put(out, 0x06064b50, 4);
      Put(out, 44, 8);
      Put(out, 45, 2);
      Put(out, 45, 2);
      Put(out, 0, 4);
      Put(out, 0, 4);
      Put(out, members.size(), 8);
      Put(out, members.size(), 8);
      Put(out, directory.size(), 8);
      Put(out, directoryOffset, 8);
      Put(out, 0x07064b50, 4);
      Put(out, 0, 4);
      Put(out, end64, 8);
      Put(out, 1, 4);
    }
    Put(out, 0x06054b50, 4);
    Put(out, 0, 2);
    Put(out, 0, 2);
    Put(out, zip64 ? 0xFFFF : members.size(), 2);
    Put(out, zip64 ? 0xFFFF : members.size(), 2);
    Put(out, zip64 ? 0xFFFFFFFFu : directory.size(), 4);
    Put(out, zip64 ? 0xFFFFFFFFu : directoryOffset, 4);
    Put(out, 0, 2);
    return out;
  }
};
