#include "discovery/process_name.h"

namespace {

bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

}  // namespace

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(folded[i]);
        if (IsGbkLeadByte(byte)) {
            ++i;  // skip the trail byte
        } else if (byte >= 'A' && byte <= 'Z') {
            folded[i] = static_cast<char>(byte - 'A' + 'a');
        }
    }
    return folded;
}

bool NamesEqual(std::string_view a, std::string_view b, bool caseSensitive) {
    if (caseSensitive) return a == b;
    return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}
