#include "palette/cie_lab.hpp"

#include <algorithm>
#include <array>
#include <bit>

namespace hdrmill {
namespace {

// The sRGB transfer curve, 65536 for full scale, written out rather than computed with
// pow() so that no libm can change a value. None lies within 0.001 of a rounding step.
constexpr std::array<std::uint32_t, 256> linear_of_level = {
    0,     20,    40,    60,    80,    99,    119,   139,   159,   179,   199,   219,   241,   264,   288,   313,
    340,   367,   396,   427,   458,   491,   526,   562,   599,   637,   677,   718,   761,   805,   851,   898,
    947,   997,   1048,  1101,  1156,  1212,  1270,  1330,  1391,  1453,  1517,  1583,  1651,  1720,  1791,  1863,
    1937,  2013,  2090,  2170,  2250,  2333,  2418,  2504,  2592,  2681,  2773,  2866,  2961,  3058,  3157,  3258,
    3360,  3464,  3570,  3678,  3788,  3900,  4014,  4129,  4247,  4366,  4488,  4611,  4736,  4864,  4993,  5124,
    5257,  5392,  5530,  5669,  5810,  5953,  6099,  6246,  6395,  6547,  6701,  6856,  7014,  7174,  7336,  7500,
    7666,  7834,  8004,  8177,  8352,  8529,  8708,  8889,  9072,  9258,  9446,  9636,  9828,  10022, 10219, 10418,
    10619, 10822, 11028, 11236, 11446, 11658, 11873, 12090, 12309, 12531, 12754, 12981, 13209, 13440, 13673, 13909,
    14147, 14387, 14629, 14874, 15122, 15372, 15624, 15878, 16135, 16394, 16656, 16920, 17187, 17456, 17727, 18001,
    18278, 18556, 18838, 19121, 19408, 19696, 19988, 20281, 20578, 20876, 21178, 21481, 21788, 22096, 22408, 22722,
    23038, 23357, 23679, 24003, 24329, 24659, 24991, 25325, 25662, 26002, 26344, 26689, 27036, 27387, 27739, 28095,
    28453, 28813, 29177, 29543, 29911, 30283, 30657, 31033, 31413, 31795, 32180, 32567, 32957, 33350, 33746, 34144,
    34545, 34949, 35355, 35765, 36177, 36591, 37009, 37429, 37852, 38278, 38707, 39138, 39572, 40009, 40449, 40892,
    41337, 41786, 42237, 42691, 43147, 43607, 44069, 44534, 45003, 45474, 45947, 46424, 46904, 47386, 47871, 48360,
    48851, 49345, 49842, 50342, 50844, 51350, 51859, 52370, 52884, 53402, 53922, 54445, 54972, 55501, 56033, 56568,
    57106, 57647, 58191, 58738, 59288, 59841, 60397, 60956, 61518, 62083, 62651, 63222, 63796, 64373, 64953, 65536,
};

// Linear sRGB to X/Xn, Y/Yn, Z/Zn (D65), 16384 for 1. Each row sums to exactly 16384 so
// that every grey has X/Xn = Y/Yn = Z/Zn, hence a* = b* = 0 with no rounding residue.
constexpr std::int64_t to_xyz[3][3] = {
    {7110, 6164, 3110},
    {3484, 11717, 1183},
    {291, 1793, 14300},
};

constexpr std::uint64_t one = 1U << 20;  // 1.0 in the scale of f(t)

// The cube root is the costly step of to_lab, which runs for every colour of a scan: it
// is read off a table of cbrt(s * 2^30) for s at 256 points an octave (t from 2^23 to
// 2^30) and interpolated, which leaves it at most 0.36 below the root and never 1e-9
// above. Half a unit more puts the guess 0.14 to 0.5 above the root, so that its whole
// part is the root's or one more, and one step down makes it exact. The steps after
// the guess test it in integers and keep it exact however the doubles are rounded (a
// fused multiply-add, say): the table's doubles are only guesses, and no compiler can
// change a result.
struct cube_roots {
    static constexpr int first_octave = 23;
    static constexpr int steps = 256;  // an octave
    std::array<double, (30 - first_octave) * steps + 2> at{};  // up to t = 2^30 and one step past

