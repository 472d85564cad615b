// Bytes of a file kept inside the program (the about box's tune): written out when needed, and
// stored in a window's form data as a 32-bit little-endian count followed by the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"

class TBinaryKeeper {
 public:
  // The name of the file the bytes came from; at run time it is only recorded.
  std::string Filename;
  int Size() const { return static_cast<int>(data_.size()); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void SetBytes(std::vector<uint8_t> bytes) { data_ = std::move(bytes); }

  // The stored form: nothing when there are no bytes.
  std::vector<uint8_t> StoreData() const;
  // Reads a stored form; EReadError when the count promises more bytes than there are.
  void LoadData(const std::vector<uint8_t>& stored);

 private:
  std::vector<uint8_t> data_;
};

class EReadError : public Exception {
 public:
  using Exception::Exception;
};
