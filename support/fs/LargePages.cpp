#include "support/fs/LargePages.h"

#include <cstdint>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace ostrel {

size_t systemPageSize() {
  static const size_t page = [] {
    long size = ::getpagesize();
    return size > 0 ? static_cast<size_t>(size) : static_cast<size_t>(4096);
  }();
  return page;
}

void adviseLargePages(void *mem, size_t size) {
#ifdef MADV_HUGEPAGE
  if (size < 2 * largePageSize)
    return;
  const size_t page = systemPageSize();
  uintptr_t start = (reinterpret_cast<uintptr_t>(mem) + page - 1) & ~(page - 1);
  uintptr_t end = reinterpret_cast<uintptr_t>(mem) + size;
  ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
  (void)mem;
  (void)size;
#endif
}

void adviseHeapLargePages() {
#if defined(MADV_HUGEPAGE) && defined(M_TOP_PAD)
  // The heap then grows this much beyond each request, so that what the
  // allocator hands out next lies in memory already advised.
  static constexpr size_t heapStep = size_t(32) << 20;
  static uintptr_t advisedEnd = 0;
  uintptr_t end = reinterpret_cast<uintptr_t>(::sbrk(0));
  if (advisedEnd == 0) {
    ::mallopt(M_TOP_PAD, static_cast<int>(heapStep));
    advisedEnd = end;
    return;
  }
  // Grown by less than a large page (or shrunk): nothing worth advising yet.
  uintptr_t from = advisedEnd & ~(systemPageSize() - 1);
  if (end < from + largePageSize)
    return;
  ::madvise(reinterpret_cast<void *>(from), end - from, MADV_HUGEPAGE);
  advisedEnd = end;
#endif
}

} // namespace ostrel
