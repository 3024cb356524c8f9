/* The library's version strings, shared by the Windows version resource and the
 * version section of the Linux library. Plain macros: the resource compiler
 * reads this file too. */
#ifndef MAVREL_VERSION_INFO_H
#define MAVREL_VERSION_INFO_H

#define MAVREL_VERSION_NUMBERS 1, 0, 0, 1
#define MAVREL_VERSION_TEXT "1, 0, 0, 1"
#define MAVREL_COMPANY_NAME ""
#define MAVREL_FILE_DESCRIPTION "MavrelWAVChorus DLL"
#define MAVREL_INTERNAL_NAME "MavrelWAVChorus"
#define MAVREL_LEGAL_TRADEMARKS ""
#define MAVREL_ORIGINAL_FILENAME "MavrelWAVChorus.DLL"
#define MAVREL_PRODUCT_NAME "MavrelWAVChorus Dynamic Link Library"

#endif /* MAVREL_VERSION_INFO_H */
