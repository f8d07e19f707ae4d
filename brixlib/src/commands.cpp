// The commands over maps: concat, extract, the identifier commands, the rule
// passes, the cut-off areas and the worldspawn properties of another map.
#include "brixlib/commands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "brixlib/entitykeys.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"
#include "lookup.h"

namespace brix
{

void TConcatOptions::AddNonUniqueId(std::string_view Id)
{
    FNonUniqueIds.insert(CaseFoldKey(Id));
}

bool TConcatOptions::IsNonUniqueId(std::string_view Id) const
{
    // "#temp" marks placeholder ids that must never be merged.
    static const std::string Temp = CaseFoldKey("#temp");
    const std::string Key = CaseFoldKey(Id);
    return Key == Temp || FNonUniqueIds.count(Key) != 0;
}

namespace
{

/// The source's entities become the destination's: the source map is not
/// read after the command, so they are passed on, not copied (a copy would
/// differ only in its bounds, and no bounds are computed before the command).
void TakeSource(TMapFile &Dest, TMapFile &Source)
{
    // The editor's lines at the top of the source describe the result too.
    Dest.SetHeader(Source.Header());
    for (std::unique_ptr<TEntity> &E : Source.TakeAll()) {
        Dest.Add(std::move(E));
    }
}

/// One lookup per brush list that is searched, made at its first search.
class TBrushLookups
{
public:
    TBrushLookup &For(const TBrushList &List) { return FLookups.try_emplace(&List, List).first->second; }

private:
    std::unordered_map<const TBrushList *, TBrushLookup> FLookups;
};

bool SameClassAndFlags(const TEntity &A, const TEntity &B)
{
    return A.PropValue(KeyClassName) == B.PropValue(KeyClassName) &&
           A.PropValue(KeySpawnFlags) == B.PropValue(KeySpawnFlags);
}

/// What a brushless entity without identifier is matched by: class name,
/// spawn flags and origin text.
std::uint64_t PointKey(const TEntity &E)
{
    return TKeyHash(1).Add(E.PropValue(KeyClassName)).Add(E.PropValue(KeySpawnFlags)).Add(E.PropValue(KeyOrigin)).Key();
}

/// What a brush of an entity without identifier is matched by: class name,
/// spawn flags and the brush with its textures.
std::uint64_t EntityBrushKey(const TEntity &E, const TBrush &B)
{
    return TKeyHash(2).Add(E.PropValue(KeyClassName)).Add(E.PropValue(KeySpawnFlags)).Add(BrushKey(B, true)).Key();
}

/// The source entities without identifier, which every additional entity
/// without identifier is compared with, found by what has to match instead
/// of by trying them all: point entities by class name, spawn flags and
/// origin; brushes of brush entities by class name, spawn flags and geometry.
/// The removals of a candidate do not depend on its flags or on the order in
/// which candidates are visited, so the result is that of the full scan.
class TNonIndexedSources
{
public:
    explicit TNonIndexedSources(TMapFile &Source)
    {
        for (std::size_t I = 0; I < Source.Count(); ++I) {
            TEntity &S = Source[I];
            if (S.Indexed()) {
                continue;
            }
            if (S.Brushes.Empty()) {
                FPoints[PointKey(S)].Entities.push_back(&S);
                continue;
            }
            for (std::size_t J = 0; J < S.Brushes.Count(); ++J) {
                FBrushes[EntityBrushKey(S, S.Brushes[J])].Items.push_back({&S, J});
            }
        }
    }

    /// E has no brushes: removes every brushless source entity of its class
    /// name, spawn flags and origin text.
    void MarkPointEntities(const TEntity &E)
    {
        const auto It = FPoints.find(PointKey(E));
        if (It == FPoints.end()) {
            return;
        }
        TPointBucket &Bucket = It->second;
        for (const TEntity *Done : Bucket.Done) {
            if (SameClassAndFlags(*Done, E) && Done->PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                return; // an equal entity removed these already
            }
        }
        for (TEntity *S : Bucket.Entities) {
            if (SameClassAndFlags(*S, E) && S->PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                S->SetIsStored(false);
            }
        }
        Bucket.Done.push_back(&E);
    }

    /// B is a brush of E: in every source entity of E's class name and spawn
    /// flags, the first brush equal to B (textures included) is removed.
    void MarkBrushes(const TEntity &E, const TBrush &B)
    {
        const auto It = FBrushes.find(EntityBrushKey(E, B));
        if (It == FBrushes.end()) {
            return;
        }
        TBrushBucket &Bucket = It->second;
        for (const auto &[DoneEntity, DoneBrush] : Bucket.Done) {
            if (SameClassAndFlags(*DoneEntity, E) && DoneBrush->Cmp(B, true)) {
                return;
            }
        }
        // Items are in source order, and in brush order within an entity.
        const TEntity *Marked = nullptr;
        for (const auto &[S, J] : Bucket.Items) {
            if (S != Marked && SameClassAndFlags(*S, E) && S->Brushes[J].Cmp(B, true)) {
                S->Brushes[J].SetIsStored(false);
                Marked = S;
            }
        }
        Bucket.Done.push_back({&E, &B});
    }

private:
    struct TPointBucket
    {
        std::vector<TEntity *> Entities;
        std::vector<const TEntity *> Done; ///< additional entities already applied
    };
    struct TBrushBucket
    {
        std::vector<std::pair<TEntity *, std::size_t>> Items;
        std::vector<std::pair<const TEntity *, const TBrush *>> Done;
    };
    std::unordered_map<std::uint64_t, TPointBucket> FPoints;
    std::unordered_map<std::uint64_t, TBrushBucket> FBrushes;
};

using TIdOperation = std::size_t (TMapFile::*)();

void RunIdentifierCommand(
    TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TIdOperation Operation, TCommandStats &Stats)
{
    TakeSource(Dest, Source);
    Stats.IdsChanged += (Dest.*Operation)();
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        Stats.IdsChanged += (AddMaps[M].*Operation)();
    }
}

// --- maps by different authors ---------------------------------------------------

using TTakenEntities = std::vector<std::unique_ptr<TEntity>>;

/// Which entities of an additional map concat appends, the others being
/// merged by id: decided as the merge decides, so the first of an id new to
/// the result is appended and takes the later ones of the same map.
std::vector<bool> AppendedEntities(TEntityLookup &Entities, const TTakenEntities &Taken, const TConcatOptions &Options)
{
    std::vector<bool> Appended(Taken.size(), true);
    std::unordered_set<std::string_view> NewIds;
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        const TEntity &E = *Taken[I];
        if (E.Indexed() && !Options.IsNonUniqueId(E.IDView())) {
            Appended[I] = Entities.FindAnalog(E) < 0 && NewIds.insert(E.IDView()).second;
        }
    }
    return Appended;
}

