#pragma once

// GDAL as the Linux decoder calls it: a table of the
// functions it needs, filled from the library loaded at run time.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>

#include <string>

namespace hdrmill {

// GDAL is loaded when the first scan is opened, not when the program starts: the
// conversion, the list and the check never read a scan, and should not pay for
// loading GDAL and the hundred libraries it needs (tens of milliseconds and of
// megabytes).
struct gdal_library {
    decltype(&::CPLPopErrorHandler) CPLPopErrorHandler;
    decltype(&::CPLPushErrorHandler) CPLPushErrorHandler;
    decltype(&::CPLQuietErrorHandler) CPLQuietErrorHandler;
    decltype(&::CPLSetConfigOption) CPLSetConfigOption;
    decltype(&::GDALClose) GDALClose;
    decltype(&::GDALDatasetRasterIOEx) GDALDatasetRasterIOEx;
    decltype(&::GDALGetBlockSize) GDALGetBlockSize;
    decltype(&::GDALGetColorEntry) GDALGetColorEntry;
    decltype(&::GDALGetColorEntryCount) GDALGetColorEntryCount;
    decltype(&::GDALGetDatasetDriver) GDALGetDatasetDriver;
    decltype(&::GDALGetDriverShortName) GDALGetDriverShortName;
    decltype(&::GDALGetMetadataItem) GDALGetMetadataItem;
    decltype(&::GDALGetPaletteInterpretation) GDALGetPaletteInterpretation;
    decltype(&::GDALGetRasterBand) GDALGetRasterBand;
    decltype(&::GDALGetRasterColorInterpretation) GDALGetRasterColorInterpretation;
    decltype(&::GDALGetRasterColorTable) GDALGetRasterColorTable;
    decltype(&::GDALGetRasterCount) GDALGetRasterCount;
    decltype(&::GDALGetRasterDataType) GDALGetRasterDataType;
    decltype(&::GDALGetRasterXSize) GDALGetRasterXSize;
    decltype(&::GDALGetRasterYSize) GDALGetRasterYSize;
    decltype(&::GDALOpenEx) GDALOpenEx;
    decltype(&::GDALRegister_BIGGIF) GDALRegister_BIGGIF;
    decltype(&::GDALRegister_BMP) GDALRegister_BMP;
    decltype(&::GDALRegister_GIF) GDALRegister_GIF;
    decltype(&::GDALRegister_GTiff) GDALRegister_GTiff;
    decltype(&::GDALRegister_JPEG) GDALRegister_JPEG;
    decltype(&::GDALRegister_PNG) GDALRegister_PNG;
    decltype(&::GDALSetCacheMax64) GDALSetCacheMax64;
};

/// The loaded library, or nothing when it cannot be loaded; then `error` holds the
/// loader's own words, and the same on every later call.
const gdal_library* load_gdal(std::string& error);

}  // namespace hdrmill
