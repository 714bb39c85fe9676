#pragma once

#include <QIcon>

namespace quorvex {

// The application icon: a camera lens on a blue tile with discovery waves.
// Drawn, not loaded, so the window has it whatever files are installed.
QIcon AppIcon();

}  // namespace quorvex
