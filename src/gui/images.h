// The small images of the lists, drawn in code so they scale with the DPI: imgObjectImages
// ("file", "folder", "program", "regkey", "regval", "cookie", in that order, indexes 1 to 6)
// and imgQuarantine (one package box).
#pragma once

#include "gui/win.h"

namespace pellora::gui {

HIMAGELIST CreateObjectImages(int dpi);
HIMAGELIST CreateQuarantineImages(int dpi);

}  // namespace pellora::gui
