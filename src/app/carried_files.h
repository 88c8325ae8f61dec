// The two files the program carries as resources: the archiver library and the
// 7z archive of the engine folder.
#pragma once

#include <cstddef>

constexpr int kArchiverResource = 101;
constexpr int kEngineArchiveResource = 102;

struct CarriedFile {
    const void* data = nullptr;
    std::size_t size = 0;
};
// The bytes of a carried file; empty when the program does not carry it.
CarriedFile LoadCarriedFile(int resource);
// Writes the whole carried file in one piece (created or truncated, no sharing).
bool WriteCarriedFile(int resource, const wchar_t* path);
