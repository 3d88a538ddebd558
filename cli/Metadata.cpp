// Metadata.cpp - copies the colour profile, EXIF, XMP and IPTC of an input into
// an output, through exiv2.
//
// The EXIF block of a TIFF input also holds the tags that lay out its own
// pixels (strip offsets, sample depth, compression); those describe the
// source, not the output, and stay behind, as does the embedded thumbnail,
// which would show the photo before the change.
#include "FileUtil.h"
#include "ImageFile.h"

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <set>

namespace gw::cli {

namespace {

bool IsSourceLayoutTag(const Exiv2::Exifdatum& datum)
{
    static const std::set<std::string> kLayout = {
        "NewSubfileType",
        "SubfileType",
        "ImageWidth",
        "ImageLength",
        "BitsPerSample",
        "Compression",
        "PhotometricInterpretation",
        "FillOrder",
        "StripOffsets",
        "SamplesPerPixel",
        "RowsPerStrip",
        "StripByteCounts",
        "PlanarConfiguration",
        "Predictor",
        "TileWidth",
        "TileLength",
        "TileOffsets",
        "TileByteCounts",
        "ExtraSamples",
        "SampleFormat",
        "SMinSampleValue",
        "SMaxSampleValue",
        "SubIFDs",
        "JPEGTables",
        "JPEGInterchangeFormat",
        "JPEGInterchangeFormatLength",
        "YCbCrCoefficients",
        "YCbCrSubSampling",
        "YCbCrPositioning",
        "InterColorProfile",
        "XMLPacket",
        "IPTCNAA",
        "ImageResources",
        "ColorMap",
        "TransferFunction",
        "MinSampleValue",
        "MaxSampleValue",
        "GrayResponseUnit",
        "GrayResponseCurve",
    };
    const std::string group = datum.groupName();
    if (group == "Image") {
        return kLayout.count(datum.tagName()) != 0;
    }
    // The first IFD's siblings: the thumbnail and sub-images.
    return group == "Thumbnail" || group.rfind("SubImage", 0) == 0 || group == "Image2"
        || group == "Image3";
}

void MuteExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

} // namespace



void CopyMetadata(const std::string& source, const std::string& target,
                  const std::string& displayName)
{
    MuteExiv2();
    Exiv2::Image::AutoPtr pSource;
    try {
        pSource = Exiv2::ImageFactory::open(source);
        pSource->readMetadata();
    } catch (const Exiv2::AnyError&) {
        return; // a format without metadata (PFM): nothing to copy
    }
    try {
        Exiv2::ExifData exif = pSource->exifData();
        for (auto it = exif.begin(); it != exif.end();) {
            it = IsSourceLayoutTag(*it) ? exif.erase(it) : std::next(it);
        }
        const bool bIcc = pSource->iccProfileDefined();
        if (exif.empty() && pSource->xmpData().empty() && pSource->iptcData().empty() && !bIcc) {
            return;
        }
        Exiv2::Image::AutoPtr pTarget = Exiv2::ImageFactory::open(target);
        pTarget->readMetadata();
        pTarget->setExifData(exif);
        pTarget->setXmpData(pSource->xmpData());
        pTarget->setIptcData(pSource->iptcData());
        if (bIcc) {
            Exiv2::DataBuf profile(pSource->iccProfile()->pData_, pSource->iccProfile()->size_);
            pTarget->setIccProfile(profile, false);
        }
        pTarget->writeMetadata();
    } catch (const Exiv2::AnyError& error) {
        throw CImageFileError(
            FileMessage(displayName, std::string("cannot write the metadata: ") + error.what()));
    }
}

} // namespace gw::cli
