// Linux: the version strings in a section of their own, readable with
// `readelf -p .mavrel_version` and `strings`.
#include "VersionInfo.h"

namespace mavrel {
namespace {

[[gnu::used, gnu::section(".mavrel_version")]] const char kVersionStrings[] =
    "CompanyName=" MAVREL_COMPANY_NAME "\0"
    "FileDescription=" MAVREL_FILE_DESCRIPTION "\0"
    "FileVersion=" MAVREL_VERSION_TEXT "\0"
    "InternalName=" MAVREL_INTERNAL_NAME "\0"
    "LegalTrademarks=" MAVREL_LEGAL_TRADEMARKS "\0"
    "OriginalFilename=" MAVREL_ORIGINAL_FILENAME "\0"
    "ProductName=" MAVREL_PRODUCT_NAME "\0"
    "ProductVersion=" MAVREL_VERSION_TEXT;

} // namespace
} // namespace mavrel
