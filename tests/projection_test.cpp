#include <gtest/gtest.h>

#include "check/projection.hpp"

namespace hdrmill {
namespace {

// Plane positions from PROJ (gdaltransform, +datum=WGS84 +k=1, no false origin).
TEST(Projection, AgreesWithProjWithinAMillimetre) {
    struct row {
        chart_projection projection;
        double latitude, longitude, e, n;
    };
    const chart_projection mercator{chart_projection::kind::mercator, 0.0};
    const auto tm = [](double meridian) { return chart_projection{chart_projection::kind::transverse_mercator, meridian}; };
    const row rows[] = {
        {mercator, 48.5, -4.5, -500937.708569731, 6158425.02466771},
        {mercator, -16.5, 179.5, 19981848.5973926, -1850569.89438718},
        {mercator, 60.0, 10.0, 1113194.90793274, 8362698.54850075},
        {mercator, -54.8, -70.25, -7820194.22822747, -7288204.23278433},
        {tm(-4.5), 48.3, -4.75, -18547.9112959368, 5351815.78031732},
        {tm(-4.5), 50.0, -1.5, 215070.264840763, 5545162.0834825},
        {tm(21.0), -33.9, 18.4, -240512.983532983, -3755614.20023933},
        {tm(27.0), 70.0, 25.0, -76361.2018911265, 7770233.26425553},
        {tm(-179.0), 10.0, 179.0, -219320.86718069, 1106519.7376007},   // across the 180th meridian
    };
    for (const auto& r : rows) {
        const auto plane = r.projection.project(r.latitude, r.longitude);
        ASSERT_TRUE(plane) << r.latitude << "," << r.longitude;
        EXPECT_NEAR(plane->e, r.e, 1e-3) << r.latitude << "," << r.longitude;
        EXPECT_NEAR(plane->n, r.n, 1e-3) << r.latitude << "," << r.longitude;
    }
}

TEST(Projection, NothingOutsideItsDomain) {
    const chart_projection mercator{chart_projection::kind::mercator, 0.0};
    const chart_projection tm{chart_projection::kind::transverse_mercator, 0.0};
    EXPECT_FALSE(mercator.project(90.0, 0.0));
    EXPECT_FALSE(mercator.project(1e308, 0.0));
    EXPECT_FALSE(tm.project(10.0, 90.0));
    EXPECT_FALSE(tm.project(10.0, -135.0));
    EXPECT_TRUE(tm.project(10.0, 89.0));
}

}  // namespace
}  // namespace hdrmill
