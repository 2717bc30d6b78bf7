// The program's operator new: large blocks (the wave's samples, the resampler's copy of them) in
// transparent huge pages where Linux offers them.
//
// A conversion holds the whole wave in memory, and a fresh process meets every 4 KB page of it
// for the first time: 1,400 page faults for one minute of 48 kHz sound. In a virtual machine
// each fault costs tens of microseconds, more than reading and encoding the page together; a
// 2 MB huge page costs one. Blocks of at least 2 MB are therefore aligned to 2 MB and their whole
// huge pages marked MADV_HUGEPAGE; the kernel honours the mark when transparent huge pages are
// enabled or set to "madvise", and ignores it otherwise. The block's last part, less than a huge
// page, stays in small pages (a huge page there would hold up to 2 MB that the block never uses),
// but they are all mapped at once by MADV_POPULATE_WRITE (Linux 5.14; older kernels refuse it
// and the pages come one fault at a time as before): one call instead of up to 511 faults.
// Blocks from 256 KB up (the IMA-ADPCM writer's codes of a round, ~1 MB) come from malloc, which
// maps them fresh, and are populated the same way: 1 ms less for a round's 700 KB here.
// Smaller blocks, and every block on other systems, come from malloc as usual.

// Only the tonecast program links this file; the libraries and the tests keep the standard
// operator new, and so do the sanitizer builds, whose own allocator checks every block.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

void* allocate(std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    constexpr std::size_t kPage = 4096;
    if (size >= kHugePage) {
        void* block = nullptr;
        if (posix_memalign(&block, kHugePage, size) != 0) return nullptr;
        // Hints: the block works the same without them.
        const std::size_t whole = size / kHugePage * kHugePage;
        madvise(block, whole, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
        // Rounding to a small page stays inside the huge page.
        if (const std::size_t tail = (size - whole + kPage - 1) / kPage * kPage; tail > 0) {
            madvise(static_cast<char*>(block) + whole, tail, MADV_POPULATE_WRITE);
        }
#endif
        return block;
    }
#if defined(MADV_POPULATE_WRITE)
    if (size >= (std::size_t{256} << 10)) {
        void* block = std::malloc(size);
        if (block == nullptr) return nullptr;
        // The pages that hold the block; those of malloc's own mapping or heap, which contain it.
        const auto first = reinterpret_cast<std::uintptr_t>(block) / kPage * kPage;
        const auto last =
            (reinterpret_cast<std::uintptr_t>(block) + size + kPage - 1) / kPage * kPage;
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
        return block;
    }
#endif
#endif
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
    for (;;) {
        if (void* block = allocate(size)) return block;
        const std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size) { return ::operator new(size); }

// posix_memalign's blocks are released by free, like malloc's.
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
