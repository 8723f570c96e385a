// Helpers shared by the region module's files: opening and sizing a region
// file, the checks of a file entry against its file, and the report of a
// file left partly moved.
#pragma once

#include <cstdint>
#include <sys/types.h>
#include <vector>

#include "region/region.h"

namespace region_detail {

// Source name of the module's allocation reports.
inline constexpr const char* kSource = "AuxRegion.c";

// Opens the region file read-write; -1 after reporting 60032 (severity 11).
int open_region_file(const char* name);
// The size of the open file, -1 after reporting 60028 (severity 16).
off_t region_file_size(const char* name, int fd);
// Cuts the file to length bytes: 0, or 16 after reporting 60027.
int truncate_region_file(const char* name, int fd, off_t length);

// The end of a region's values, offset + 4 x count, held to the int64 range:
// a count from a damaged entry (the getters take any long) must not wrap
// into a small end that seems to fit the file.
int64_t region_end(uint32_t offset, long count);

// Indices of the entry's regions in offset order, then count (stable).
std::vector<int32_t> offset_order(const RegionListFile* file);
// Checks the entry against its file of size bytes before anything is moved:
// the file holds its header, every count is 0 or more, every region lies
// inside the file, no two non-empty regions overlap. 0, or 15 after
// reporting the first fault (200062-200065).
int check_regions_against_file(const RegionListFile* file, off_t size);
// Reports that the file was left partly moved and the data dictionary was
// not rewritten (200066, severity 16); returns 16.
int report_partly_moved(const char* name);

// Reads (write false) or writes exactly n bytes at the file position
// through the I/O layer: 0, or -1 when the seek or a transfer fails or a
// read meets the end of the file. Nothing is reported.
int transfer_at(int fd, off_t position, unsigned char* buf, size_t n, bool write);

// A copy of a C string through the checked allocator (null stays null).
char* copy_text(const char* text);

}  // namespace region_detail
