// Rules for entry names: which names are safe to write below the output
// folder, and which entries a file pattern selects. Pure text rules.
#pragma once
#include <string>
#include <vector>

namespace archiver {

// Splits an entry name into its pieces and refuses anything that could leave
// the output folder or name something other than a plain file: absolute
// paths, drive letters, "." and "..", device names (CON, NUL, COM1, ...),
// characters Windows does not allow, pieces ending in a dot or blank.
// Returns kOk or kErrorUnsafePath.
int SplitSafeEntryPath(const std::u16string& name, std::vector<std::u16string>& pieces);

// Wildcard match ('*' any run, '?' one character), ASCII case ignored.
bool WildcardMatch(const std::u16string& pattern, const std::u16string& text);

// A pattern with a separator matches the entry's whole path (or a folder
// above it); one without matches the name of the entry or of a folder above
// it, at any depth.
bool PatternSelects(const std::u16string& pattern, const std::vector<std::u16string>& pieces);

}  // namespace archiver
