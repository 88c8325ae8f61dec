// A growable list of owned GBK texts, compared byte for byte. The lists of the
// scan cycle only grow; look-ups are hashed so that a long run stays fast.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TextList {
public:
    void Append(std::string text);
    // The number of elements equal to the text.
    std::size_t Count(std::string_view text) const;
    std::size_t Size() const { return items.size(); }
    const std::string& operator[](std::size_t index) const { return items[index]; }

private:
    std::vector<std::string> items;
    std::unordered_map<std::string, std::size_t> counts;
};
