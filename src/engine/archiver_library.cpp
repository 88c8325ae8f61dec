#include "engine/archiver_library.h"

#include <cstring>

#include "engine/library_binding.h"

const ArchiverFunctions& ArchiverLibrary() {
    static const ArchiverFunctions functions = {
        BindLibraryFunctionAs<SevenZipFunction>(L"7-zip32.dll", "SevenZip"),
        BindLibraryFunctionAs<SevenZipSetOwnerWindowExFunction>(L"7-zip32.dll", "SevenZipSetOwnerWindowEx")};
    return functions;
}

ArchiverProgress ReadArchiverProgress(const void* info) {
    ArchiverProgress progress;
    if (!info) return progress;
    const auto* record = static_cast<const SevenZipExtractingInfo*>(info);
    progress.fileSize = record->fileSize;
    progress.written = record->writeSize;
    // The field is NUL-terminated by contract; never read past it anyway.
    progress.fileName.assign(record->destFileName, strnlen(record->destFileName, SEVENZIP_NAME_FIELD_SIZE));
    return progress;
}
