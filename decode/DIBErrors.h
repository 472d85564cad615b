// The errors of the device-independent bitmap classes. Messages are fixed texts.
#pragma once

#include "base/Exception.h"

class EDIBError : public Exception {
 public:
  using Exception::Exception;
};

#define VESKO_DIB_ERROR(Name)     \
  class Name : public EDIBError { \
   public:                        \
    using EDIBError::EDIBError;   \
  }

VESKO_DIB_ERROR(EDIBInvalidDIB);
VESKO_DIB_ERROR(EDIBInvalidDIBFile);
VESKO_DIB_ERROR(EDIBInvalidDIBPara);
VESKO_DIB_ERROR(EDIBBadDIBType);
VESKO_DIB_ERROR(EDIBInvalidPalette);
VESKO_DIB_ERROR(EDIBCompressionFailed);
VESKO_DIB_ERROR(EDIBCanvasFailed);

#undef VESKO_DIB_ERROR

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
