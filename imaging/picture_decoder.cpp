// The native loaders' choice of decoder, by the file's first bytes.

#include "imaging/picture_decoder.h"

#include <cerrno>
#include <cstring>
#include <type_traits>

namespace {

bool Fail(std::string& error, const char* reason)
{
    error = reason;
    return false;
}

template <typename Bitmap>
bool LoadPictureFile(const char* path, Bitmap& out, std::string& error)
{
    if (path == nullptr || path[0] == '\0') return Fail(error, "no file name");
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        error = std::string("cannot open file: ") + std::strerror(errno);
        return false;
    }
    uint8_t head[8] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    const bool rewound = std::fseek(file, 0, SEEK_SET) == 0;
    const PictureFormat format = PictureFormatOf(head, got);
    PictureSource source;
    source.file = file;
    source.size = size > 0 ? static_cast<size_t>(size) : 0;
    bool ok = false;
    if (got == 0 || size == 0) {
        ok = Fail(error, "empty file");
    } else if (size < 0 || !rewound) {
        ok = Fail(error, "read error");
    } else if (format == PictureFormat::Png || format == PictureFormat::Jpeg) {
#ifdef GYROFOLD_PNG_JPEG
        const bool png = format == PictureFormat::Png;
        if constexpr (std::is_same_v<Bitmap, Bitmap8>)
            ok = png ? DecodePng8(source, out, error) : DecodeJpeg8(source, out, error);
        else
            ok = png ? DecodePng16(source, out, error) : DecodeJpeg16(source, out, error);
#else
        // A build without libpng and libjpeg-turbo (the Windows tests'
        // reference frames) reads BMP files only.
        ok = Fail(error, "PNG and JPEG are not read by this build");
#endif
    }
    std::fclose(file);
    if (format == PictureFormat::Unknown && got > 0) return Fail(error, "not a BMP, PNG or JPEG file");
    if (format != PictureFormat::Bmp) return ok;
    // BMP files take the BMP decoder's own way, unchanged.
    if constexpr (std::is_same_v<Bitmap, Bitmap8>) return LoadBmpFile8(path, out, error);
    else return LoadBmpFile16(path, out, error);
}

}  // namespace

PictureFormat PictureFormatOf(const uint8_t* head, size_t size)
{
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 2 && head[0] == 'B' && head[1] == 'M') return PictureFormat::Bmp;
    if (size >= 8 && std::memcmp(head, png, 8) == 0) return PictureFormat::Png;
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return PictureFormat::Jpeg;
    return PictureFormat::Unknown;
}

bool LoadPictureFile8(const char* path, Bitmap8& out, std::string& error)
{
    return LoadPictureFile(path, out, error);
}

bool LoadPictureFile16(const char* path, Bitmap16& out, std::string& error)
{
    return LoadPictureFile(path, out, error);
}