    static constexpr std::uint64_t point(std::size_t i) {
        const int octave = first_octave + static_cast<int>(i / steps);
        return (steps + i % steps) << (octave - 8);
    }

    constexpr cube_roots() {
        double y = 4194304.0;  // 2^22, above every root: Newton's steps then come down to it
        for (std::size_t i = 0; i < at.size(); ++i) {
            const double x = static_cast<double>(point(i)) * 1073741824.0;
            y *= 1.01;  // above this root too: the points are less than 1% apart
            for (;;) {
                const double next = (2 * y + x / (y * y)) / 3;
                if (!(next < y)) break;
                y = next;
            }
            at[i] = y;
        }
    }
};
constexpr cube_roots cube_root_table;

// floor(cbrt(t * 2^30)) for 2^23 <= t <= 2^30.
std::uint64_t cube_root_floor(std::uint64_t t) {
    const int octave = static_cast<int>(std::bit_width(t)) - 1;
    const int shift = octave - 8;
    const std::uint64_t j = (t >> shift) - cube_roots::steps;
    const auto i = static_cast<std::size_t>(octave - cube_roots::first_octave) * cube_roots::steps + j;
    const double y0 = cube_root_table.at[i], y1 = cube_root_table.at[i + 1];
    const auto within = static_cast<double>(static_cast<std::int64_t>(t - cube_roots::point(i)));
    const double per_step = std::bit_cast<double>(static_cast<std::uint64_t>(1023 - shift) << 52);  // 2^-shift
    const std::uint64_t x = t << 30;
    auto y = static_cast<std::uint64_t>(static_cast<std::int64_t>(y0 + (y1 - y0) * (within * per_step) + 0.5));
    while (y * y * y > x) --y;
    while ((y + 1) * (y + 1) * (y + 1) <= x) ++y;
    return y;
}

// CIE f(t) for t in units of 2^-30, result in units of 2^-20.
std::int64_t cie_f(std::uint64_t t) {
    // t > (6/29)^3, i.e. t / 2^30 > 216 / 24389.
    if (t * 24389U > (std::uint64_t{216} << 30)) return static_cast<std::int64_t>(cube_root_floor(t));
    // t / (3 (6/29)^2) + 4/29 = t * 841 / 108 + 4/29.
    const std::uint64_t scale = 108U << 10;
    return static_cast<std::int64_t>((t * 841U + scale / 2) / scale + (4 * one + 14) / 29);
}

std::int32_t divide_rounded(std::int64_t n, std::int64_t d) {  // d > 0, halves away from zero
    return static_cast<std::int32_t>(n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d));
}

}  // namespace

linear_colour to_linear(colour c) {
    return {linear_of_level[c.r], linear_of_level[c.g], linear_of_level[c.b]};
}

lab_colour to_lab(linear_colour c) {
    const std::int64_t rgb[3] = {std::min<std::int64_t>(c.r, 65536), std::min<std::int64_t>(c.g, 65536),
                                 std::min<std::int64_t>(c.b, 65536)};
    // Written out, channel by channel: the three roots then overlap.
    const auto f_of = [&](const std::int64_t (&row)[3]) {
        return cie_f(static_cast<std::uint64_t>(row[0] * rgb[0] + row[1] * rgb[1] + row[2] * rgb[2]));
    };
    const std::int64_t f[3] = {f_of(to_xyz[0]), f_of(to_xyz[1]), f_of(to_xyz[2])};
    const auto scale = static_cast<std::int64_t>(one);
    return {divide_rounded(11600 * f[1], scale) - 1600, divide_rounded(50000 * (f[0] - f[1]), scale),
            divide_rounded(20000 * (f[1] - f[2]), scale)};
}

lab_colour to_lab(colour c) { return to_lab(to_linear(c)); }

std::int32_t distance(const lab_colour& x, const lab_colour& y) { return square_root_floor(distance_squared(x, y)); }

}  // namespace hdrmill