bool IsTbGroupOrLayer(const TEntity &E)
{
    const std::string &Type = E.PropValue(KeyTbType);
    return Type == TbTypeGroup || Type == TbTypeLayer;
}

/// A "_tb_id" that is a whole number (decimal digits, as the editor writes
/// them), without its leading zeros; nothing for any other text. Numbers of
/// any length are taken: a new number must lie above all of them.
std::optional<std::string_view> WholeNumber(std::string_view S)
{
    if (S.empty() || !std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; })) {
        return std::nullopt;
    }
    const std::size_t First = S.find_first_not_of('0');
    return First == std::string_view::npos ? S.substr(S.size() - 1) : S.substr(First);
}

/// A "_tb_id" as the editor compares it: "01" and "1" are one number.
std::string_view TbIdKey(std::string_view Id)
{
    return WholeNumber(Id).value_or(Id);
}

bool WholeLess(std::string_view A, std::string_view B)
{
    return A.size() != B.size() ? A.size() < B.size() : A < B;
}

std::string WholeNext(std::string N)
{
    for (std::size_t I = N.size(); I-- > 0;) {
        if (N[I] != '9') {
            ++N[I];
            return N;
        }
        N[I] = '0';
    }
    return "1" + N;
}

/// Gives the appended groups and layers whose "_tb_id" the result holds
/// already new numbers, and their appended members the new names: TrenchBroom
/// drops a second group of one number, and its members fall into the default
/// layer.
void KeepTbIdsApart(const TMapFile &Dest, TTakenEntities &Taken, const std::vector<bool> &Appended)
{
    bool AnyAppended = false;
    for (std::size_t I = 0; I < Taken.size() && !AnyAppended; ++I) {
        AnyAppended = Appended[I] && IsTbGroupOrLayer(*Taken[I]);
    }
    if (!AnyAppended) {
        return;
    }
    std::unordered_set<std::string_view> InResult;
    std::string Highest = "0";
    const auto Consider = [&Highest](const TEntity &E) {
        const std::optional<std::string_view> N = WholeNumber(E.PropValue(KeyTbId));
        if (N && WholeLess(Highest, *N)) {
            Highest = *N;
        }
    };
    for (std::size_t I = 0; I < Dest.Count(); ++I) {
        Consider(Dest[I]);
        // A group without a number is named by nobody, so it clashes with nothing.
        if (IsTbGroupOrLayer(Dest[I]) && !Dest[I].PropValue(KeyTbId).empty()) {
            InResult.insert(TbIdKey(Dest[I].PropValue(KeyTbId)));
        }
    }
    for (const std::unique_ptr<TEntity> &E : Taken) {
        Consider(*E);
    }
    // Members name groups and layers apart, as the editor reads them; the
    // first of equal old numbers is the one they name.
    std::unordered_map<std::string, std::string> Groups, Layers;
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        TEntity &E = *Taken[I];
        if (!Appended[I] || !IsTbGroupOrLayer(E) || InResult.count(TbIdKey(E.PropValue(KeyTbId))) == 0) {
            continue;
        }
        Highest = WholeNext(std::move(Highest));
        (E.PropValue(KeyTbType) == TbTypeLayer ? Layers : Groups)
            .try_emplace(std::string(TbIdKey(E.PropValue(KeyTbId))), Highest);
        E.SetPropValue(KeyTbId, Highest);
    }
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        if (!Appended[I]) {
            continue;
        }
        TEntity &E = *Taken[I];
        for (std::size_t P = 0; P < E.Props.size(); ++P) {
            const bool Group = E.Props[P] == KeyTbGroup;
            if (!Group && E.Props[P] != KeyTbLayer) {
                continue;
            }
            const auto &Renamed = Group ? Groups : Layers;
            if (const auto It = Renamed.find(std::string(TbIdKey(E.Values[P]))); It != Renamed.end()) {
                E.Values[P] = It->second;
            }
        }
    }
}

/// A "wad" path as compared: ASCII letters folded, "\" taken as "/".
std::string WadKey(std::string_view Path)
{
    std::string Key = AsciiLower(Path);
    std::replace(Key.begin(), Key.end(), '\\', '/');
    return Key;
}

/// The paths of a "wad" value: separated by ";", blanks at their ends dropped.
std::vector<std::string_view> WadPaths(std::string_view Value)
{
    std::vector<std::string_view> Paths;
    while (true) {
        const std::size_t Semicolon = Value.find(';');
        const std::string_view Path = Trim(Value.substr(0, Semicolon));
        if (!Path.empty()) {
            Paths.push_back(Path);
        }
        if (Semicolon == std::string_view::npos) {
            return Paths;
        }
        Value.remove_prefix(Semicolon + 1);
    }
}

