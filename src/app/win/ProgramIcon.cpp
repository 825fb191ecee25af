#include "app/win/ProgramIcon.h"

#include <cmath>
#include <cstdint>

namespace fernpad::app {

HICON MakeProgramIcon() {
  constexpr int size = 32;
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof(header);
  header.bV5Width = size;
  header.bV5Height = -size;  // top-down
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  const HDC screen = ::GetDC(nullptr);
  const HBITMAP colour =
      ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (colour == nullptr) return ::LoadIconA(nullptr, IDI_APPLICATION);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  const double centre = (size - 1) / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      std::uint32_t argb = 0;
      if (std::hypot(x - centre, y - centre) <= size / 2.0 - 0.5) argb = 0xFF3C8C5A;
      if (x >= size * 0.33 && x < size * 0.67 && y >= size * 0.2 && y < size * 0.8) argb = 0xFFFFFFFF;
      pixels[y * size + x] = argb;
    }
  const HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(colour);
  ::DeleteObject(mask);
  return icon != nullptr ? icon : ::LoadIconA(nullptr, IDI_APPLICATION);
}

}  // namespace fernpad::app
