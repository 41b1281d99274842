#pragma once
// The flash tools' fixed files under /tmp. /tmp is shared by every user, so a name
// there may already be a symbolic link or another user's file: these openers never
// follow a link, create files readable by the owner only, and refuse to write into a
// file that is not the caller's own plain file.
#include <cstdio>
#include <memory>
#include <string>

namespace berth {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Creates path, or empties the caller's own existing file, for writing with mode 0600.
// On refusal or failure prints why on standard error and returns null.
FilePtr create_private_file(const char* path);
// Creates a new file, mode 0600, named `path_template` with its last six characters
// ("XXXXXX") made unique; the name chosen is written back into it. Null on failure.
FilePtr create_unique_private_file(std::string& path_template);
// Opens a plain file for reading without following a symbolic link. A missing file
// returns null quietly; any other failure is explained on standard error.
FilePtr open_file_nofollow(const char* path);

}  // namespace berth
