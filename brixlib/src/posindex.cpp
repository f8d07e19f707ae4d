// The position index behind the searches of brush lists, maps and extract.
#include "posindex.h"

#include <functional>

namespace brix
{

TKeyHash &TKeyHash::Add(std::string_view S)
{
    // The length keeps ("ab", "c") and ("a", "bc") apart.
    return Add(static_cast<std::uint64_t>(std::hash<std::string_view>{}(S))).Add(static_cast<std::uint64_t>(S.size()));
}

void TPositionIndex::Clear()
{
    FKeys.clear();
    FSlots.clear();
    FLive = FDeleted = 0;
    FShift = 64;
}

void TPositionIndex::Append(std::uint64_t Key)
{
    FKeys.push_back(Key);
    if (Key != NoKey) {
        Insert(FKeys.size() - 1);
    }
}

void TPositionIndex::Update(std::size_t Pos, std::uint64_t Key)
{
    if (FKeys[Pos] == Key) {
        return;
    }
    if (FKeys[Pos] != NoKey) {
        Remove(Pos);
    }
    FKeys[Pos] = Key;
    if (Key != NoKey) {
        Insert(Pos);
    }
}

void TPositionIndex::Insert(std::size_t Pos)
{
    // At most half full, tombstones included, so probe runs stay short.
    if ((FLive + FDeleted + 1) * 2 > FSlots.size()) {
        Rehash(FLive + 1); // places every keyed position, this one included
        return;
    }
    const std::size_t Mask = FSlots.size() - 1;
    std::size_t S = Home(FKeys[Pos]);
    while (FSlots[S] != Empty && FSlots[S] != Deleted) {
        S = (S + 1) & Mask;
    }
    if (FSlots[S] == Deleted) {
        --FDeleted;
    }
    FSlots[S] = static_cast<std::uint32_t>(Pos + 1);
    ++FLive;
}

void TPositionIndex::Remove(std::size_t Pos)
{
    const std::size_t Mask = FSlots.size() - 1;
    for (std::size_t S = Home(FKeys[Pos]); FSlots[S] != Empty; S = (S + 1) & Mask) {
        if (FSlots[S] == Pos + 1) {
            FSlots[S] = Deleted;
            --FLive;
            ++FDeleted;
            return;
        }
    }
}

void TPositionIndex::Rehash(std::size_t MinLive)
{
    std::size_t Size = 16;
    int Shift = 60;
    while (Size < MinLive * 4) {
        Size *= 2;
        --Shift;
    }
    FSlots.assign(Size, Empty);
    FShift = Shift;
    FLive = FDeleted = 0;
    const std::size_t Mask = Size - 1;
    for (std::size_t Pos = 0; Pos < FKeys.size(); ++Pos) {
        if (FKeys[Pos] == NoKey) {
            continue;
        }
        // Positions go in ascending order, so the slots of one key are in
        // list order too (FindFirst does not rely on it).
        std::size_t S = Home(FKeys[Pos]);
        while (FSlots[S] != Empty) {
            S = (S + 1) & Mask;
        }
        FSlots[S] = static_cast<std::uint32_t>(Pos + 1);
        ++FLive;
    }
}

} // namespace brix