/// The merged worldspawn's texture files join the result's: without them the
/// added map's faces have no textures.
void MergeWadLists(TEntity &Result, const TEntity &Added)
{
    const std::vector<std::string_view> AddedPaths = WadPaths(Added.PropValue(KeyWad));
    if (AddedPaths.empty()) {
        return;
    }
    std::string Value = Result.PropValue(KeyWad);
    std::unordered_set<std::string> Have;
    for (const std::string_view Path : WadPaths(Value)) {
        Have.insert(WadKey(Path));
    }
    bool Changed = false;
    for (const std::string_view Path : AddedPaths) {
        if (Have.insert(WadKey(Path)).second) {
            if (!Value.empty()) {
                Value += ';';
            }
            Value += Path;
            Changed = true;
        }
    }
    if (Changed) {
        Result.SetPropValue(KeyWad, Value);
    }
}

bool IsTargetKey(std::string_view Key)
{
    return std::find(std::begin(TargetKeys), std::end(TargetKeys), Key) != std::end(TargetKeys);
}

bool IsMultiManager(const TEntity &E)
{
    return E.PropValue(KeyClassName) == ClassMultiManager;
}

/// Renames the target names of the appended entities that an entity of the
/// result has as its "targetname", so that the triggers of one map do not
/// fire the entities of another.
void RenameTargetNames(const TMapFile &Dest, TTakenEntities &Taken, const std::vector<bool> &Appended)
{
    std::unordered_set<std::string_view> Named; // targetnames of the result
    std::unordered_set<std::string_view> Used;  // what a new name must not be
    const auto Collect = [&](const TEntity &E, bool InResult) {
        const bool Manager = IsMultiManager(E);
        for (std::size_t P = 0; P < E.Props.size(); ++P) {
            if (IsTargetKey(E.Props[P])) {
                Used.insert(E.Values[P]);
                if (InResult && E.Props[P] == KeyTargetName) {
                    Named.insert(E.Values[P]);
                }
            } else if (Manager) {
                // A relay's key fires whatever bears that name.
                Used.insert(E.Props[P]);
            }
        }
    };
    for (std::size_t I = 0; I < Dest.Count(); ++I) {
        Collect(Dest[I], true);
    }
    for (const std::unique_ptr<TEntity> &E : Taken) {
        Collect(*E, false);
    }
    std::unordered_map<std::string, std::string> Renamed;
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        const TEntity &E = *Taken[I];
        if (!Appended[I] || E.WorldSpawn()) {
            continue;
        }
        for (std::size_t P = 0; P < E.Props.size(); ++P) {
            const std::string &Name = E.Values[P];
            if (E.Props[P] != KeyTargetName || Name.empty() || Named.count(Name) == 0 || Renamed.count(Name) != 0) {
                continue;
            }
            // Used is finite, so a free number is found.
            std::string New;
            for (std::uint64_t N = 2;; ++N) {
                New = Name + "_" + std::to_string(N);
                if (Used.count(New) == 0) {
                    break;
                }
            }
            Used.insert(Renamed.try_emplace(Name, std::move(New)).first->second);
        }
    }
    if (Renamed.empty()) {
        return;
    }
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        if (!Appended[I]) {
            continue;
        }
        TEntity &E = *Taken[I];
        const bool Manager = IsMultiManager(E);
        for (std::size_t P = 0; P < E.Props.size(); ++P) {
            if (IsTargetKey(E.Props[P])) {
                if (const auto It = Renamed.find(E.Values[P]); It != Renamed.end()) {
                    E.Values[P] = It->second;
                }
            } else if (Manager) {
                if (const auto It = Renamed.find(E.Props[P]); It != Renamed.end()) {
                    E.Props[P] = It->second;
                }
            }
        }
    }
}

std::size_t StoredBrushes(const TEntity &E)
{
    std::size_t N = 0;
    for (const TBrush &B : E.Brushes) {
        N += B.IsStored() ? 1u : 0u;
    }
    return N;
}

/// What of the source extract leaves out: the entities and brushes that
/// were stored before it and are not after, leaving aside what the rules had
/// removed already (a brush entity whose brushes the rules took out entirely
/// goes for that reason).
class TLeftOutCount
{
public:
    explicit TLeftOutCount(const TMapFile &Source)
    {
        for (std::size_t I = 0; I < Source.Count(); ++I) {
            FBefore.push_back({Source[I].IsStored(), StoredBrushes(Source[I])});
        }
    }

    /// Source after extract has marked it, before its entities are taken.
    void Count(const TMapFile &Source, TCommandStats &Stats) const
    {
        for (std::size_t I = 0; I < Source.Count(); ++I) {
            const TEntity &S = Source[I];
            if (!FBefore[I].Stored) {
                continue;
            }
            const std::size_t Brushes = StoredBrushes(S);
            Stats.BrushesLeftOut += FBefore[I].Brushes - Brushes;
            const bool Gone = !S.IsStored() || (!S.Brushes.Empty() && Brushes == 0);
            if (!S.WorldSpawn() && Gone && (S.Brushes.Empty() || FBefore[I].Brushes > 0)) {
                ++Stats.EntitiesLeftOut;
            }
        }
    }

private:
    struct TBefore
    {
        bool Stored;
        std::size_t Brushes;
    };
    std::vector<TBefore> FBefore;
};

} // namespace

void Concat(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options)
{
    TCommandStats Unused;
    Concat(Dest, Source, AddMaps, Options, Unused);
}

