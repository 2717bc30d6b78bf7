// The program's operator new: large blocks (the wave's samples, the resampler's copy of them) in
// transparent huge pages where Linux offers them, their pages mapped ahead of their first use.
//
// A conversion holds the whole wave in memory, and a fresh process meets every 4 KB page of it
// for the first time: 1,400 page faults for one minute of 48 kHz sound. In a virtual machine
// each fault costs tens of microseconds, more than reading and encoding the page together; a
// 2 MB huge page costs one. Blocks of at least 2 MB are therefore aligned to 2 MB and their whole
// huge pages marked MADV_HUGEPAGE; the kernel honours the mark when transparent huge pages are
// enabled or set to "madvise", and ignores it otherwise. The block's last part, less than a huge
// page, stays in small pages (a huge page there would hold up to 2 MB that the block never uses).
//
// Even in huge pages, memory that the machine has just taken back from another process comes
// slowly the first time it is touched: on this project's virtual machines ~1 GB/s, so reading a
// 600 s wave took 20 ms right after another conversion and up to 140 ms after sox had run. The
// block's first user writes it from its start (the reader, the resampler's copy), so a thread of
// its own maps the pages (MADV_POPULATE_WRITE, Linux 5.14; older kernels refuse it and the pages
// come as they are touched) from the start on, ahead of the writer, on the core that waits
// meanwhile. Mapping a page changes nothing in it: the two threads never race on the memory.
// Releasing the block stops and joins its thread first.
//
// Blocks from 256 KB up (the IMA-ADPCM writer's codes of a round, ~1 MB) come from malloc, which
// maps them fresh, and are mapped at once by the allocating thread: 1 ms less for a round's
// 700 KB here. Smaller blocks, and every block on other systems, come from malloc as usual.

// Only the tonecast program links this file; the libraries and the tests keep the standard
// operator new, and so do the sanitizer builds, whose own allocator checks every block.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;
#endif

#if defined(__linux__) && defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)
#define TONECAST_MAP_AHEAD 1

// The threads that map large blocks ahead of their users: a few slots, as a conversion holds
// at most a few large blocks at once; a block that finds none is mapped as it is touched.
struct mapper {
    void* block = nullptr;  // the block being mapped, or nullptr for a free slot
    std::atomic<bool> stop{false};
    std::thread thread;
};
constexpr int kMappers = 4;
std::mutex mappers_mutex;  // constant-initialised: usable before any other static

// Never destroyed: a thread still joinable at exit would end the program.
mapper* mappers() {
    static mapper* const slots = new mapper[kMappers];
    return slots;
}

// Starts mapping block[0 ... size - 1] on a thread of its own; false when no slot or thread is
// to be had, or there is no other core to run it.
bool start_mapping(void* block, std::size_t size) {
    if (std::thread::hardware_concurrency() < 2) return false;
    const std::lock_guard<std::mutex> lock(mappers_mutex);
    for (int m = 0; m < kMappers; ++m) {
        mapper& slot = mappers()[m];
        if (slot.block != nullptr) continue;
        slot.stop.store(false, std::memory_order_relaxed);
        try {
            slot.thread = std::thread([&slot, block, size] {
                // A huge page at a time, so that a stop waits for one at most; then the tail.
                for (std::size_t at = 0; at < size; at += kHugePage) {
                    if (slot.stop.load(std::memory_order_relaxed)) return;
                    const std::size_t n = size - at < kHugePage ? size - at : kHugePage;
                    madvise(static_cast<char*>(block) + at, n, MADV_POPULATE_WRITE);
                }
            });
        } catch (const std::exception&) {
            return false;  // no thread to be had: the pages come as they are touched
        }
        slot.block = block;
        return true;
    }
    return false;
}

// Stops and joins the thread mapping `block`, if one was started for it.
void stop_mapping(void* block) {
    // Only the large blocks, aligned to a huge page, can have one.
    if (block == nullptr || reinterpret_cast<std::uintptr_t>(block) % kHugePage != 0) return;
    const std::lock_guard<std::mutex> lock(mappers_mutex);
    for (int m = 0; m < kMappers; ++m) {
        mapper& slot = mappers()[m];
        if (slot.block != block) continue;
        slot.stop.store(true, std::memory_order_relaxed);
        slot.thread.join();
        slot.block = nullptr;
        return;
    }
}

#endif

void* allocate(std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size >= kHugePage) {
        void* block = nullptr;
        if (posix_memalign(&block, kHugePage, size) != 0) return nullptr;
        // Hints: the block works the same without them.
        const std::size_t whole = size / kHugePage * kHugePage;
        madvise(block, whole, MADV_HUGEPAGE);
#if defined(TONECAST_MAP_AHEAD)
        // Rounding to a small page stays inside the huge page.
        const std::size_t mapped = (size + kPage - 1) / kPage * kPage;
        // Without a thread of their own, at least the small pages of the tail in one call
        // instead of up to 511 faults.
        if (!start_mapping(block, mapped) && mapped > whole) {
            madvise(static_cast<char*>(block) + whole, mapped - whole, MADV_POPULATE_WRITE);
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

// posix_memalign's blocks are released by free, like malloc's.
void release(void* block) {
#if defined(TONECAST_MAP_AHEAD)
    stop_mapping(block);
#endif
    std::free(block);
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

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
