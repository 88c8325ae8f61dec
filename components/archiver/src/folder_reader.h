// Decodes one folder of an archive as a stream: builds the coder graph from the
// folder's bind pairs and reads its packed streams through the read callback.
#pragma once
#include <string>

#include "archive_model.h"
#include "pull_stream.h"

namespace archiver {

class FolderReader {
 public:
  // Checks the folder's coders and builds the decoder chain; kOk or an error.
  int Open(const Archive& archive, size_t folderIndex, const ReadAtFunction& readAt);
  // Fills up to capacity bytes of the folder's output; got 0 at its end.
  int Read(uint8_t* buffer, size_t capacity, size_t& got);

 private:
  PullFunction output_;
};

// Cheap check, before anything is written, that every coder of the folder is
// one this reader decodes: kOk or kErrorUnsupported.
int CheckFolderSupported(const Folder& folder);

// The folder's coder chain as text, e.g. "BCJ LZMA2:24", for progress reports.
std::string DescribeMethods(const Folder& folder);

}  // namespace archiver
