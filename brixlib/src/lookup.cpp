// The lookups of the commands: the position index, the key hash, and the
// searches of brush lists and maps built on them.
#include "lookup.h"

#include <algorithm>
#include <functional>

#include "brixlib/entitykeys.h"

namespace brix
{

TKeyHash &TKeyHash::Add(std::string_view S)
{
    // The length keeps ("ab", "c") and ("a", "bc") apart.
    return Add(static_cast<std::uint64_t>(std::hash<std::string_view>{}(S))).Add(static_cast<std::uint64_t>(S.size()));
}

void TPositionIndex::Append(std::uint64_t Key)
{
    FKeys.push_back(Key);
    FNext.push_back(NoPos);
    if (Key != NoKey) {
        Link(FKeys.size() - 1);
    }
}

void TPositionIndex::Update(std::size_t Pos, std::uint64_t Key)
{
    if (FKeys[Pos] == Key) {
        return;
    }
    if (FKeys[Pos] != NoKey) {
        Unlink(Pos);
    }
    FKeys[Pos] = Key;
    if (Key != NoKey) {
        Link(Pos);
    }
}

std::size_t TPositionIndex::FindSlot(std::uint64_t Key) const
{
    if (Key == NoKey || FSlots.empty()) {
        return NoSlot;
    }
    const std::size_t Mask = FSlots.size() - 1;
    for (std::size_t S = Home(Key);; S = (S + 1) & Mask) {
        const std::uint32_t V = FSlots[S];
        if (V == Empty) {
            return NoSlot;
        }
        if (V != Deleted && FKeys[V - 1] == Key) {
            return S;
        }
    }
}

void TPositionIndex::Link(std::size_t Pos)
{
    const std::size_t S = FindSlot(FKeys[Pos]);
    if (S == NoSlot) {
        // At most half full, tombstones included, so probe runs stay short.
        if ((FChains + FDeleted + 1) * 2 > FSlots.size()) {
            Rehash(FChains + 1); // links every keyed position, this one included
        } else {
            NewChain(Pos);
        }
        return;
    }
    const auto P = static_cast<std::uint32_t>(Pos);
    if (FTails[S] < P) { // appended positions come last
        FNext[FTails[S]] = P;
        FTails[S] = P;
        return;
    }
    if (FSlots[S] - 1 > P) {
        FNext[Pos] = FSlots[S] - 1;
        FSlots[S] = P + 1;
        return;
    }
    std::uint32_t Prev = FSlots[S] - 1;
    while (FNext[Prev] < P) {
        Prev = FNext[Prev];
    }
    FNext[Pos] = FNext[Prev];
    FNext[Prev] = P;
}

void TPositionIndex::Unlink(std::size_t Pos)
{
    const std::size_t S = FindSlot(FKeys[Pos]);
    const auto P = static_cast<std::uint32_t>(Pos);
    if (FSlots[S] - 1 == P) {
        if (FNext[Pos] == NoPos) {
            FSlots[S] = Deleted;
            --FChains;
            ++FDeleted;
        } else {
            FSlots[S] = FNext[Pos] + 1;
        }
    } else {
        std::uint32_t Prev = FSlots[S] - 1;
        while (FNext[Prev] != P) {
            Prev = FNext[Prev];
        }
        FNext[Prev] = FNext[Pos];
        if (FTails[S] == P) {
            FTails[S] = Prev;
        }
    }
    FNext[Pos] = NoPos;
}

void TPositionIndex::NewChain(std::size_t Pos)
{
    const std::size_t Mask = FSlots.size() - 1;
    std::size_t S = Home(FKeys[Pos]);
    while (FSlots[S] != Empty && FSlots[S] != Deleted) {
        S = (S + 1) & Mask;
    }
    if (FSlots[S] == Deleted) {
        --FDeleted;
    }
    FSlots[S] = static_cast<std::uint32_t>(Pos + 1);
    FTails[S] = static_cast<std::uint32_t>(Pos);
    ++FChains;
}

void TPositionIndex::Rehash(std::size_t MinChains)
{
    std::size_t Size = 16;
    int Shift = 60;
    while (Size < MinChains * 4) {
        Size *= 2;
        --Shift;
    }
    FSlots.assign(Size, Empty);
    FTails.assign(Size, NoPos);
    FShift = Shift;
    FChains = FDeleted = 0;
    std::fill(FNext.begin(), FNext.end(), NoPos);
    // Ascending positions: each one joins the end of its chain.
    for (std::size_t Pos = 0; Pos < FKeys.size(); ++Pos) {
        if (FKeys[Pos] == NoKey) {
            continue;
        }
        const std::size_t S = FindSlot(FKeys[Pos]);
        if (S == NoSlot) {
            NewChain(Pos);
        } else {
            FNext[FTails[S]] = static_cast<std::uint32_t>(Pos);
            FTails[S] = static_cast<std::uint32_t>(Pos);
        }
    }
}

// ---------------------------------------------------------------------------
// Brushes

namespace
{

// Shorter lists are scanned: an index would cost more than it saves.
constexpr std::size_t IndexedListLength = 16;

} // namespace

std::uint64_t BrushKey(const TBrush &Brush, bool WithTextures)
{
    TKeyHash H;
    H.Add(static_cast<std::uint64_t>(Brush.Kind()));
    if (const TPatch *P = Brush.Patch()) {
        for (const double V : P->header) {
            H.Add(V);
        }
        for (const TPatchPoint &Pt : P->Points()) {
            H.Add(Pt.p.x).Add(Pt.p.y).Add(Pt.p.z).Add(Pt.u).Add(Pt.v);
        }
        if (WithTextures) {
            H.Add(P->texture);
        }
        return H.Key();
    }
    H.Add(static_cast<std::uint64_t>(Brush.Count()));
    for (const TBrushSide &Side : Brush.SideList()) {
        for (const T3DPoint *P : {&Side.p1, &Side.p2, &Side.p3}) {
            H.Add(P->x).Add(P->y).Add(P->z);
        }
        if (WithTextures) {
            H.Add(Side.texture);
        }
    }
    return H.Key();
}

std::ptrdiff_t TBrushLookup::FindAnalog(const TBrush &ABrush, bool cmpTexture)
{
    if (FList->Count() < IndexedListLength || FList->Count() > TPositionIndex::MaxPositions) {
        return FList->FindAnalog(ABrush, cmpTexture);
    }
    if (FPositions.Size() > FList->Count() || FWithTextures != cmpTexture) {
        // The list was cleared or cut, or is searched the other way: indexed anew.
        FPositions = TPositionIndex();
        FWithTextures = cmpTexture;
    }
    // Brushes added since the last search are keyed now, not when added: the
    // loader fills a brush after adding it.
    for (std::size_t I = FPositions.Size(); I < FList->Count(); ++I) {
        FPositions.Append(BrushKey((*FList)[I], FWithTextures));
    }
    return FPositions.FindFirst(
        BrushKey(ABrush, FWithTextures), [&](std::size_t I) { return (*FList)[I].Cmp(ABrush, cmpTexture); });
}

void TBrushLookup::Changed(std::size_t I)
{
    if (I < FPositions.Size()) {
        FPositions.Update(I, BrushKey((*FList)[I], FWithTextures));
    }
}

// ---------------------------------------------------------------------------
// Entities

namespace
{

std::uint64_t IdKey(const TEntity &Ent)
{
    return Ent.Indexed() ? TKeyHash().Add(Ent.IDView()).Key() : TPositionIndex::NoKey;
}

/// Entities with brushes match by class name and spawn flags alone; brushless
/// ones by their origin too.
std::uint64_t AnalogKey(
    std::string_view ClassName, std::string_view SpawnFlags, bool HasBrushes, std::string_view Origin)
{
    TKeyHash H;
    H.Add(ClassName).Add(SpawnFlags).Add(static_cast<std::uint64_t>(HasBrushes));
    if (!HasBrushes) {
        H.Add(Origin);
    }
    return H.Key();
}

std::uint64_t AnalogKey(const TEntity &Ent)
{
    return AnalogKey(
        Ent.PropValue(KeyClassName), Ent.PropValue(KeySpawnFlags), !Ent.Brushes.Empty(), Ent.PropValue(KeyOrigin));
}

} // namespace

bool TEntityLookup::Refresh(bool WithAnalogs)
{
    if (FMap->Count() > TPositionIndex::MaxPositions) {
        return false;
    }
    if (FIds.Size() > FMap->Count()) {
        // The map was cleared or cut: indexed anew.
        FIds = TPositionIndex();
        FAnalogs = TPositionIndex();
    }
    for (std::size_t I = FIds.Size(); I < FMap->Count(); ++I) {
        FIds.Append(IdKey((*FMap)[I]));
    }
    if (WithAnalogs || FHaveAnalogs) {
        FHaveAnalogs = true;
        for (std::size_t I = FAnalogs.Size(); I < FMap->Count(); ++I) {
            FAnalogs.Append(AnalogKey((*FMap)[I]));
        }
    }
    return true;
}

void TEntityLookup::Changed(std::size_t I)
{
    if (I < FIds.Size()) {
        FIds.Update(I, IdKey((*FMap)[I]));
    }
    if (FHaveAnalogs && I < FAnalogs.Size()) {
        FAnalogs.Update(I, AnalogKey((*FMap)[I]));
    }
}

std::ptrdiff_t TEntityLookup::FindEntity(std::string_view AID)
{
    if (!Refresh(false)) {
        return FMap->IndexOfEntity(AID);
    }
    return FIds.FindFirst(
        TKeyHash().Add(AID).Key(), [&](std::size_t I) { return (*FMap)[I].Indexed() && (*FMap)[I].IDView() == AID; });
}

std::ptrdiff_t TEntityLookup::FindAnalog(const TEntity &Ent)
{
    if (Ent.Indexed()) {
        // An indexed entity's ID is not empty, and only indexed entities have
        // a non-empty ID: the first entity with that ID is the first indexed one.
        return FindEntity(Ent.IDView());
    }
    if (!Refresh(true)) {
        return FMap->IndexOfAnalog(Ent);
    }
    const std::string &ClassName = Ent.PropValue(KeyClassName);
    const std::string &SpawnFlags = Ent.PropValue(KeySpawnFlags);
    const std::string &Origin = Ent.PropValue(KeyOrigin);
    const auto Test = [&](std::size_t I) { return IsAnalog((*FMap)[I], Ent); };
    // The first brush entity of the class and the first point entity at
    // that origin: whichever comes first.
    const std::ptrdiff_t WithBrushes = FAnalogs.FindFirst(AnalogKey(ClassName, SpawnFlags, true, {}), Test);
    const std::ptrdiff_t AtOrigin = FAnalogs.FindFirst(AnalogKey(ClassName, SpawnFlags, false, Origin), Test);
    return WithBrushes < 0 ? AtOrigin : (AtOrigin < 0 ? WithBrushes : std::min(WithBrushes, AtOrigin));
}

} // namespace brix
