#include "header/header_name.hpp"

#include "calibration/chart_name.hpp"

namespace hdrmill {

std::string form_header_name(const input_buffer& record, const header_naming& naming) {
    if (!naming.outfile.empty()) {
        return naming.outfile;
    }
    return base_name(record) + "." + (naming.extension.empty() ? std::string("hdr") : naming.extension);
}

}  // namespace hdrmill
