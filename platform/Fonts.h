#pragma once

namespace platform {

// Makes the fonts the windows were designed with resolve to the closest
// faces installed here.
void InstallFontSubstitutes();

} // namespace platform
