#ifndef OSTREL_SUPPORT_FS_LARGEPAGES_H
#define OSTREL_SUPPORT_FS_LARGEPAGES_H

/// Page sizes, and advice to back large blocks and the allocator's heap with
/// large pages. Fresh memory is much of the cost of reading a large input or
/// check file: a large page takes one fault where small ones take 512.

#include <cstddef>

namespace ostrel {

/// The size of a large page.
constexpr size_t largePageSize = size_t(2) << 20;

/// The system page size, asked once per process (4096 if the query fails).
size_t systemPageSize();

/// Asks the system to back the whole pages of a large block (a few MiB or
/// more; smaller ones are left alone) with large pages: filling such a block
/// then takes one page fault per 2 MiB instead of one per 4 KiB. A request
/// the system refuses changes nothing.
void adviseLargePages(void *mem, size_t size);

/// The same for the allocator's heap: the first call makes the heap grow in
/// large steps, each later one advises what it grew by since. A builder of
/// many small objects calls it now and then.
void adviseHeapLargePages();

} // namespace ostrel

#endif
