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

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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
    /// Target names of an additional map that the result already uses are
    /// renamed in the entities appended from it ("-rntn").
    bool RenameTargetNames = false;

    /// Entities with this identifier (letter case ignored) are appended,
    /// never merged ("-nuid"). "#temp" is always one.
    void AddNonUniqueId(std::string_view Id);
    bool IsNonUniqueId(std::string_view Id) const;

private:
    std::set<std::string> FNonUniqueIds; ///< as CaseFoldKey
};

/// What a command did, for a report of the run. Each command adds to its own
/// fields; the others stay as they are.
struct TCommandStats
{
    // concat, over all additional maps:
    std::size_t BrushesAdded = 0;     ///< brushes of merged entities added to the result
    std::size_t BrushesThere = 0;     ///< brushes of merged entities found there already
    std::size_t EntitiesAppended = 0; ///< entities appended whole (not those a rule removed)
    std::size_t EntitiesMerged = 0;   ///< entities merged into one of the result (worldspawns too)
    // extract, of the source:
    std::size_t EntitiesLeftOut = 0; ///< entities left out whole
    std::size_t BrushesLeftOut = 0;  ///< brushes left out because another map holds them
    // mkid, rmid, rmdpid, over the destination and the additional maps:
    std::size_t IdsChanged = 0; ///< ids given, removed, or repeated ids removed
};

/// Merges: Dest gets the source's entities, then those of each additional
/// map in order. The worldspawn and every entity with an id that Dest holds
/// already are merged brush by brush (a brush that is there, same points and
/// textures, is not repeated); every other entity is appended. The
/// additional maps are left empty.
///
/// Maps by different authors stay apart: an appended TrenchBroom group or
/// layer whose "_tb_id" the result holds already gets a new number (above
/// every whole "_tb_id" of the result and of its map), and the members
/// appended with it name the new number ("_tb_linked_group_id" is left
/// alone). A merged worldspawn adds the "wad" paths that the result's "wad"
/// lacks (letter case ignored, "\" equal to "/"); no other key of it is
/// taken. With RenameTargetNames, a "targetname" of an appended entity that
/// an entity of the result has already becomes NAME_N (the smallest N from 2
/// that nobody uses), in every target key of the entities appended from the
/// same map and in the keys of its multi_manager entities.
void Concat(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options = {});
/// The same, adding to Stats what it did.
void Concat(
    TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options, TCommandStats &Stats);

/// Dest gets what of the source none of the additional maps holds: entities
/// and brushes found in them are left out (the worldspawn always stays, with
/// its properties). The additional maps are not changed.
void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps);
void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps, TCommandStats &Stats);

/// Extract for a source read piece by piece (TMapStream): each source entity,
/// in map order, loses what Extract would take from it. Whole entities, but
/// the worldspawn (which always stays) may come in pieces. The additional
/// maps must outlive it, unchanged.
class TExtractStream
{
public:
    explicit TExtractStream(const TMapFileList &AddMaps);
    ~TExtractStream();
    TExtractStream(const TExtractStream &) = delete;
    TExtractStream &operator=(const TExtractStream &) = delete;

    /// S as read, its properties complete: all of it when Whole, else the
    /// worldspawn's brushes read since the last call. Marks what the
    /// additional maps hold, adds to Stats at the end of S, and returns
    /// whether S stays (false: left out whole, as Extract leaves it out of
    /// the destination).
    bool Apply(TEntity &S, bool Whole, TCommandStats &Stats);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

/// Concat for a source read piece by piece (TMapStream), without
/// ReplaceTextures (it would change brushes written already): each source
/// entity, in map order, gains what Concat merges into it, and Finish then
/// gives the entities that Concat appends after the source's. The
/// additional maps must outlive it; they are left empty, as Concat leaves
/// them.
class TConcatStream
{
public:
    TConcatStream(TMapFileList &AddMaps, const TConcatOptions &Options);
    ~TConcatStream();
    TConcatStream(const TConcatStream &) = delete;
    TConcatStream &operator=(const TConcatStream &) = delete;

    /// S as read, its properties complete: all of it when Whole, else the
    /// brushes read since the last call. At its first call S takes the
    /// "wad" paths of the worldspawns merged into it, and at its end the
    /// merged brushes it lacks.
    void Apply(TEntity &S, bool Whole, TCommandStats &Stats);
    /// After the last source entity: hands each entity appended after the
    /// source's to Write, in order, complete with what merges into it.
    void Finish(const std::function<void(TEntity &)> &Write, TCommandStats &Stats);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

/// The identifier commands: Dest gets the source's entities and the change,
/// and every additional map gets it in place (NeedSave tells which changed).
/// MakeIds gives "<file name>#N" ids to the entities without one; RemoveIds
/// removes every id; RemoveDupIds keeps the first of equal ids (letter case
/// ignored).
/// The overloads with Stats add to it how many ids they changed.
void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);
void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);
void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps);
void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats);
void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats);
void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TCommandStats &Stats);