namespace
{

/// Merges or appends the entities of one additional map. The merges into the
/// first Done entities of Dest were made as the source was read (they are
/// only counted here): Dest holds their ghosts (see TConcatStream).
void ConcatMap(TMapFile &Dest, TTakenEntities Taken, std::size_t Done, TEntityLookup &Entities, TBrushLookups &Brushes,
    const TConcatOptions &Options, TCommandStats &Stats)
{
    const bool Replace = Options.ReplaceTextures;
    // Numbers and names are decided for the whole map before any of its
    // entities joins the result.
    const std::vector<bool> Appended = AppendedEntities(Entities, Taken, Options);
    KeepTbIdsApart(Dest, Taken, Appended);
    if (Options.RenameTargetNames) {
        RenameTargetNames(Dest, Taken, Appended);
    }
    for (std::size_t I = 0; I < Taken.size(); ++I) {
        TEntity &E = *Taken[I];
        if (Appended[I]) {
            Stats.EntitiesAppended += E.IsStored() ? 1u : 0u;
            Dest.Add(std::move(Taken[I]));
            continue;
        }
        ++Stats.EntitiesMerged;
        const auto At = static_cast<std::size_t>(Entities.FindAnalog(E));
        if (At < Done) {
            continue;
        }
        TEntity &A = Dest[At];
        if (E.WorldSpawn()) {
            MergeWadLists(A, E);
        }
        TBrushLookup &Lookup = Brushes.For(A.Brushes);
        for (TBrush &B : E.Brushes) {
            if (!B.IsStored()) {
                continue;
            }
            const std::ptrdiff_t Same = Lookup.FindAnalog(B, !Replace);
            ++(Same < 0 ? Stats.BrushesAdded : Stats.BrushesThere);
            if (Same < 0) {
                A.Brushes.Add(std::move(B));
            } else if (Replace) {
                A.Brushes[static_cast<std::size_t>(Same)].ReplaceTextures(B);
                Lookup.Changed(static_cast<std::size_t>(Same));
            }
        }
        Taken[I].reset();
    }
}

} // namespace

void Concat(
    TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options, TCommandStats &Stats)
{
    TakeSource(Dest, Source);
    // Merging only adds brushes to entities of the destination and appends
    // entities: neither changes what the lookups key on.
    TEntityLookup Entities(Dest);
    TBrushLookups Brushes;
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        // Concat never writes an additional map back, so its entities and
        // brushes move into the destination, and what is merged is freed.
        ConcatMap(Dest, AddMaps[M].TakeAll(), 0, Entities, Brushes, Options, Stats);
    }
}

namespace
{

/// What of a source entity the additional maps' entities look at once it is
/// written: its id and the names of the groups, layers and targets (a
/// multi_manager's keys are targets). Null when it has none of them.
std::unique_ptr<TEntity> Ghost(const TEntity &S)
{
    auto G = std::make_unique<TEntity>();
    G->SetWorldSpawn(S.WorldSpawn());
    const bool Manager = IsMultiManager(S);
    for (std::size_t P = 0; P < S.Props.size(); ++P) {
        const TPooledText &Key = S.Props[P];
        if (Manager || Key == KeyId || Key == KeyTbId || Key == KeyTbType || IsTargetKey(Key)) {
            G->Props.push_back(Key);
            G->Values.push_back(S.Values[P]);
        }
    }
    if (!G->WorldSpawn() && G->Props.empty()) {
        return nullptr;
    }
    return G;
}

} // namespace

struct TConcatStream::TImpl
{
    TMapFileList &AddMaps;
    TConcatOptions Options;
    /// The additional entities that merge by id, in map order, until the
    /// first source entity with their id takes them.
    std::unordered_map<std::string_view, std::vector<TEntity *>> ById;
    /// The ghosts of the source entities, then the appended entities.
    TMapFile Result;

    // The source entity in hand, which may come in pieces.
    const TEntity *Open = nullptr;
    TBrushList Merged;                  ///< the brushes merged into it, each once
    std::optional<TBrushLookup> Lookup; ///< over Merged
    std::vector<bool> There;            ///< by position in Merged: the entity has it

    TImpl(TMapFileList &Maps, const TConcatOptions &Opts) : AddMaps(Maps), Options(Opts) {}
    void Begin(TEntity &S, TCommandStats &Stats);
};

TConcatStream::TConcatStream(TMapFileList &AddMaps, const TConcatOptions &Options)
    : FImpl(std::make_unique<TImpl>(AddMaps, Options))
{
    if (Options.ReplaceTextures) {
        throw std::logic_error("TConcatStream: ReplaceTextures changes brushes written already");
    }
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        for (std::size_t I = 0; I < AddMaps[M].Count(); ++I) {
            TEntity &E = AddMaps[M][I];
            if (E.Indexed() && !Options.IsNonUniqueId(E.IDView())) {
                FImpl->ById[E.IDView()].push_back(&E);
            }
        }
    }
}

TConcatStream::~TConcatStream() = default;

void TConcatStream::TImpl::Begin(TEntity &S, TCommandStats &Stats)
{
    Open = &S;
    if (std::unique_ptr<TEntity> G = Ghost(S)) {
        Result.Add(std::move(G));
    }
    // Merged into the first source entity with their id only.
    const auto It = S.Indexed() ? ById.find(S.IDView()) : ById.end();
    if (It == ById.end()) {
        return;
    }
    const std::vector<TEntity *> Entities = std::move(It->second);
    ById.erase(It);
    Lookup.emplace(Merged);
    for (TEntity *E : Entities) {
        if (E->WorldSpawn()) {
            MergeWadLists(S, *E);
        }
        for (TBrush &B : E->Brushes) {
            if (!B.IsStored()) {
                continue;
            }
            if (Lookup->FindAnalog(B, true) >= 0) {
                ++Stats.BrushesThere; // an earlier added brush is the same
                continue;
            }
            Merged.Add(std::move(B));
            There.push_back(false);
        }
        E->Brushes = TBrushList(); // freed, as Concat frees the merged entity
    }
}

void TConcatStream::Apply(TEntity &S, bool Whole, TCommandStats &Stats)
{
    TImpl &I = *FImpl;
    if (I.Open != &S) {
        I.Begin(S, Stats);
    }
    if (I.Lookup) {
        for (const TBrush &B : S.Brushes) {
            if (const std::ptrdiff_t J = I.Lookup->FindAnalog(B, true); J >= 0) {
                I.There[static_cast<std::size_t>(J)] = true;
            }
        }
    }
    if (!Whole) {
        return;
    }
    I.Open = nullptr; // the next entity may take its place in memory
    if (!I.Lookup) {
        return;
    }
    for (std::size_t J = 0; J < I.Merged.Count(); ++J) {
        ++(I.There[J] ? Stats.BrushesThere : Stats.BrushesAdded);
        if (!I.There[J]) {
            S.Brushes.Add(std::move(I.Merged[J]));
        }
    }
    I.Lookup.reset();
    I.Merged = TBrushList(); // its room too: a worldspawn's brushes are many
    I.There = std::vector<bool>();
}

