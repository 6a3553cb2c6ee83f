#pragma once

namespace delvora {

// The window's figures are in twips; 15 twips make one pixel at 96 dpi (Qt
// scales pixels for high-dpi screens). Rounded, so that a figure such as
// 3250 twips lands on the nearer pixel.
constexpr int TwipsToPixels(int twips) { return (twips + 7) / 15; }

}  // namespace delvora
