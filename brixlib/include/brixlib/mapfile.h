// Entities and map files: entity blocks and their properties, whole map files
// as read and written, the overwrite question, the correspondence of entities
// between maps, and entity identifiers.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "brixlib/geometry.h"
#include "brixlib/support.h"

namespace brix
{

/// A map file that does not read: its diagnostic is printed as a plain line
/// (without the "ERROR!" wrapper) and the run ends. Raised where a load must
/// end the run from inside the library (the "m" area form).
class EMapLoadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// One entity block: ordered properties (duplicate keys kept) and brushes.
class TEntity
{
public:
    TEntity() = default;
    /// Copies everything but the bounds, which are recomputed by CalcMinMax.
    TEntity(const TEntity &Source)
        : Props(Source.Props), Values(Source.Values), Brushes(Source.Brushes), FWorldSpawn(Source.FWorldSpawn),
          FIsStored(Source.FIsStored)
    {}
    TEntity &operator=(const TEntity &Source)
    {
        Assign(Source);
        return *this;
    }
    TEntity(TEntity &&) noexcept = default;
    TEntity &operator=(TEntity &&) noexcept = default;

    void Assign(const TEntity &Source);
    std::unique_ptr<TEntity> Duplicate() const { return std::make_unique<TEntity>(*this); }

    /// Reads the rest of a block after its "{" line, past its "}" line.
    void LoadFromList(const TLineList &List, std::size_t &Index, std::string &Error);
    /// Appends "{", the property lines, the stored brushes with their
    /// "// brush N" comments, and "}".
    void SaveToList(TLineWriter &List) const;

    std::ptrdiff_t PropIndex(std::string_view AProp) const;
    bool PropExists(std::string_view AProp) const { return PropIndex(AProp) >= 0; }
    /// The value of the first property with that key; "" when absent.
    const std::string &PropValue(std::string_view Key) const;
    void SetPropValue(std::string_view Key, std::string_view Value);
    /// Deletes the first "id" property; false when there is none.
    bool RemoveID();
    /// Bounds of the brushes, or the "origin" of a brushless entity; raises
    /// "Error entity arrangement: %s" / "Error in a format of a point: %s".
    void CalcMinMax();

    bool WorldSpawn() const { return FWorldSpawn; }
    void SetWorldSpawn(bool Value) { FWorldSpawn = Value; }
    /// "worldspawn" for the worldspawn, else the "id" value.
    std::string ID() const;
    /// Ignored for the worldspawn, else sets "id".
    void SetID(std::string_view Value);
    bool Indexed() const;
    bool IsStored() const { return FIsStored; }
    void SetIsStored(bool Value) { FIsStored = Value; }

    std::vector<std::string> Props;  ///< keys, in order
    std::vector<std::string> Values; ///< values, parallel to Props
    TBrushList Brushes;
    T3DPoint Min, Max, Center; ///< filled by CalcMinMax only; never copied

private:
    bool FWorldSpawn = false;
    bool FIsStored = true;
};

struct TMapFileIndex; // the search indexes of a map

/// A level-map file in memory: its entities, its name, and whether an
/// identifier operation changed it.
///
/// FindEntity and FindAnalog keep indexes (by identifier; by class name, spawn
/// flags and origin) that answer exactly as a scan in map order would. They
/// follow Add, Clear, loading and the identifier operations; an entity reached
/// through the non-const operator[], FindEntity or FindAnalog is read again at
/// the next search. An entity reference kept past a search must not be used to
/// change its "id", "classname", "spawnflags" or "origin", or to give a
/// brushless entity brushes.
class TMapFile
{
public:
    TMapFile();
    explicit TMapFile(std::string FileName);
    ~TMapFile();
    TMapFile(TMapFile &&Source) noexcept;
    TMapFile &operator=(TMapFile &&Source) noexcept;