void TConcatStream::Finish(const std::function<void(TEntity &)> &Write, TCommandStats &Stats)
{
    TImpl &I = *FImpl;
    const std::size_t Done = I.Result.Count();
    TEntityLookup Entities(I.Result);
    TBrushLookups Brushes;
    for (std::size_t M = 0; M < I.AddMaps.Count(); ++M) {
        ConcatMap(I.Result, I.AddMaps[M].TakeAll(), Done, Entities, Brushes, I.Options, Stats);
    }
    for (std::size_t E = Done; E < I.Result.Count(); ++E) {
        Write(I.Result[E]);
    }
}

void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps)
{
    TCommandStats Unused;
    Extract(Dest, Source, AddMaps, Unused);
}

void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps, TCommandStats &Stats)
{
    // Whatever is left of the source, the editor's lines describe it.
    Dest.SetHeader(Source.Header());
    const TLeftOutCount LeftOut(Source);
    TNonIndexedSources NonIndexedSources(Source);
    // Extract changes only IsStored flags of the source, which no lookup keys on.
    TEntityLookup Entities(Source);
    TBrushLookups Brushes;
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        const TMapFile &Map = AddMaps[M];
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            const TEntity &E = Map[I];
            if (!E.Indexed()) {
                if (E.Brushes.Empty()) {
                    NonIndexedSources.MarkPointEntities(E);
                } else {
                    for (const TBrush &B : E.Brushes) {
                        NonIndexedSources.MarkBrushes(E, B);
                    }
                }
                continue;
            }
            const std::ptrdiff_t Found = Entities.FindEntity(E.IDView());
            if (Found < 0) {
                continue;
            }
            TEntity &S = Source[static_cast<std::size_t>(Found)];
            if (!SameClassAndFlags(S, E)) {
                continue;
            }
            if (E.Brushes.Empty() && S.Brushes.Empty()) {
                // A worldspawn without brushes is no point entity: the level
                // needs it all the same.
                if (!S.WorldSpawn() && S.PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                    S.SetIsStored(false);
                }
                continue;
            }
            TBrushLookup &Lookup = Brushes.For(S.Brushes);
            for (const TBrush &B : E.Brushes) {
                const std::ptrdiff_t Same = Lookup.FindAnalog(B, true);
                if (Same >= 0) {
                    S.Brushes[static_cast<std::size_t>(Same)].SetIsStored(false);
                }
            }
        }
    }
    LeftOut.Count(Source, Stats);
    for (std::unique_ptr<TEntity> &S : Source.TakeAll()) {
        // The worldspawn stays even when every brush of it is found elsewhere:
        // a level needs its worldspawn and its properties. Only a rule removes it.
        if (!S->WorldSpawn() && !S->Brushes.Empty() && !S->Brushes.IsStored()) {
            S->SetIsStored(false);
        }
        if (S->WorldSpawn() || S->IsStored()) {
            Dest.Add(std::move(S));
        }
    }
}

/// The additional maps' entities as the source's entities look for them.
struct TExtractStream::TImpl
{
    std::unordered_map<std::string_view, std::vector<const TEntity *>> ById; ///< indexed ones
    std::unordered_map<std::uint64_t, std::vector<const TEntity *>> Points;  ///< brushless, without id
    std::unordered_map<std::uint64_t, std::vector<std::pair<const TEntity *, const TBrush *>>> Brushes;
    std::unordered_set<std::string> SourceIds; ///< of the source entities met

    // The source entity in hand, which may come in pieces (the worldspawn).
    const TEntity *Open = nullptr;
    struct TMatch
    {
        const TEntity *Entity;  ///< an additional entity with its id, class name and spawn flags
        TBrushLookup Lookup;    ///< over its brushes
        std::vector<bool> Used; ///< by position in that list: its first equal brush is found
    };
    std::vector<TMatch> Matches;
    std::unordered_set<const TBrush *> Used; ///< additional brushes that found theirs
    bool WasStored = false;
    std::size_t StoredBefore = 0, StoredAfter = 0;

    void Begin(const TEntity &S);
    void MarkBrushes(TEntity &S);
    bool Finish(TEntity &S, TCommandStats &Stats) const;
};

TExtractStream::TExtractStream(const TMapFileList &AddMaps) : FImpl(std::make_unique<TImpl>())
{
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        for (std::size_t I = 0; I < AddMaps[M].Count(); ++I) {
            const TEntity &E = AddMaps[M][I];
            if (E.Indexed()) {
                FImpl->ById[E.IDView()].push_back(&E);
            } else if (E.Brushes.Empty()) {
                FImpl->Points[PointKey(E)].push_back(&E);
            } else {
                for (const TBrush &B : E.Brushes) {
                    FImpl->Brushes[EntityBrushKey(E, B)].emplace_back(&E, &B);
                }
            }
        }
    }
}

TExtractStream::~TExtractStream() = default;

void TExtractStream::TImpl::Begin(const TEntity &S)
{
    Open = &S;
    Matches.clear();
    Used.clear();
    WasStored = S.IsStored();
    StoredBefore = StoredAfter = 0;
    // Found by id only when it is the first source entity with that id.
    if (!S.Indexed() || !SourceIds.emplace(S.IDView()).second) {
        return;
    }
    const auto It = ById.find(S.IDView());
    if (It == ById.end()) {
        return;
    }
    for (const TEntity *E : It->second) {
        if (SameClassAndFlags(S, *E)) {
            Matches.push_back({E, TBrushLookup(E->Brushes), std::vector<bool>(E->Brushes.Count())});
        }
    }
}