/// Marks removed what the rules for a map of that role remove: entities by
/// class name or id, brushes by texture, TrenchBroom layers by name
/// (RemoveLayers).
void ApplyRules(const TRules &Rules, TMapFile &Map, TMapRole Role);
/// The same for one entity, without the layer rules (a layer is a matter of
/// the whole map).
void ApplyRules(const TRules &Rules, TEntity &E, TMapRole Role);

/// Whether E is world geometry for cuts: a func_group (TrenchBroom's groups
/// and layers among them) or a class whose name begins with "func_detail".
/// Map compilers fold their brushes into the world. Class names compare
/// exactly. The worldspawn itself is not one of them.
bool IsWorldGeometry(const TEntity &E);

/// Resolves the areas against Map, then removes the brushes of the worldspawn
/// and of every world-geometry entity whose centre lies in none of
/// BrushAreas, and the other entities whose centre lies in none of
/// EntityAreas; an empty list cuts nothing. A world-geometry entity that
/// loses all its brushes is not written; one that had none stays. Raises
/// "Error entity arrangement: %s" for an entity without a place when
/// EntityAreas is not empty (world geometry has no place of its own and never
/// raises).
void CutOffAreas(TMapFile &Map, TAreaList &BrushAreas, TAreaList &EntityAreas);
/// The cut of one entity, the areas resolved already: the worldspawn and world
/// geometry brush by brush, any other entity whole.
void CutOffEntity(TEntity &E, const TAreaList &BrushAreas, const TAreaList &EntityAreas);

// --- TrenchBroom layers --------------------------------------------------------

/// The layer each entity of Map belongs to, by position: the layer entity (a
/// func_group whose "_tb_type" is "_tb_layer"; a layer belongs to itself), or
/// null for the default layer. A member belongs to the layer its "_tb_layer"
/// names by "_tb_id", else to the layer of the group its "_tb_group" names, at
/// any depth. The worldspawn, and an entity whose names lead to no layer (no
/// such layer or group, or a cycle of groups), belong to the default layer.
std::vector<const TEntity *> FindLayers(const TMapFile &Map);

/// The name a layer is selected by: its "_tb_name", "Default Layer" for the
/// default layer (null).
std::string_view LayerName(const TEntity *Layer);

/// Removes the layers that Delete or Keep select: a layer whose name matches
/// any of Delete (never the default layer), and, when Keep is not empty,
/// every layer whose name matches none of Keep. A removed layer loses its
/// layer entity and every member; of the worldspawn only the brushes go, it
/// stays with its properties.
void RemoveLayers(TMapFile &Map, const std::vector<TMask> &Delete, const std::vector<TMask> &Keep);

// --- texture renaming ----------------------------------------------------------

/// One "-rt:MASK=NAME": faces whose texture matches Mask take the texture Name.
struct TTextureRename
{
    TMask Mask;
    std::string Name;
};

/// Renames the textures of every face of Map, renames in order, each applied
/// to the result of those before. Raises the invalid-mask error for a
/// malformed mask, whatever the map holds.
void RenameTextures(TMapFile &Map, const std::vector<TTextureRename> &Renames);
/// The same for one entity.
void RenameTextures(TEntity &E, const std::vector<TTextureRename> &Renames);

/// Writes every face of Map in the Valve 220 form: a face in the Standard form
/// ("TEXTURE xoff yoff rot xscale yscale", maybe followed by the three
/// Quake 2 surface numbers) gets the texture axes that the Standard form
/// implies (the axis pair of the face's direction, turned by rot degrees),
/// so the texture lies where it lay; every other face is left as it is. The
/// worldspawn gets "mapversion" "220", and a TrenchBroom "// Format:" header
/// line names the Valve variant of its format.
void ConvertToValve(TMapFile &Map);

/// Map's worldspawn takes the properties of Donor's worldspawn, its brushes
/// stay; a map without a worldspawn gets them in a new entity at its end,
/// which is then its worldspawn.
/// Raises "The entity "worldspawn" is not found in a file %s" (Donor's name)
/// when Donor has none.
void TakeWorldspawnProperties(TMapFile &Map, const TMapFile &Donor);

} // namespace brix
