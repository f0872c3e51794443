#pragma once
// GDI objects and menus owned for as long as an object lives, and TFont.
#include <windows.h>

#include <utility>

namespace quilbo {

// A GDI object (bitmap, font, brush), deleted when this goes.
template <class Handle>
class TGdiObject {
 public:
  TGdiObject() = default;
  explicit TGdiObject(Handle handle) : handle_(handle) {}
  TGdiObject(TGdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  TGdiObject& operator=(TGdiObject&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~TGdiObject() {
    if (handle_) DeleteObject(handle_);
  }
  Handle Get() const { return handle_; }

 private:
  Handle handle_ = nullptr;
};

// An icon loaded at one size, destroyed when this goes.
class TIcon {
 public:
  TIcon() = default;
  explicit TIcon(HICON icon) : icon_(icon) {}
  TIcon(TIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
  TIcon& operator=(TIcon&& other) noexcept {
    std::swap(icon_, other.icon_);
    return *this;
  }
  ~TIcon() {
    if (icon_) DestroyIcon(icon_);
  }
  HICON Get() const { return icon_; }

 private:
  HICON icon_ = nullptr;
};

// A menu of its own, destroyed when this goes unless a window has taken it
// over (Release), as a window destroys its menu itself.
class TMenu {
 public:
  explicit TMenu(HMENU menu) : menu_(menu) {}
  TMenu(const TMenu&) = delete;
  TMenu& operator=(const TMenu&) = delete;
  ~TMenu() {
    if (menu_) DestroyMenu(menu_);
  }
  HMENU Get() const { return menu_; }
  HMENU Release() { return std::exchange(menu_, nullptr); }

 private:
  HMENU menu_;
};

// A font the window owns for its whole life.
class TFont {
 public:
  // Throws when the font cannot be made.
  void Create(const char* face, int height);
  HFONT Handle() const { return font_.Get(); }
  // Trades fonts: a window made a font for a new DPI hands it to its controls
  // before the old one goes.
  void Swap(TFont& other) noexcept { std::swap(font_, other.font_); }

 private:
  TGdiObject<HFONT> font_;
};

}  // namespace quilbo