void TExtractStream::TImpl::MarkBrushes(TEntity &S)
{
    // Each additional brush takes out the first equal brush of the entity:
    // the brushes of one equal kind all take out the same one.
    for (TBrush &B : S.Brushes) {
        StoredBefore += B.IsStored() ? 1u : 0u;
        bool Found = false;
        for (TMatch &M : Matches) {
            const std::ptrdiff_t J = M.Lookup.FindAnalog(B, true);
            if (J >= 0 && !M.Used[static_cast<std::size_t>(J)]) {
                M.Used[static_cast<std::size_t>(J)] = true;
                Found = true;
            }
        }
        if (!S.Indexed()) {
            const auto It = Brushes.find(EntityBrushKey(S, B));
            if (It != Brushes.end()) {
                for (const auto &[E, AddB] : It->second) {
                    if (!Used.contains(AddB) && SameClassAndFlags(*E, S) && B.Cmp(*AddB, true)) {
                        Used.insert(AddB);
                        Found = true;
                    }
                }
            }
        }
        if (Found) {
            B.SetIsStored(false);
        }
        StoredAfter += B.IsStored() ? 1u : 0u;
    }
}

bool TExtractStream::TImpl::Finish(TEntity &S, TCommandStats &Stats) const
{
    // A brushless entity goes when an additional one with it is the same point.
    if (S.Brushes.Empty() && !S.WorldSpawn()) {
        const auto SamePoint = [&S](const TEntity &E) {
            return E.Brushes.Empty() && SameClassAndFlags(S, E) && S.PropValue(KeyOrigin) == E.PropValue(KeyOrigin);
        };
        bool Found = false;
        for (const TMatch &M : Matches) {
            Found = Found || SamePoint(*M.Entity);
        }
        if (const auto It = Points.find(PointKey(S)); !S.Indexed() && It != Points.end()) {
            for (const TEntity *E : It->second) {
                Found = Found || SamePoint(*E);
            }
        }
        if (Found) {
            S.SetIsStored(false);
        }
    }
    if (WasStored) {
        Stats.BrushesLeftOut += StoredBefore - StoredAfter;
        const bool Gone = !S.IsStored() || (!S.Brushes.Empty() && StoredAfter == 0);
        if (!S.WorldSpawn() && Gone && (S.Brushes.Empty() || StoredBefore > 0)) {
            ++Stats.EntitiesLeftOut;
        }
    }
    // The worldspawn stays even when every brush of it is found elsewhere:
    // a level needs its worldspawn and its properties. Only a rule removes it.
    if (!S.WorldSpawn() && !S.Brushes.Empty() && !S.Brushes.IsStored()) {
        S.SetIsStored(false);
    }
    return S.WorldSpawn() || S.IsStored();
}

bool TExtractStream::Apply(TEntity &S, bool Whole, TCommandStats &Stats)
{
    if (FImpl->Open != &S) {
        FImpl->Begin(S);
    }
    FImpl->MarkBrushes(S);
    if (!Whole) {
        return true;
    }
    FImpl->Open = nullptr; // the next entity may take its place in memory
    return FImpl->Finish(S, Stats);
}

void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::ReIndex, Stats);
}

void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::RemoveID, Stats);
}

void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::RemoveDupIDs, Stats);
}

void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    TCommandStats Unused;
    MakeIds(Dest, Source, AddMaps, Unused);
}

void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    TCommandStats Unused;
    RemoveIds(Dest, Source, AddMaps, Unused);
}

void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    TCommandStats Unused;
    RemoveDupIds(Dest, Source, AddMaps, Unused);
}

void ApplyRules(const TRules &Rules, TMapFile &Map, TMapRole Role)
{
    std::vector<TMask> DeleteLayers;
    std::vector<TMask> KeepLayers;
    for (const TRule &R : Rules) {
        if (R.AppliesTo(Role) && R.IsLayerRule()) {
            (R.Rule == TRuleKind::rkDl ? DeleteLayers : KeepLayers).push_back(R.Mask());
        }
    }
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        ApplyRules(Rules, Map[I], Role);
    }
    // Rules only clear flags, so the layer pass may come after the others.
    if (!DeleteLayers.empty() || !KeepLayers.empty()) {
        RemoveLayers(Map, DeleteLayers, KeepLayers);
    }
}

void ApplyRules(const TRules &Rules, TEntity &E, TMapRole Role)
{
    for (const TRule &R : Rules) {
        if (!R.AppliesTo(Role) || R.IsLayerRule()) {
            continue;
        }
        if (R.IsEntityRule()) {
            R.ApplyToEntity(E);
        } else {
            R.ApplyToBrushes(E);
        }
    }
}

bool IsWorldGeometry(const TEntity &E)
{
    const std::string &Class = E.PropValue(KeyClassName);
    return Class == ClassFuncGroup || Class.starts_with(ClassDetailPrefix);
}

void CutOffAreas(TMapFile &Map, TAreaList &BrushAreas, TAreaList &EntityAreas)
{
    BrushAreas.UpdateAreas(Map);
    EntityAreas.UpdateAreas(Map);
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        CutOffEntity(Map[I], BrushAreas, EntityAreas);
    }
}

void CutOffEntity(TEntity &E, const TAreaList &BrushAreas, const TAreaList &EntityAreas)
{
    // Compilers merge groups and detail into the world: a cut through the
    // world must cut them brush by brush too, or a region keeps them whole.
    if (E.WorldSpawn() || IsWorldGeometry(E)) {
        if (BrushAreas.Empty()) {
            return;
        }
        for (TBrush &B : E.Brushes) {
            B.CalcMinMax();
            B.SetIsStored(B.IsStored() && BrushAreas.PointInArea(B.Bounds.Center));
        }
    } else if (!EntityAreas.Empty()) {
        // Bounds are computed for removed entities too, so an entity
        // without a place is reported whatever else removed it.
        E.CalcMinMax();
        E.SetIsStored(E.IsStored() && EntityAreas.PointInArea(E.Bounds.Center));
    }
}

