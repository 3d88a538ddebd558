// TestImage.h - helpers shared by the engine tests: a small real photograph
// and a checksum of float bits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testimage {

struct Image
{
    int nRows = 0;
    int nCols = 0;
    std::vector<float> rgb; // interleaved R, G, B in [0, 1]
};

/// Reads a binary 8-bit PPM (P6, maxval 255); rows from the top. Empty on failure.
inline Image ReadPpm(const std::string& path)
{
    Image image;
    std::FILE* pFile = std::fopen(path.c_str(), "rb");
    if (pFile == nullptr)
        return image;
    int nCols = 0, nRows = 0, nMax = 0;
    if (std::fscanf(pFile, "P6 %d %d %d", &nCols, &nRows, &nMax) == 3 && nMax == 255 && nCols > 0
        && nRows > 0 && std::fgetc(pFile) != EOF)
    {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(nRows) * nCols * 3);
        if (std::fread(bytes.data(), 1, bytes.size(), pFile) == bytes.size()) {
            image.nRows = nRows;
            image.nCols = nCols;
            for (unsigned char b : bytes)
                image.rgb.push_back(static_cast<float>(b) / 255.0f);
        }
    }
    std::fclose(pFile);
    return image;
}

/// The photograph used by the end-to-end tests (a downscaled public-domain
/// photo of a coffee cup, with deep shadows).
inline Image Coffee()
{
    return ReadPpm(std::string(GW_ENGINE_TEST_DATA) + "/coffee_90x60.ppm");
}

/// An nRows x nCols image cut from the photo, mirrored where it runs past the edge, so every
/// size shows real edges and shadows.
inline Image Tiled(const Image& photo, int nRows, int nCols)
{
    auto mirror = [](int i, int n) {
        const int nPeriod = 2 * n;
        i %= nPeriod;
        return i < n ? i : nPeriod - 1 - i;
    };
    Image image;
    image.nRows = nRows;
    image.nCols = nCols;
    image.rgb.reserve(static_cast<std::size_t>(nRows) * nCols * 3);
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            const std::size_t i = (static_cast<std::size_t>(mirror(r, photo.nRows)) * photo.nCols
                                   + mirror(c, photo.nCols))
                                * 3;
            image.rgb.insert(image.rgb.end(), photo.rgb.begin() + static_cast<std::ptrdiff_t>(i),
                             photo.rgb.begin() + static_cast<std::ptrdiff_t>(i) + 3);
        }
    }
    return image;
}

/// The green channel of an RGB image, as a grey image.
inline std::vector<float> GreenOf(const Image& image)
{
    std::vector<float> grey;
    for (std::size_t i = 1; i < image.rgb.size(); i += 3)
        grey.push_back(image.rgb[i]);
    return grey;
}

/// FNV-1a over the bit patterns of the floats.
inline std::uint64_t Checksum(const std::vector<float>& values)
{
    std::uint64_t nHash = 14695981039346656037ull;
    for (float v : values) {
        std::uint32_t nBits;
        std::memcpy(&nBits, &v, sizeof nBits);
        for (int i = 0; i < 4; ++i) {
            nHash ^= (nBits >> (8 * i)) & 0xFFu;
            nHash *= 1099511628211ull;
        }
    }
    return nHash;
}

} // namespace testimage
