// Entity identifiers of a whole map: giving numbered identifiers, removing
// them, and removing repeated ones.
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

std::size_t TMapFile::ReIndex()
{
    // All number parts are read before any identifier is given, so a number
    // that does not fit leaves the map as it was.
    std::int64_t Highest = 0;
    for (const auto &Item : FItems) {
        if (Item->WorldSpawn() || !Item->Indexed()) {
            continue;
        }
        const std::string_view Number = NumberPart(Item->PropValue(KeyId));
        if (!Number.empty()) {
            const std::int32_t Value = StrToInt(Number);
            if (Value > Highest) {
                Highest = Value;
            }
        }
    }
    // Every number given must stay a number that the next run can read: when
    // they would not all fit, none is given.
    std::int64_t Needed = 0;
    for (const auto &Item : FItems) {
        if (!Item->WorldSpawn() && !Item->Indexed()) {
            ++Needed;
        }
    }
    if (Needed > std::numeric_limits<std::int32_t>::max() - Highest) {
        RaiseError(FmtMsg(TMsgId::msgNoFreeIdentifier, {FFileName}));
    }
    const std::string_view NamePart = IdFileNamePart(FFileName);
    std::string NewID;
    for (const auto &Item : FItems) {
        if (Item->WorldSpawn() || Item->Indexed()) {
            continue;
        }
        ++Highest;
        NewID.assign(NamePart);
        NewID += '#';
        char Digits[24];
        auto Res = std::to_chars(Digits, Digits + sizeof(Digits), Highest);
        NewID.append(Digits, Res.ptr);
        if (!Item->PropExists(KeyId)) {
            // Room for exactly one more property: doubling every full list of
            // a large map would cost more than the identifiers themselves.
            Item->Props.reserve(Item->Props.size() + 1);
            Item->Values.reserve(Item->Values.size() + 1);
        }
        Item->SetID(NewID);
        FNeedSave = true;
    }
    return static_cast<std::size_t>(Needed);
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
