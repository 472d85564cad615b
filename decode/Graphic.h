// The base of every picture class: size, emptiness, transparency, loading and saving through
// streams, assignment, and the change and progress events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Exception.h"
#include "decode/ColorProfile.h"

class TStream;

// An assignment between picture classes that do not know each other.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TRect&) const = default;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

// A device context to draw on (an HDC on Windows).
using TCanvasHandle = void*;

class TGraphic;
using TProgressEvent =
    std::function<void(TGraphic& sender, TProgressStage stage, uint8_t percent, bool redrawNow,
                       const TRect& rect, const std::string& message)>;

class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  TGraphic(TGraphic&&) = default;
  TGraphic& operator=(TGraphic&&) = default;
  virtual ~TGraphic() = default;

  virtual const char* ClassName() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;

  // Draws the whole picture stretched into the rectangle; nothing where the platform cannot draw.
  virtual void Draw(TCanvasHandle canvas, const TRect& rect) const;

  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) const = 0;
  virtual void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;

  // Takes the picture of `source` (null: becomes empty where the class allows). The default
  // asks the source to assign itself; EConvertError when neither side knows the other.
  virtual void Assign(const TGraphic* source);
  // Gives this picture to `target`; false when this class does not know the target's.
  virtual bool AssignTo(TGraphic& target) const;

  bool Transparent = false;
  bool Modified = false;
  // The colours the file states its pixels are in; null for sRGB or when it states none.
  TColorProfilePtr ColorProfile;
  std::function<void(TGraphic&)> OnChange;
  TProgressEvent OnProgress;

 protected:
  virtual void Changed();
  void Progress(TProgressStage stage, uint8_t percent, const TRect& rect,
                const std::string& message);
};
