#pragma once

#include <QIcon>

namespace rowsmith {

// The application icon (16 and 32 pixel images and a scalable one).
QIcon AppIcon();

}  // namespace rowsmith
