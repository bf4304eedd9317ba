#include "driver/check_step.hpp"

#include "check/check_chart.hpp"

namespace hdrmill {

checked_chart check_step(input_buffer& record, double tolerance, const std::optional<scan_size>& scan) {
    checked_chart checked{render_header(record, scan), {}};
    checked.result = check_chart(record, checked.header, tolerance);
    return checked;
}

}  // namespace hdrmill
