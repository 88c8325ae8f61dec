#pragma once

#include <cstddef>
#include <unordered_set>
#include <vector>

// Keeps the first occurrence of every element, in the order of the first
// occurrences, and returns the new number of elements. Texts compare byte for byte.
template <typename T>
std::size_t RemoveDuplicates(std::vector<T>& list) {
    std::unordered_set<T> seen;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (seen.insert(list[i]).second) {
            if (kept != i) list[kept] = std::move(list[i]);
            ++kept;
        }
    }
    list.resize(kept);
    return kept;
}
