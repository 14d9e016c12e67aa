#include "imaging/picture_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "imaging/picture_decoder.h"

namespace fs = std::filesystem;

bool IsPictureFolder(const char* path)
{
    std::error_code e;
    return path != nullptr && fs::is_directory(path, e);
}

std::vector<std::string> ListPictures(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code e;
    // Folders that cannot be read are passed over, not a reason to stop.
    // Links to folders are not followed: a link to a parent would never end.
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder, options, e), end; !e && it != end; it.increment(e)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::FILE* file = std::fopen(it->path().c_str(), "rb");
        if (file == nullptr) continue;
        uint8_t head[8] = {};
        const size_t got = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
        if (PictureFormatOf(head, got) != PictureFormat::Unknown) found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}
