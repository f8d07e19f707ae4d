// The process-wide pool of texts behind TPooledText: a hash table of the
// live texts (under a lock), their entries in chunks that never move (read
// without the lock), and a small cache per thread in front, because the
// faces read one after another mostly repeat a text seen just before.
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <ostream>
#include <vector>

#include "brixlib/text.h"

namespace brix
{

namespace
{

struct TEntry
{
    std::atomic<std::uint32_t> Refs{0};
    std::uint64_t Hash = 0;
    std::string Text;
};

constexpr unsigned ChunkBits = 12;
constexpr std::uint32_t ChunkSize = 1u << ChunkBits;
constexpr std::size_t MaxChunks = std::size_t(1) << 14;

class TPool
{
public:
    static TPool &Get()
    {
        // Never destroyed: texts may be released by other static objects
        // and threads up to the very end of the process.
        static TPool *const Pool = new TPool();
        return *Pool;
    }

    TEntry &At(std::uint32_t Id) noexcept
    {
        return FChunks[Id >> ChunkBits].load(std::memory_order_acquire)[Id & (ChunkSize - 1)];
    }

    /// The id of S with one more holder.
    std::uint32_t Intern(std::string_view S, std::uint64_t Hash)
    {
        const std::lock_guard<std::mutex> Lock(FMutex);
        if (const std::size_t Slot = Find(S, Hash); Slot != NoSlot) {
            const std::uint32_t Id = FSlots[Slot];
            At(Id).Refs.fetch_add(1, std::memory_order_relaxed);
            return Id;
        }
        if ((FUsed + FDeleted + 1) * 2 > FSlots.size()) {
            Rehash(FUsed + 1);
        }
        std::uint32_t Id = 0;
        if (!FFree.empty()) {
            Id = FFree.back();
            FFree.pop_back();
        } else {
            if ((FNext >> ChunkBits) >= MaxChunks) {
                throw std::bad_alloc();
            }
            Id = FNext++;
            std::atomic<TEntry *> &Chunk = FChunks[Id >> ChunkBits];
            if (Chunk.load(std::memory_order_relaxed) == nullptr) {
                Chunk.store(new TEntry[ChunkSize], std::memory_order_release);
            }
        }
        TEntry &E = At(Id);
        E.Text.assign(S);
        E.Hash = Hash;
        E.Refs.store(1, std::memory_order_relaxed);
        Place(Id);
        return Id;
    }

    /// Frees Id's text if nobody holds it any more (another thread may have
    /// taken it again meanwhile, or freed it already).
    void Drop(std::uint32_t Id) noexcept
    {
        const std::lock_guard<std::mutex> Lock(FMutex);
        TEntry &E = At(Id);
        if (E.Refs.load(std::memory_order_acquire) != 0) {
            return;
        }
        const std::size_t Mask = FSlots.size() - 1;
        for (std::size_t S = E.Hash & Mask; FSlots[S] != Empty; S = (S + 1) & Mask) {
            if (FSlots[S] == Id) {
                FSlots[S] = Deleted;
                --FUsed;
                ++FDeleted;
                std::string().swap(E.Text);
                try {
                    FFree.push_back(Id);
                } catch (...) {
                    // The id stays unused; nothing else is lost.
                }
                return;
            }
        }
    }

private:
    static constexpr std::uint32_t Empty = 0;
    static constexpr std::uint32_t Deleted = 0xFFFFFFFFu;
    static constexpr std::size_t NoSlot = static_cast<std::size_t>(-1);

    std::size_t Find(std::string_view S, std::uint64_t Hash)
    {
        if (FSlots.empty()) {
            return NoSlot;
        }
        const std::size_t Mask = FSlots.size() - 1;
        for (std::size_t Slot = Hash & Mask; FSlots[Slot] != Empty; Slot = (Slot + 1) & Mask) {
            const std::uint32_t Id = FSlots[Slot];
            if (Id != Deleted && At(Id).Hash == Hash && At(Id).Text == S) {
                return Slot;
            }
        }
        return NoSlot;
    }

    void Place(std::uint32_t Id)
    {
        const std::size_t Mask = FSlots.size() - 1;
        std::size_t Slot = At(Id).Hash & Mask;
        while (FSlots[Slot] != Empty && FSlots[Slot] != Deleted) {
            Slot = (Slot + 1) & Mask;
        }
        if (FSlots[Slot] == Deleted) {
            --FDeleted;
        }
        FSlots[Slot] = Id;
        ++FUsed;
    }

