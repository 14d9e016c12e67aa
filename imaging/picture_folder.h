#pragma once
// The pictures of a folder, for the savers that show one after another.

#include <string>
#include <vector>

// True when path names a folder (following links).
bool IsPictureFolder(const char* path);

// Every file under folder, in its subfolders too, that starts like a BMP, PNG
// or JPEG file, sorted by name; files that cannot be opened are left out.
std::vector<std::string> ListPictures(const std::string& folder);
