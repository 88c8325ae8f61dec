// File-system helpers for the archiver tests: fixture paths, fresh output
// folders, and a snapshot of a folder tree to compare extractions with.
#pragma once
#include <windows.h>

#include <map>
#include <string>

struct TreeItem {
  bool isFolder = false;
  std::string content;
  FILETIME modified{};
  DWORD attributes = 0;
};

// Relative path (backslashes) -> item, for everything below root.
using Tree = std::map<std::wstring, TreeItem>;

std::wstring FixturePath(const std::wstring& name);  // Z:\...\archiver-fixtures\name
std::wstring FreshFolder(const std::wstring& name);  // empty folder, ends in a backslash
Tree ReadTree(const std::wstring& root);
void RemoveTree(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& content);
std::string ToGbk(const std::wstring& text);
