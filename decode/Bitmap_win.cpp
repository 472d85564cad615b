// Drawing a device bitmap with GDI: its DIB section stretched into the rectangle.
#include <windows.h>

#include "decode/Bitmap.h"

void TBitmap::Draw(TCanvasHandle canvas, const TRect& rect) const {
  if (Empty()) return;
  HDC dc = static_cast<HDC>(canvas);
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, static_cast<HBITMAP>(Handle()));
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, source, 0, 0,
             Width(), Height(), SRCCOPY);
  SetStretchBltMode(dc, oldMode);
  SelectObject(source, old);
  DeleteDC(source);
}