    void Rehash(std::size_t MinUsed)
    {
        std::size_t Size = 1024;
        while (Size < MinUsed * 4) {
            Size *= 2;
        }
        std::vector<std::uint32_t> Old(Size, Empty);
        Old.swap(FSlots);
        FUsed = FDeleted = 0;
        for (const std::uint32_t Id : Old) {
            if (Id != Empty && Id != Deleted) {
                Place(Id);
            }
        }
    }

    std::mutex FMutex;
    std::array<std::atomic<TEntry *>, MaxChunks> FChunks{};
    std::vector<std::uint32_t> FSlots; ///< ids; Empty or Deleted
    std::vector<std::uint32_t> FFree;
    std::size_t FUsed = 0, FDeleted = 0;
    std::uint32_t FNext = 1; ///< 0 stands for the empty text
};

/// The texts a thread interned last, each held once by the cache itself.
/// Trivially destructible on purpose: some runtimes free a thread's storage
/// before its destructors run, so the cache's holds are never given back
/// (at most its 256 texts per thread stay in the pool).
struct TThreadCache
{
    struct TSlot
    {
        std::uint64_t Hash = 0;
        std::uint32_t Id = 0;
        const std::string *Text = nullptr; ///< Id's, which the cache's hold keeps
    };
    std::array<TSlot, 256> Slots{};
};

thread_local TThreadCache Cache;

std::uint64_t Mix(std::uint64_t X) noexcept
{
    X *= 0xBF58476D1CE4E5B9ull;
    return X ^ (X >> 31);
}

/// A hash of a short text, eight bytes at a time: texture names and face
/// parameters are a few dozen bytes, where a general hash spends more on
/// its set-up than on the text.
std::uint64_t TextHash(std::string_view S) noexcept
{
    const char *P = S.data();
    const std::size_t N = S.size();
    std::uint64_t H = Mix(N ^ 0x9E3779B97F4A7C15ull);
    const auto Word = [](const char *Q, std::size_t Bytes) {
        std::uint64_t W = 0;
        std::memcpy(&W, Q, Bytes);
        return W;
    };
    if (N >= 8) {
        for (std::size_t I = 0; I + 8 <= N; I += 8) {
            H = Mix(H ^ Word(P + I, 8));
        }
        H = Mix(H ^ Word(P + N - 8, 8)); // the last eight, overlapping
    } else if (N >= 4) {
        H = Mix(H ^ (Word(P, 4) | (Word(P + N - 4, 4) << 32)));
    } else if (N > 0) {
        H = Mix(H ^ (static_cast<unsigned char>(P[0]) |
                        static_cast<std::uint64_t>(static_cast<unsigned char>(P[N / 2])) << 8 |
                        static_cast<std::uint64_t>(static_cast<unsigned char>(P[N - 1])) << 16));
    }
    return Mix(H);
}

} // namespace

std::uint32_t TPooledText::Intern(std::string_view S)
{
    if (S.empty()) {
        return 0;
    }
    const std::uint64_t Hash = TextHash(S);
    TThreadCache::TSlot &Slot = Cache.Slots[Hash % Cache.Slots.size()];
    if (Slot.Id != 0 && Slot.Hash == Hash && *Slot.Text == S) {
        Acquire(Slot.Id);
        return Slot.Id;
    }
    const std::uint32_t Id = TPool::Get().Intern(S, Hash);
    Acquire(Id); // the cache's own hold
    Release(Slot.Id);
    Slot = {Hash, Id, &Text(Id)};
    return Id;
}

void TPooledText::Acquire(std::uint32_t Id) noexcept
{
    if (Id != 0) {
        TPool::Get().At(Id).Refs.fetch_add(1, std::memory_order_relaxed);
    }
}

void TPooledText::Release(std::uint32_t Id) noexcept
{
    if (Id != 0 && TPool::Get().At(Id).Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        TPool::Get().Drop(Id);
    }
}

const std::string &TPooledText::Text(std::uint32_t Id) noexcept
{
    static const std::string None;
    return Id == 0 ? None : TPool::Get().At(Id).Text;
}

std::ostream &operator<<(std::ostream &Out, const TPooledText &Text)
{
    return Out << Text.str();
}

} // namespace brix
