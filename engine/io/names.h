#pragma once
// Small helpers for file names and names in messages, shared by every layer. Names are compared
// ignoring the case of ASCII letters, as the tables' home platform does for file names, field
// names and index names.

#include <string>

namespace engine {

class FileSystem;

// `text` between German quotation marks („…“), for messages.
std::string Quoted(const std::string& text);

// The part of `path` after its last "/" (the whole path when it has none).
std::string FileNameOf(const std::string& path);
// `name` without its last extension ("KUNDEN.DB" gives "KUNDEN").
std::string BaseNameOf(const std::string& name);
// The extension of `name` after its last dot, empty when it has none.
std::string ExtensionOf(const std::string& name);
// `dir` ending in "/"; an empty directory (the working directory) stays empty.
std::string WithSlash(const std::string& dir);
// A directory as the file system takes it for listing and syncing: "." for the empty one.
std::string ListableDir(const std::string& dir);

// ASCII letters upper-cased; other bytes unchanged.
std::string UpperAscii(std::string text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// Name of the file in `dir` that equals `name` ignoring case, or `name` itself when none does
// (or the directory cannot be listed).
std::string FindFileIgnoringCase(FileSystem& fs, const std::string& dir, const std::string& name);

}  // namespace engine
