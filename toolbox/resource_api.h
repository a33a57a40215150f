/* File access by folder and name, and tables in little-endian resource files.
 *
 * The host names a file by a folder and a name in a LibraryFile record and
 * keeps the open stream there. Every failure is reported as -138.
 *
 * A resource file holds tables found by a 32-bit type key and a 16-bit
 * identifier. All numbers in the file are little-endian:
 *   at offset `type key`: the position of the index for that type (4 bytes);
 *   the index: an entry count (4 bytes), then 12-byte entries of type key (4),
 *   identifier (2), two unused bytes and the position of the data block (4);
 *   a data block: its length (4 bytes), then that many data bytes.
 * Several type keys may lead to one shared index: every entry carries its own
 * type key. */
#ifndef VEXAO_TOOLBOX_RESOURCE_API_H
#define VEXAO_TOOLBOX_RESOURCE_API_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "toolbox/export.h"
#include "toolbox/toolbox_api.h"

#define VEXAO_FILE_ERROR (-138)
#define VEXAO_OUT_OF_MEMORY (-108)
/* The longest path that folder, separator and name may make together. */
#define VEXAO_MAX_PATH 287

typedef struct LibraryFile {
    char name[32];         /* the file name, NUL-terminated within its 32 bytes */
    FILE* stream;          /* the open stream, or null while the record is closed */
    uint8_t hostBytes[12]; /* the host's own; never touched */
    const char* folder;    /* the folder path; "" means the name is used alone */
} LibraryFile;

VEXAO_LAYOUT_CHECK(sizeof(LibraryFile) == 52, "LibraryFile is 52 bytes");
VEXAO_LAYOUT_CHECK(offsetof(LibraryFile, name) == 0, "LibraryFile.name at 0");
VEXAO_LAYOUT_CHECK(offsetof(LibraryFile, stream) == 32, "LibraryFile.stream at 32");
VEXAO_LAYOUT_CHECK(offsetof(LibraryFile, hostBytes) == 36, "LibraryFile.hostBytes at 36");
VEXAO_LAYOUT_CHECK(offsetof(LibraryFile, folder) == 48, "LibraryFile.folder at 48");

typedef struct ResourceRec {
    uint8_t hostBytes[32];  /* the host's own; never touched */
    int16_t resId;          /* identifier of the wanted table */
    uint8_t hostBytes34[2];
    int32_t resType;        /* type key, and the file position of its index position */
    uint8_t hostBytes40[8];
    int16_t elemSize;       /* 2 or 4: element size for byte-order conversion; else none */
    uint8_t hostBytes50[2];
    int32_t dataLen;        /* length of the loaded table */
    void* dataPtr;          /* the loaded table, or null */
    PtrHandle dataHandle;   /* owns the loaded table */
} ResourceRec;

VEXAO_LAYOUT_CHECK(sizeof(ResourceRec) == 72, "ResourceRec is 72 bytes");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, hostBytes) == 0, "ResourceRec.hostBytes at 0");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, resId) == 32, "ResourceRec.resId at 32");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, hostBytes34) == 34, "ResourceRec.hostBytes34 at 34");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, resType) == 36, "ResourceRec.resType at 36");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, hostBytes40) == 40, "ResourceRec.hostBytes40 at 40");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, elemSize) == 48, "ResourceRec.elemSize at 48");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, hostBytes50) == 50, "ResourceRec.hostBytes50 at 50");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, dataLen) == 52, "ResourceRec.dataLen at 52");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, dataPtr) == 56, "ResourceRec.dataPtr at 56");
VEXAO_LAYOUT_CHECK(offsetof(ResourceRec, dataHandle) == 60, "ResourceRec.dataHandle at 60");

/* Opens folder/name (the name alone for an empty folder): mode 0 for reading,
 * 1 for reading and writing an existing file. The stream, or null, goes to
 * `stream`. Returns 0 or -138; another mode gives -138 and leaves `stream` as
 * it was. A path the record cannot describe (a name with no NUL in its 32
 * bytes, a null folder, or a path longer than 287 characters) is refused with
 * -138 like a missing file, never overflowed. A stream already open is not
 * closed first: close the record before opening again. */
VEXAO_API int16_t MyLoadLibrary2(LibraryFile* file, int16_t mode) VEXAO_NOEXCEPT;

/* Closes the stream and leaves the record closed; a closed record is left
 * alone. */
VEXAO_API void MyFreeLibrary2(LibraryFile* file) VEXAO_NOEXCEPT;

/* Creates folder/name, or empties an existing file, and leaves the record
 * closed. Returns 0 or -138. */
VEXAO_API int16_t MyCreateFile(LibraryFile* file) VEXAO_NOEXCEPT;

/* The size in bytes of folder/name, or -138 when it cannot be found. The file
 * need not be open. */
VEXAO_API int32_t MySizeofFile(LibraryFile* file) VEXAO_NOEXCEPT;

/* Reads, writes or positions the open stream. Reads and writes return 0 only
 * when all `length` bytes moved; a negative length moves nothing and fails.
 * Positions are absolute; positioning past the end is no error, but a later
 * read there fails. A closed record gives -138. */
VEXAO_API int16_t MyFileRead(LibraryFile* file, void* buffer, int32_t length) VEXAO_NOEXCEPT;
VEXAO_API int16_t MyFileWrite(LibraryFile* file, const void* data, int32_t length) VEXAO_NOEXCEPT;
VEXAO_API int16_t MyFileSeek(LibraryFile* file, int32_t offset) VEXAO_NOEXCEPT;

/* String copy (terminator included) and append. */
VEXAO_API void MyMemCopy2(char* destination, const char* source) VEXAO_NOEXCEPT;
VEXAO_API void MyStrCat(char* destination, const char* source) VEXAO_NOEXCEPT;

/* Finds the table of the record's resType and resId in the open file and loads
 * it into a new block owned by dataHandle (dataPtr points at it, dataLen is
 * its length). The record must hold no table. Returns 0; -138 for a file error
 * or a table that is not there; -108 when memory ran out. A file whose numbers
 * cannot be true (a negative count or position, an index or a table longer
 * than the file) is a file error, found before anything is allocated. When the
 * data itself cannot be read, the block stays attached for
 * MyUnlockFreeResource2. */
VEXAO_API int16_t MyLoadLockResource2(LibraryFile* file, ResourceRec* resource) VEXAO_NOEXCEPT;

/* Releases the loaded table; dataLen keeps its value. */
VEXAO_API void MyUnlockFreeResource2(ResourceRec* resource) VEXAO_NOEXCEPT;

/* Writes `length` bytes from dataPtr over the table's data in the file (open
 * with mode 1). The table keeps its place and length: a length that differs
 * from the stored one writes nothing. Returns 0 or -138 (every failure,
 * exhausted memory included). On a big-endian host the block is converted to
 * file order in place and stays so. */
VEXAO_API int16_t MyWriteTable(LibraryFile* file, ResourceRec* resource, int32_t length) VEXAO_NOEXCEPT;

/* 1 on a big-endian host, 0 on a little-endian one. */
VEXAO_API int32_t SwapBinaryDataCheck(void) VEXAO_NOEXCEPT;

/* Reverses the bytes of each whole 2-byte (unit 2) or 4-byte (unit 4) unit of
 * `length` bytes; any other unit, or a negative length, changes nothing. */
VEXAO_API void SwapBinaryData(void* data, int32_t length, int16_t unit) VEXAO_NOEXCEPT;

#endif
