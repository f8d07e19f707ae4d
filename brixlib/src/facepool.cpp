// The room of the faces of brushes read together: a few blocks, growing as
// the brushes come, held by every face list that has room in them.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>
#include <vector>

#include "brixlib/geometry.h"

namespace brix
{

namespace detail
{

struct TFaceArena
{
    struct TBlock
    {
        char *Begin;
        std::size_t Size;
    };

    TFaceArena() = default;
    TFaceArena(const TFaceArena &) = delete;
    TFaceArena &operator=(const TFaceArena &) = delete;
    ~TFaceArena()
    {
        for (const TBlock &B : Blocks) {
            ::operator delete(B.Begin);
        }
    }

    /// The pool's own hold, and one for each allocator copy.
    std::atomic<std::size_t> Holds{1};
    /// Room is given only while the pool lives; the blocks never change after.
    bool Open = true;
    std::vector<TBlock> Blocks; ///< in address order
    char *Next = nullptr, *End = nullptr;
    std::size_t LastSize = 0;

    /// The block that holds P, or null.
    const TBlock *BlockOf(const void *P) const noexcept
    {
        const auto *const C = static_cast<const char *>(P);
        auto It = std::upper_bound(
            Blocks.begin(), Blocks.end(), C, [](const char *Q, const TBlock &B) { return Q < B.Begin; });
        if (It == Blocks.begin()) {
            return nullptr;
        }
        --It;
        return C < It->Begin + It->Size ? &*It : nullptr;
    }

    void *Take(std::size_t Bytes)
    {
        constexpr std::size_t Align = alignof(std::max_align_t);
        Bytes = (Bytes + Align - 1) / Align * Align;
        if (static_cast<std::size_t>(End - Next) < Bytes) {
            // Each block twice the last, up to a size whose unused end costs
            // little: a brush entity of one brush takes just its room.
            constexpr std::size_t MostBlock = std::size_t(16) << 10;
            const std::size_t Size = std::max(Bytes, std::min(MostBlock, 2 * LastSize));
            auto *const Begin = static_cast<char *>(::operator new(Size));
            const TBlock Block{Begin, Size};
            try {
                Blocks.insert(std::upper_bound(Blocks.begin(), Blocks.end(), Block,
                                  [](const TBlock &A, const TBlock &B) { return A.Begin < B.Begin; }),
                    Block);
            } catch (...) {
                ::operator delete(Begin);
                throw;
            }
            Next = Begin;
            End = Begin + Size;
            LastSize = Size;
        }
        void *const P = Next;
        Next += Bytes;
        return P;
    }
};

void *ArenaAllocate(TFaceArena *Arena, std::size_t Bytes)
{
    return Arena && Arena->Open ? Arena->Take(Bytes) : ::operator new(Bytes);
}

void ArenaDeallocate(TFaceArena *Arena, void *P) noexcept
{
    // Room in a block is given back with the whole pool.
    if (!Arena || !Arena->BlockOf(P)) {
        ::operator delete(P);
    }
}

void ArenaHold(TFaceArena *Arena) noexcept
{
    if (Arena) {
        Arena->Holds.fetch_add(1, std::memory_order_relaxed);
    }
}

void ArenaDrop(TFaceArena *Arena) noexcept
{
    if (Arena && Arena->Holds.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete Arena;
    }
}

} // namespace detail

TFacePool::~TFacePool()
{
    if (FArena) {
        FArena->Open = false;
        detail::ArenaDrop(FArena);
    }
}

TSideList TFacePool::NewSideList()
{
    if (!FArena) {
        FArena = new detail::TFaceArena();
    }
    return TSideList(TFaceAllocator<TBrushSide>(FArena));
}

} // namespace brix