namespace
{

bool IsTbEntity(const TEntity &E, std::string_view Type)
{
    return E.PropValue(KeyTbType) == Type && E.PropValue(KeyClassName) == ClassFuncGroup;
}

/// The positions of the layers or of the groups of a map by "_tb_id"; the
/// first of equal ids wins. An empty id is left out, so that a missing
/// "_tb_layer" or "_tb_group" (read as empty) names nothing.
std::unordered_map<std::string_view, std::size_t> TbEntitiesById(const TMapFile &Map, std::string_view Type)
{
    std::unordered_map<std::string_view, std::size_t> Found;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const std::string &Id = Map[I].PropValue(KeyTbId);
        if (!Id.empty() && IsTbEntity(Map[I], Type)) {
            Found.try_emplace(Id, I);
        }
    }
    return Found;
}

} // namespace

std::vector<const TEntity *> FindLayers(const TMapFile &Map)
{
    const auto Layers = TbEntitiesById(Map, TbTypeLayer);
    const auto Groups = TbEntitiesById(Map, TbTypeGroup);
    enum class TState : std::uint8_t
    {
        stUnknown,
        stOnPath,
        stDone
    };
    std::vector<TState> State(Map.Count(), TState::stUnknown);
    std::vector<const TEntity *> Result(Map.Count(), nullptr);
    std::vector<std::size_t> Path;
    // A chain of groups is walked without recursion (nesting may be deep in a
    // hostile file) and every group on it learns the answer at once.
    for (std::size_t Start = 0; Start < Map.Count(); ++Start) {
        const TEntity *Layer = nullptr;
        std::size_t At = Start;
        Path.clear();
        while (true) {
            if (State[At] == TState::stDone) {
                Layer = Result[At];
                break;
            }
            if (State[At] == TState::stOnPath) {
                break; // a cycle of groups leads to no layer
            }
            State[At] = TState::stOnPath;
            Path.push_back(At);
            const TEntity &E = Map[At];
            if (E.WorldSpawn()) {
                break;
            }
            if (IsTbEntity(E, TbTypeLayer)) {
                Layer = &E;
                break;
            }
            if (const auto It = Layers.find(E.PropValue(KeyTbLayer)); It != Layers.end()) {
                Layer = &Map[It->second];
                break;
            }
            const auto It = Groups.find(E.PropValue(KeyTbGroup));
            if (It == Groups.end()) {
                break;
            }
            At = It->second;
        }
        for (const std::size_t P : Path) {
            State[P] = TState::stDone;
            Result[P] = Layer;
        }
    }
    return Result;
}

std::string_view LayerName(const TEntity *Layer)
{
    return Layer == nullptr ? TbDefaultLayerName : std::string_view(Layer->PropValue(KeyTbName));
}

void RemoveLayers(TMapFile &Map, const std::vector<TMask> &Delete, const std::vector<TMask> &Keep)
{
    // As with every rule, an empty name matches no mask.
    const auto AnyMatches = [](const std::vector<TMask> &Masks, std::string_view Name) {
        return !Name.empty() &&
               std::any_of(Masks.begin(), Masks.end(), [Name](const TMask &M) { return M.Matches(Name); });
    };
    const std::vector<const TEntity *> Layers = FindLayers(Map);
    std::unordered_map<const TEntity *, bool> Removed; // one decision per layer
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const auto [It, New] = Removed.try_emplace(Layers[I], false);
        if (New) {
            const std::string_view Name = LayerName(Layers[I]);
            It->second =
                (Layers[I] != nullptr && AnyMatches(Delete, Name)) || (!Keep.empty() && !AnyMatches(Keep, Name));
        }
        if (!It->second) {
            continue;
        }
        TEntity &E = Map[I];
        if (E.WorldSpawn()) {
            // The level's properties stay; only its brushes are the layer's.
            for (TBrush &B : E.Brushes) {
                B.SetIsStored(false);
            }
        } else {
            E.SetIsStored(false);
        }
    }
}

namespace
{

/// Raises the invalid-mask error for the first malformed mask.
void ValidateMasks(const std::vector<TTextureRename> &Renames)
{
    for (const TTextureRename &R : Renames) {
        R.Mask.Validate();
    }
}

/// The renames, the masks known to be valid.
void RenameEntityTextures(TEntity &E, const std::vector<TTextureRename> &Renames)
{
    const auto Rename = [&Renames](TPooledText &Texture) {
        for (const TTextureRename &R : Renames) {
            if (R.Mask.Matches(Texture)) {
                Texture = R.Name;
            }
        }
    };
    for (TBrush &B : E.Brushes) {
        if (TPatch *P = B.Patch()) {
            Rename(P->texture);
        }
        for (TBrushSide &Side : B.SideList()) {
            Rename(Side.texture);
        }
    }
}

} // namespace

void RenameTextures(TMapFile &Map, const std::vector<TTextureRename> &Renames)
{
    ValidateMasks(Renames);
    if (Renames.empty()) {
        return;
    }
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        RenameEntityTextures(Map[I], Renames);
    }
}

void RenameTextures(TEntity &E, const std::vector<TTextureRename> &Renames)
{
    ValidateMasks(Renames);
    RenameEntityTextures(E, Renames);
}

namespace
{

/// The Standard form's texture axes: for a face whose normal is nearest Normal
/// (the first of equally near ones), the axes U and V.
struct TAxisRow
{
    double Normal[3], U[3], V[3];
};

constexpr TAxisRow AxisRows[] = {
    {{0, 0, 1}, {1, 0, 0}, {0, -1, 0}},  // floor
    {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}}, // ceiling
    {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}},  // west wall
    {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, // east wall
    {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},  // south wall
    {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}, // north wall
};

