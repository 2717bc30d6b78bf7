#pragma once
// A picture of a .klng wave as a self-contained SVG file: the whole wave with its loop marked,
// and a close view of the loop seam (the last samples of the loop followed by its first
// samples, as the target plays them when it jumps back), so that a click at the seam shows.

#include <cstdint>
#include <string>
#include <vector>

#include "src/klnginfo/klng_file.h"

namespace klng {

// The picture's fixed geometry, in SVG user units (pixels). The whole-wave plot maps sample
// index i to x = kPlotLeft + kPlotWidth * i / samples, so the loop's rectangle (id "loop")
// starts at the loop's first sample and ends at its end.
constexpr int kSvgWidth = 800;
constexpr int kSvgHeight = 520;
constexpr int kPlotLeft = 60;
constexpr int kPlotWidth = 720;
constexpr int kWaveTop = 60;
constexpr int kWaveHeight = 200;
constexpr int kSeamTop = 345;
constexpr int kSeamHeight = 130;
// Samples shown on each side of the seam (fewer when the loop is shorter).
constexpr std::uint64_t kSeamSamples = 32;

// Elements with an id: "plot" and "seam-plot" (the two plot areas), "wave" (the whole wave,
// at most two points per pixel column however long the wave), "loop" (the loop region, with
// data-start and data-end in samples), "seam" (the seam line) and "seam-wave".
std::string draw_svg(const std::string& name, const wave_info& w,
                     const std::vector<std::int16_t>& samples, double rate);

}  // namespace klng
