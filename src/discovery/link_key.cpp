#include "discovery/link_key.h"

bool IsCheckedVideoLink(std::string_view link) {
    constexpr std::string_view kEnd = "taskid=0";
    return link.size() >= kEnd.size() && link.substr(link.size() - kEnd.size()) == kEnd;
}

std::string LinkKey(std::string_view url) {
    std::string_view part = url;
    const std::size_t question = url.find('?');
    if (question != std::string_view::npos && question + 1 < url.size()) {
        part = url.substr(question + 1);
        part = part.substr(0, part.find('?'));
        part = part.substr(0, part.find('&'));
    }
    const std::size_t first = part.find('=');
    if (first == std::string_view::npos) return {};
    const std::string_view value = part.substr(first + 1);
    return std::string(value.substr(0, value.find('=')));
}

bool IsPlainFileName(std::string_view key) {
    return key.find_first_of("\\/:") == std::string_view::npos;
}