/// The five numbers of the Standard form after the texture, and the text of
/// the three Quake 2 surface numbers when they follow; false for any other
/// parameters (the Valve form among them).
bool ReadStandardParams(std::string_view Params, double (&Values)[5], std::string_view &Surface)
{
    std::size_t Count = 0;
    std::string_view Rest = Trim(Params);
    Surface = {};
    while (!Rest.empty()) {
        if (Count == 5) {
            Surface = Rest;
        }
        std::size_t End = 0;
        while (End < Rest.size() && static_cast<unsigned char>(Rest[End]) > 32) {
            ++End;
        }
        double Value = 0;
        if (Count == 8 || !TryStrToFloat(Rest.substr(0, End), Value)) {
            return false;
        }
        if (Count < 5) {
            Values[Count] = Value;
        }
        ++Count;
        Rest = TrimLeft(Rest.substr(End));
    }
    return Count == 5 || Count == 8;
}

/// Exact for whole turns of 90 degrees, so axis-aligned axes stay exact.
void RotationCosSin(double Degrees, double &Cos, double &Sin)
{
    const double Turn = std::fmod(Degrees, 360.0); // exact
    if (Turn == 0) {
        Cos = 1;
        Sin = 0;
    } else if (Turn == 90 || Turn == -270) {
        Cos = 0;
        Sin = 1;
    } else if (Turn == 180 || Turn == -180) {
        Cos = -1;
        Sin = 0;
    } else if (Turn == 270 || Turn == -90) {
        Cos = 0;
        Sin = -1;
    } else {
        const double Radians = Turn / 180 * std::numbers::pi;
        Cos = std::cos(Radians);
        Sin = std::sin(Radians);
    }
}

void AppendAxis(std::string &Out, const double (&Axis)[3], double Offset)
{
    Out += "[ ";
    for (const double C : Axis) {
        AppendFloat(Out, C);
        Out += ' ';
    }
    AppendFloat(Out, Offset);
    Out += " ]";
}

void ConvertSide(TBrushSide &Side)
{
    double P[5]; // xoff yoff rot xscale yscale
    std::string_view Surface;
    if (!ReadStandardParams(Side.params, P, Surface)) {
        return;
    }
    const TPlane Plane = Side.Plane();
    const double N[3] = {Plane.A, Plane.B, Plane.C};
    const TAxisRow *Best = &AxisRows[0];
    double BestDot = 0;
    for (const TAxisRow &Row : AxisRows) {
        const double Dot = N[0] * Row.Normal[0] + N[1] * Row.Normal[1] + N[2] * Row.Normal[2];
        if (&Row == &AxisRows[0] || Dot > BestDot) {
            Best = &Row;
            BestDot = Dot;
        }
    }
    double U[3] = {Best->U[0], Best->U[1], Best->U[2]};
    double V[3] = {Best->V[0], Best->V[1], Best->V[2]};
    // The turn is in the plane of the two axes; the index neither uses stays.
    const std::size_t S = U[0] == 0 && V[0] == 0 ? 1 : 0;
    const std::size_t T = U[2] == 0 && V[2] == 0 ? 1 : 2;
    double Cos = 1, Sin = 0;
    RotationCosSin(P[2], Cos, Sin);
    for (double *Axis : {U, V}) {
        const double As = Axis[S], At = Axis[T];
        Axis[S] = Cos * As - Sin * At;
        Axis[T] = Sin * As + Cos * At;
    }
    std::string Params;
    AppendAxis(Params, U, P[0]);
    Params += ' ';
    AppendAxis(Params, V, P[1]);
    for (std::size_t I = 2; I < 5; ++I) {
        Params += ' ';
        AppendFloat(Params, P[I]);
    }
    if (!Surface.empty()) {
        Params += ' ';
        Params += Surface;
    }
    Side.params = Params;
}

} // namespace

void ConvertToValve(TMapFile &Map)
{
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        for (TBrush &B : E.Brushes) {
            // A brush primitive's faces carry a texture matrix, not axes.
            if (B.Kind() != TBrushKind::bkPlain) {
                continue;
            }
            for (TBrushSide &Side : B.SideList()) {
                ConvertSide(Side);
            }
        }
        if (E.WorldSpawn()) {
            E.SetPropValue(KeyMapVersion, "220");
        }
    }
    // The editor reads the faces by the format its header names.
    constexpr std::pair<std::string_view, std::string_view> Formats[] = {
        {"// Format: Standard", "// Format: Valve"},
        {"// Format: Quake2", "// Format: Quake2 (Valve)"},
        {"// Format: Quake3 (legacy)", "// Format: Quake3 (Valve)"},
    };
    for (std::string &Line : Map.Header()) {
        for (const auto &[From, To] : Formats) {
            if (Line == From) {
                Line = To;
                break;
            }
        }
    }
}

void TakeWorldspawnProperties(TMapFile &Map, const TMapFile &Donor)
{
    // The donor first: a failure leaves the map as it was.
    const TEntity *Source = Donor.FindEntity(ClassWorldSpawn);
    if (Source == nullptr) {
        RaiseError(FmtMsg(TMsgId::msgWorldspawnNotFound, {Donor.FileName()}));
    }
    TEntity *Target = Map.FindEntity(ClassWorldSpawn);
    const bool NewTarget = Target == nullptr;
    if (NewTarget) {
        Target = &Map[Map.Add(std::make_unique<TEntity>())];
    }
    Target->Props = Source->Props;
    Target->Values = Source->Values;
    // A new entity that took a worldspawn's properties is the map's
    // worldspawn, as it would be had it been read so: otherwise the
    // additional maps' worldspawns would come in as second worldspawns.
    if (NewTarget) {
        Target->SetWorldSpawn(Target->PropValue(KeyClassName) == ClassWorldSpawn);
    }
}

} // namespace brix
