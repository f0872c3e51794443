#include "win/gdi.h"

#include <stdexcept>
#include <string>

namespace quilbo {

void TFont::Create(const char* face, int height) {
  font_ = TGdiObject<HFONT>(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                        DEFAULT_PITCH | FF_DONTCARE, face));
  if (!font_.Get()) throw std::runtime_error(std::string("Cannot create the font ") + face);
}

}  // namespace quilbo
