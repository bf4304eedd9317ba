#include "text/list_pick.hpp"

namespace hdrmill {

std::string pick_list_item(std::string_view list, std::uint32_t k) {
    if (list.empty()) {
        return {};
    }
    std::size_t position = 0;
    for (std::uint32_t skipped = 0; skipped < k; ++skipped) {
        const auto comma = list.find(',', position);
        if (comma == std::string_view::npos) {
            return {};
        }
        position = comma + 1;
    }
    const auto end = list.find(',', position);
    return std::string(list.substr(position, end == std::string_view::npos ? end : end - position));
}

}  // namespace hdrmill