    std::size_t Count() const { return FItems.size(); }
    TEntity &operator[](std::size_t I)
    {
        if (FIndex) {
            NoteChanged(I);
        }
        return *FItems[I];
    }
    const TEntity &operator[](std::size_t I) const { return *FItems[I]; }
    /// Appends an entity (the map owns it); returns its position.
    std::size_t Add(std::unique_ptr<TEntity> Entity);
    void Clear();
    /// Hands over all entities, in order, and leaves the map empty: a map that
    /// is not read again passes its entities on without copying them.
    std::vector<std::unique_ptr<TEntity>> TakeAll();

    const std::string &FileName() const { return FFileName; }
    void SetFileName(std::string Value) { FFileName = std::move(Value); }
    bool NeedSave() const { return FNeedSave; }

    /// Replaces the content by the entities of the file. Malformed text sets
    /// Error (entities read so far stay); an unreadable file raises
    /// "Cannot open file "%s". %s".
    void LoadFromFile(const std::string &AFileName, std::string &Error);
    /// The same, reading the file in pieces of about PieceBytes.
    void LoadFromFile(const std::string &AFileName, std::string &Error, std::size_t PieceBytes);
    static constexpr std::size_t DefaultPieceBytes = std::size_t(1) << 20;
    /// The same from text already in memory (decoded as a file would be).
    void LoadFromText(std::string_view Text, std::string &Error);
    /// The written format: an empty line, then "// entity N" and the block of
    /// each stored entity. A brush entity other than the worldspawn whose
    /// brushes are all removed is left out: it would be a broken entity.
    void SaveToList(TLineWriter &List) const;
    /// Writes the map without asking (safely: the old file stays whole on failure).
    void SaveToFile(const std::string &AFileName) const;
    /// Writes the map to FileName, asking first while ConfirmOverwrite is set
    /// and the file exists; prints "%s saved". Answers are read one character
    /// at a time; line ends are skipped and end of input counts as "n".
    /// Returns whether the file was written.
    bool Save(std::ostream &Out, std::istream &In) const;

    /// Names compared with ASCII letters folded, nothing else normalised.
    bool CmpFileName(std::string_view AFileName) const;
    /// The first indexed entity whose ID equals AID exactly; null when none.
    TEntity *FindEntity(std::string_view AID);
    /// The entity that corresponds to Ent (by ID, or by class name, spawn
    /// flags and origin); null when none.
    TEntity *FindAnalog(const TEntity &Ent);

    /// Gives "<file name>#N" identifiers to the entities that have none.
    void ReIndex();
    /// Removes the first "id" of every entity.
    void RemoveID();
    /// Keeps the first of identifiers equal without regard to letter case.
    void RemoveDupIDs();

private:
    void NoteChanged(std::size_t I);
    void DropIndex();
    /// Brings the indexes up to date with the map; false when the map is too
    /// long to index (then the searches scan).
    bool RefreshIndex(bool WithAnalogs);

    std::vector<std::unique_ptr<TEntity>> FItems;
    std::string FFileName;
    bool FNeedSave = false;
    std::unique_ptr<TMapFileIndex> FIndex; // built by the first search
};

/// The file-name part of identifiers: the name after its last "\", "/" or ":".
std::string_view IdFileNamePart(std::string_view FileName);

/// The additional maps of a run.
class TMapFileList
{
public:
    std::size_t Count() const { return FItems.size(); }
    TMapFile &operator[](std::size_t I) { return *FItems[I]; }
    const TMapFile &operator[](std::size_t I) const { return *FItems[I]; }
    TMapFile &Add(std::unique_ptr<TMapFile> Map)
    {
        FItems.push_back(std::move(Map));
        return *FItems.back();
    }
    void Clear() { FItems.clear(); }
    /// The first map whose CmpFileName(AFileName) holds; null when none.
    TMapFile *FindFile(std::string_view AFileName);

private:
    std::vector<std::unique_ptr<TMapFile>> FItems;
};

} // namespace brix
