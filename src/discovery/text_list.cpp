#include "discovery/text_list.h"

void TextList::Append(std::string text) {
    ++counts[text];
    items.push_back(std::move(text));
}

std::size_t TextList::Count(std::string_view text) const {
    const auto found = counts.find(std::string(text));
    return found == counts.end() ? 0 : found->second;
}
