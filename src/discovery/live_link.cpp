#include "discovery/live_link.h"

std::string TextBetween(std::string_view text, std::string_view start, std::string_view end) {
    const std::size_t from = text.find(start);
    if (from == std::string_view::npos) return {};
    const std::size_t inner = from + start.size();
    const std::size_t to = text.find(end, inner);
    if (to == std::string_view::npos) return {};
    return std::string(text.substr(inner, to - inner));
}

std::string RebuiltLiveLink(std::string_view text) {
    return "https://" + TextBetween(text, "https://", "&combuf=");
}

std::string LiveStreamKey(std::string_view link) {
    return TextBetween(link, "/", ".flv?");
}
