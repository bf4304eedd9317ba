#include "scan/gdal_library.hpp"

#include <dlfcn.h>

#include <optional>
#include <type_traits>

namespace hdrmill {

namespace {

struct loaded_library {
    std::optional<gdal_library> library;
    std::string error;
};

loaded_library load() {
    void* handle = dlopen(HDRMILL_GDAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        return {std::nullopt, error != nullptr ? error : HDRMILL_GDAL_LIBRARY};
    }
    gdal_library library{};
    std::string missing;
    const auto load = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        if (function == nullptr && missing.empty()) {
            missing = std::string(HDRMILL_GDAL_LIBRARY) + " lacks " + name;
        }
    };
    load(library.CPLPopErrorHandler, "CPLPopErrorHandler");
    load(library.CPLPushErrorHandler, "CPLPushErrorHandler");
    load(library.CPLQuietErrorHandler, "CPLQuietErrorHandler");
    load(library.CPLSetConfigOption, "CPLSetConfigOption");
    load(library.GDALClose, "GDALClose");
    load(library.GDALDatasetRasterIOEx, "GDALDatasetRasterIOEx");
    load(library.GDALGetBlockSize, "GDALGetBlockSize");
    load(library.GDALGetColorEntry, "GDALGetColorEntry");
    load(library.GDALGetColorEntryCount, "GDALGetColorEntryCount");
    load(library.GDALGetDatasetDriver, "GDALGetDatasetDriver");
    load(library.GDALGetDriverShortName, "GDALGetDriverShortName");
    load(library.GDALGetMetadataItem, "GDALGetMetadataItem");
    load(library.GDALGetPaletteInterpretation, "GDALGetPaletteInterpretation");
    load(library.GDALGetRasterBand, "GDALGetRasterBand");
    load(library.GDALGetRasterColorInterpretation, "GDALGetRasterColorInterpretation");
    load(library.GDALGetRasterColorTable, "GDALGetRasterColorTable");
    load(library.GDALGetRasterCount, "GDALGetRasterCount");
    load(library.GDALGetRasterDataType, "GDALGetRasterDataType");
    load(library.GDALGetRasterXSize, "GDALGetRasterXSize");
    load(library.GDALGetRasterYSize, "GDALGetRasterYSize");
    load(library.GDALOpenEx, "GDALOpenEx");
    load(library.GDALRegister_BIGGIF, "GDALRegister_BIGGIF");
    load(library.GDALRegister_BMP, "GDALRegister_BMP");
    load(library.GDALRegister_GIF, "GDALRegister_GIF");
    load(library.GDALRegister_GTiff, "GDALRegister_GTiff");
    load(library.GDALRegister_JPEG, "GDALRegister_JPEG");
    load(library.GDALRegister_PNG, "GDALRegister_PNG");
    load(library.GDALSetCacheMax64, "GDALSetCacheMax64");
    if (!missing.empty()) {
        dlclose(handle);
        return {std::nullopt, missing};
    }
    return {library, {}};
}

}  // namespace

const gdal_library* load_gdal(std::string& error) {
    static const loaded_library loaded = load();
    error = loaded.error;
    return loaded.library ? &*loaded.library : nullptr;
}

}  // namespace hdrmill
