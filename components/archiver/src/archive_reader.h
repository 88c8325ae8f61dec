// The 7z container reader: signature header, (encoded) header, streams info
// and files info. Pure code: the file is reached through a read callback.
#pragma once
#include "archive_model.h"

namespace archiver {

// Reads the whole structure of the archive; returns kOk or an ArchiveError.
int ReadArchive(const ReadAtFunction& readAt, uint64_t fileSize, Archive& archive);

}  // namespace archiver
