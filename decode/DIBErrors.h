// The errors of the device-independent bitmap classes. Messages are fixed texts.
#pragma once

#include "base/Exception.h"

class EDIBError : public Exception {
 public:
  using Exception::Exception;
};

class EDIBInvalidDIB : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBInvalidDIBFile : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBInvalidDIBPara : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBBadDIBType : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBInvalidPalette : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBCompressionFailed : public EDIBError {
 public:
  using EDIBError::EDIBError;
};
class EDIBCanvasFailed : public EDIBError {
 public:
  using EDIBError::EDIBError;
};

// A system resource (palette, memory mapping) could not be made.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

// A picture class was used where it does not fit (the clipboard without a bitmap).
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
