// The commands over maps: merging (concat), extracting, the identifier
// commands, the removal rules, the cut-off areas and the worldspawn
// properties taken from another map. They work on maps in memory; loading
// and writing the files is the caller's (LoadMapFile, TMapFile::Save).
//
// Every command fills a destination map from a source map and additional
// maps. The source's entities move into the destination (the source is left
// empty); the destination keeps its own file name, which mkid uses for the
// identifiers it gives. What is removed is only marked (IsStored cleared):
// the writers leave it out.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "brixlib/mapfile.h"
#include "brixlib/rules.h"

namespace brix
{

/// What concat is told beyond its maps.
class TConcatOptions
{
public:
    /// A brush that is already there takes the textures of the added brush
    /// instead of being added again with its other textures ("-rptx").
    bool ReplaceTextures = false;

    /// Entities with this identifier (letter case ignored) are appended,
    /// never merged ("-nuid"). "#temp" is always one.
    void AddNonUniqueId(std::string_view Id);
    bool IsNonUniqueId(std::string_view Id) const;

private:
    std::set<std::string> FNonUniqueIds; ///< as CaseFoldKey
};

/// Merges: Dest gets the source's entities, then those of each additional
/// map in order. The worldspawn and every entity with an id that Dest holds
/// already are merged brush by brush (a brush that is there, same points and
/// textures, is not repeated); every other entity is appended. The
/// additional maps are left empty.
void Concat(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options = {});

/// Dest gets what of the source none of the additional maps holds: entities
/// and brushes found in them are left out (the worldspawn always stays, with
/// its properties). The additional maps are not changed.
void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps);

/// The identifier commands: Dest gets the source's entities and the change,
/// and every additional map gets it in place (NeedSave tells which changed).
/// MakeIds gives "<file name>#N" ids to the entities without one; RemoveIds
/// removes every id; RemoveDupIds keeps the first of equal ids (letter case
/// ignored).
void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);
void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);
void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);

/// Marks removed what the rules for a map of that role remove: entities by
/// class name or id, brushes by texture.
void ApplyRules(const TRules &Rules, TMapFile &Map, TMapRole Role);

/// Resolves the areas against Map, then removes the worldspawn brushes whose
/// centre lies in none of BrushAreas and the other entities whose centre lies
/// in none of EntityAreas; an empty list cuts nothing. Raises "Error entity
/// arrangement: %s" for an entity without a place when EntityAreas is not
/// empty.
void CutOffAreas(TMapFile &Map, TAreaList &BrushAreas, TAreaList &EntityAreas);

/// Map's worldspawn takes the properties of Donor's worldspawn, its brushes
/// stay; a map without a worldspawn gets them in a new entity at its end,
/// which is then its worldspawn.
/// Raises "The entity "worldspawn" is not found in a file %s" (Donor's name)
/// when Donor has none.
void TakeWorldspawnProperties(TMapFile &Map, const TMapFile &Donor);

} // namespace brix
