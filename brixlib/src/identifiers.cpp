// Entity identifiers of a whole map: giving numbered identifiers, removing
// them, and removing repeated ones.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "brixlib/entitykeys.h"
#include "brixlib/mapfile.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

namespace brix
{

namespace
{

bool AllDigits(std::string_view S)
{
    for (char C : S) {
        if (C < '0' || C > '9') {
            return false;
        }
    }
    return true;
}

/// The number part of an identifier: the text after its first "#" when that
/// text is made of decimal digits only; empty otherwise.
std::string_view NumberPart(std::string_view ID)
{
    const std::size_t Hash = ID.find('#');
    if (Hash == std::string_view::npos) {
        return {};
    }
    const std::string_view Tail = ID.substr(Hash + 1);
    return AllDigits(Tail) ? Tail : std::string_view();
}

} // namespace

void TIdNumbers::Count(const TEntity &E)
{
    if (E.WorldSpawn()) {
        return;
    }
    if (!E.Indexed()) {
        ++FNeeded;
        return;
    }
    const std::string_view Number = NumberPart(E.PropValue(KeyId));
    if (!Number.empty()) {
        FHighest = std::max<std::int64_t>(FHighest, StrToInt(Number));
    }
}

bool TIdNumbers::Fit() const
{
    return FNeeded <= std::numeric_limits<std::int32_t>::max() - FHighest;
}

void TIdNumbers::Check(const std::string &FileName) const
{
    // Every number given must stay a number that the next run can read: when
    // they would not all fit, none is given.
    if (!Fit()) {
        RaiseError(FmtMsg(TMsgId::msgNoFreeIdentifier, {FileName}));
    }
}

bool TIdNumbers::Give(TEntity &E, std::string_view NamePart)
{
    if (E.WorldSpawn() || E.Indexed()) {
        return false;
    }
    ++FHighest;
    FNewID.assign(NamePart);
    FNewID += '#';
    char Digits[24];
    auto Res = std::to_chars(Digits, Digits + sizeof(Digits), FHighest);
    FNewID.append(Digits, Res.ptr);
    if (!E.PropExists(KeyId)) {
        // Room for exactly one more property: doubling every full list of
        // a large map would cost more than the identifiers themselves.
        E.Props.reserve(E.Props.size() + 1);
        E.Values.reserve(E.Values.size() + 1);
    }
    E.SetID(FNewID);
    return true;
}

std::size_t TMapFile::ReIndex()
{
    // All number parts are read before any identifier is given, so a number
    // that does not fit leaves the map as it was.
    TIdNumbers Numbers;
    for (const auto &Item : FItems) {
        Numbers.Count(*Item);
    }
    Numbers.Check(FFileName);
    const std::string_view NamePart = IdFileNamePart(FFileName);
    for (const auto &Item : FItems) {
        FNeedSave = Numbers.Give(*Item, NamePart) || FNeedSave;
    }
    return Numbers.Needed();
}

std::size_t TMapFile::RemoveID()
{
    std::size_t Removed = 0;
    for (const auto &Item : FItems) {
        if (Item->RemoveID()) {
            FNeedSave = true;
            ++Removed;
        }
    }
    return Removed;
}

bool TRepeatedIds::RemoveRepeated(TEntity &E)
{
    if (!E.Indexed() || FSeen.insert(CaseFoldKey(E.IDView())).second) {
        return false;
    }
    E.RemoveID();
    return true;
}

std::size_t TMapFile::RemoveDupIDs()
{
    TRepeatedIds Ids;
    std::size_t Removed = 0;
    for (const auto &Item : FItems) {
        if (Ids.RemoveRepeated(*Item)) {
            FNeedSave = true;
            ++Removed;
        }
    }
    return Removed;
}

} // namespace brix
