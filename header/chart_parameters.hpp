#pragma once

#include <cstdint>
#include <string>

#include "calibration/input_buffer.hpp"

namespace hdrmill {

/// The projection codes of PR that chart readers know; 0 (and anything else) is UNKNOWN.
inline constexpr std::int32_t mercator_projection = 1;
inline constexpr std::int32_t transverse_mercator_projection = 2;
inline constexpr std::int32_t lambert_projection = 3;

/// The values the BSB and KNP records print, worked out in two groups. Group A is
/// taken from the chart's own lines before the CR text is applied, so template lines
/// never change the scale, pixel sizes, resolution, projection or depth units; Group B
/// is taken after, so template lines can supply the texts a chart lacks.
struct chart_parameters {
    // Group A. Scale and pixel sizes keep the missing marker: the KNP record prints it.
    std::int32_t chart_scale = missing_integer;
    double pixel_size_x = missing_real;
    double pixel_size_y = missing_real;
    std::int32_t pixels_per_inch = 0;
    std::int32_t projection_code = 0;
    std::string projection_name;
    std::string depth_units_name;
    // Group B.
    std::string pp_text;
    std::string pi_text;
    std::string sp_text;
    std::string sk_text;
    std::string ta_text;
    std::string sd_text;
};

/// Scale, pixel sizes, resolution, projection and depth units from SC, DX, DY, PR, DU.
void work_out_group_a(const input_buffer& record, chart_parameters& parameters);

/// The texts of PP, PI, SP, SK, TA and SD, or their defaults.
void work_out_group_b(const input_buffer& record, chart_parameters& parameters);

/// Resolution in pixels per inch: scale x 2.54 / (mean pixel size in cm) + 0.5,
/// truncated toward zero, its low 32 bits taken. 0 when any input is 0 or the missing
/// marker, and when the value is not finite or lies beyond the 64-bit range (DX = -DY
/// divides by zero).
std::int32_t compute_pixels_per_inch(std::int32_t chart_scale, double pixel_size_x, double pixel_size_y);

}  // namespace hdrmill
