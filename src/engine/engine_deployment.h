// Deploying the download engine from the archive the program carries, and the
// small extraction module around the archiver library.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Receives a file name and a percentage while an archive is extracted.
using ExtractProgressHandler = void (*)(const std::string& fileName, int percent);

// The extraction module's process-wide state: created at start-up, freed last at exit.
void CreateExtractionState();
void FreeExtractionState();

bool ExtractArchive(const std::string& archivePath, const std::string& outputFolder,
                    std::optional<bool> withoutPaths = std::nullopt, std::optional<std::string> password = std::nullopt,
                    std::optional<ExtractProgressHandler> progressHandler = std::nullopt,
                    std::optional<std::string> fileList = std::nullopt);
// The command text ExtractArchive hands to the archiver (the output folder with
// exactly one trailing backslash).
std::string ExtractCommand(const std::string& archivePath, const std::string& outputFolder, bool withoutPaths,
                           const std::string& password, const std::string& fileList);
bool MakeFolderChain(const std::string& path);
BOOL WINAPI ArchiverProgressHook(HWND window, UINT message, UINT state, LPVOID info);
void WaitWithMessages(DWORD milliseconds);
