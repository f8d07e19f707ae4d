// Entities and map files: entity blocks and their properties, whole map files
// as read and written, the overwrite question, the correspondence of entities
// between maps, and entity identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "brixlib/files.h"
#include "brixlib/geometry.h"
#include "brixlib/messages.h"

namespace brix
{

/// The answer to the overwrite question.
enum class TOverwrite
{
    owWrite,
    owKeep,
    owNoAnswer, ///< the input ended: kept, but nobody said so
};

/// One entity block: ordered properties (duplicate keys kept) and brushes.
class TEntity
{
public:
    /// Copies everything but the bounds (of the entity and of its brushes).
    void Assign(const TEntity &Source) { *this = Source; }
    std::unique_ptr<TEntity> Duplicate() const { return std::make_unique<TEntity>(*this); }

    /// Reads the rest of a block after its "{" line, past its "}" line.
    /// On a malformed block Index is left at the line that holds the fault.
    TReadResult LoadFromList(const TLineList &List, std::size_t &Index, std::string &Error);
    /// Appends the property of a trimmed "key" "value" line; false, the
    /// entity unchanged, when the line is none.
    bool LoadPropertyLine(std::string_view Line);
    /// Appends "{", the property lines, the stored brushes with their
    /// "// brush N" comments, and "}".
    void SaveToList(TLineWriter &List) const;
    /// What SaveToList writes: how many entities, and brushes in them.
    struct TCounts
    {
        std::size_t Entities = 0;
        std::size_t Brushes = 0;
    };
    TCounts WrittenCounts() const;

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
    std::string ID() const { return std::string(IDView()); }
    /// ID without a copy; the view lives as long as the entity's properties.
    std::string_view IDView() const;
    /// Ignored for the worldspawn, else sets "id".
    void SetID(std::string_view Value);
    bool Indexed() const;
    bool IsStored() const { return FIsStored; }
    void SetIsStored(bool Value) { FIsStored = Value; }

    std::vector<TPooledText> Props;  ///< keys, in order (pooled: a map repeats them)
    std::vector<std::string> Values; ///< values, parallel to Props
    TBrushList Brushes;
    TBounds Bounds; ///< filled by CalcMinMax only

private:
    bool FWorldSpawn = false;
    bool FIsStored = true;
};

/// Whether Item corresponds to Ent, an entity without identifier: the same
/// class name and spawn flags and, when Item has no brushes, the same origin
/// text.
bool IsAnalog(const TEntity &Item, const TEntity &Ent);

/// The entities seen so far, by identifier without regard to letter case:
/// entity by entity in map order, the first of equal identifiers is kept.
class TRepeatedIds
{
public:
    /// Removes E's first "id" when an entity before had the same identifier;
    /// returns whether it did.
    bool RemoveRepeated(TEntity &E);

private:
    std::unordered_set<std::string> FSeen; ///< as CaseFoldKey
};

/// The numbers of "<file name>#N" identifiers: every entity of a map is
/// counted first, then the entities without an identifier are given the
/// numbers after the highest, in map order.
class TIdNumbers
{
public:
    /// Takes E into account: its number, or one more number to give.
    void Count(const TEntity &E);
    /// Whether the numbers to give stay within the largest 32-bit number.
    bool Fit() const;
    /// Raises "No free identifier number left in %s" when they do not.
    void Check(const std::string &FileName) const;
    /// How many numbers are to be given.
    std::size_t Needed() const { return static_cast<std::size_t>(FNeeded); }
    /// Gives E the identifier NamePart#N of the next number when E has none
    /// and is not the worldspawn; returns whether it did.
    bool Give(TEntity &E, std::string_view NamePart);

private:
    std::int64_t FHighest = 0;
    std::int64_t FNeeded = 0;
    std::string FNewID;
};

/// A level-map file in memory: its entities, its name, and whether an
/// identifier operation changed it. The searches scan in map order; commands
/// that search a map many times use a lookup of their own over it.
class TMapFile
{
public:
    TMapFile() = default;
    explicit TMapFile(std::string FileName) : FFileName(std::move(FileName)) {}

    std::size_t Count() const { return FItems.size(); }
    TEntity &operator[](std::size_t I) { return *FItems[I]; }
    const TEntity &operator[](std::size_t I) const { return *FItems[I]; }
    /// Appends an entity (the map owns it); returns its position.
    std::size_t Add(std::unique_ptr<TEntity> Entity);
    /// Removes the entities and the header.
    void Clear();
    /// Hands over all entities, in order, and leaves the map empty: a map that
    /// is not read again passes its entities on without copying them.
    std::vector<std::unique_ptr<TEntity>> TakeAll();

    const std::string &FileName() const { return FFileName; }
    void SetFileName(std::string Value) { FFileName = std::move(Value); }
    bool NeedSave() const { return FNeedSave; }

    /// The comment lines before the first entity block (editors keep the game,
    /// the format or layers there), trimmed, without the numbering comments
    /// "// entity N" and "// brush N". Written first, as read.
    const std::vector<std::string> &Header() const { return FHeader; }
    std::vector<std::string> &Header() { return FHeader; }
    void SetHeader(std::vector<std::string> Lines) { FHeader = std::move(Lines); }

    /// Replaces the content by the entities and header of the file.
    /// Malformed text sets Error (entities read so far stay) and ErrorLine;
    /// an unreadable file raises "Cannot open file "%s". %s".
    void LoadFromFile(const std::string &AFileName, std::string &Error);
    /// The same, reading the file in pieces of about PieceBytes.
    void LoadFromFile(const std::string &AFileName, std::string &Error, std::size_t PieceBytes);
    /// Small beside a map of some megabytes, whose pieces in hand then take
    /// little of its memory; large enough that reading in pieces costs no
    /// more time than reading at once.
    static constexpr std::size_t DefaultPieceBytes = std::size_t(1) << 18;
    /// The same from text already in memory (decoded as a file would be).
    void LoadFromText(std::string_view Text, std::string &Error);
    /// The 1-based number of the line where the last load failed: the line
    /// that holds the fault, or the text's last line when a block was not
    /// closed (lines counted as SplitLines splits them); 0 after a load that
    /// read.
    std::size_t ErrorLine() const { return FErrorLine; }
    /// The written format: the header lines, an empty line, then "// entity N"
    /// and the block of each stored entity. A brush entity other than the worldspawn whose
    /// brushes are all removed is left out: it would be a broken entity.
    void SaveToList(TLineWriter &List) const;
    /// What SaveToList writes: how many entities, and brushes in them.
    struct TCounts
    {
        std::size_t Entities = 0;
        std::size_t Brushes = 0;
    };
    TCounts WrittenCounts() const;
    /// Writes the map without asking (safely: the old file stays whole on failure).
    void SaveToFile(const std::string &AFileName) const;
    /// Writes the map complete into a temporary file beside AFileName, which
    /// the writer's Commit puts in place; AFileName is not touched before.
    TAtomicFileWriter PrepareFile(const std::string &AFileName) const;
    /// The overwrite question for FileName, asked while ConfirmOverwrite is
    /// set and the file exists. Answers are read one character at a time:
    /// "y"/"Y" writes, "n"/"N" keeps the file, line ends are skipped, any
    /// other character asks again; at the end of input nobody answered, and
    /// the file is kept.
    TOverwrite AskOverwrite(std::ostream &Out, std::istream &In) const;
    /// Writes the map to FileName after AskOverwrite, and prints "%s saved".
    /// Returns whether the file was written.
    bool Save(std::ostream &Out, std::istream &In) const;

    /// Whether AFileName names this map's file: the same file on disk (any
    /// path to it, a link, another hard link), or the same name with ASCII
    /// letters folded.
    bool CmpFileName(std::string_view AFileName) const;
    /// The same with the identity of AFileName known already.
    bool CmpFileName(std::string_view AFileName, const TFileIdentity &Identity) const;
    /// Whether the text read held lines other than blank lines and comments
    /// outside entity blocks: a file with such lines and no entity is no map.
    bool HoldsOtherText() const { return FOtherText; }

    /// The position of the first indexed entity whose ID equals AID exactly;
    /// -1 when none.
    std::ptrdiff_t IndexOfEntity(std::string_view AID) const;
    /// The position of the entity that corresponds to Ent: by ID when Ent has
    /// one, else the first for which IsAnalog holds; -1 when none.
    std::ptrdiff_t IndexOfAnalog(const TEntity &Ent) const;
    /// The same entities themselves; null when none.
    TEntity *FindEntity(std::string_view AID);
    const TEntity *FindEntity(std::string_view AID) const;
    TEntity *FindAnalog(const TEntity &Ent);

    /// Gives "<file name>#N" identifiers to the entities that have none.
    /// Raises "No free identifier number left in %s", the map unchanged, when
    /// a number would pass the largest 32-bit number. Returns how many it gave.
    std::size_t ReIndex();
    /// Removes the first "id" of every entity; returns from how many.
    std::size_t RemoveID();
    /// Keeps the first of identifiers equal without regard to letter case;
    /// returns how many it removed.
    std::size_t RemoveDupIDs();

private:
    std::vector<std::unique_ptr<TEntity>> FItems;
    std::vector<std::string> FHeader;
    std::string FFileName;
    std::size_t FErrorLine = 0;
    TFileIdentity FIdentity; ///< of the file last read
    bool FNeedSave = false;
    bool FOtherText = false;
};

/// How a map that does not read ends the run: by its diagnostic alone as a
/// plain line (EMapLoadError), or as the general error ("ERROR! ...").
enum class TLoadFailure
{
    lfDiagnostic,
    lfError,
};

/// Loads Map from FileName (which becomes its name); a map that does not read
/// raises "FILE:LINE: TEXT" (its diagnostic, where it was found) as Failure
/// says. An unreadable file raises "Cannot open file "%s". %s".
void LoadMapFile(TMapFile &Map, const std::string &FileName, TLoadFailure Failure);

/// The file-name part of identifiers: the name after its last "\", "/" or ":".
std::string_view IdFileNamePart(std::string_view FileName);

/// Reads only the properties of a map file's entities, a piece at a time, and
/// hands each entity, without brushes, to Visit as its block closes: a quick
/// look before a full reading. A text that does not read as a map gives what
/// it gives; its faults are for the full reading to report. An unreadable
/// file raises "Cannot open file "%s". %s".
void ScanProperties(const std::string &FileName, const std::function<void(const TEntity &)> &Visit,
    std::size_t PieceBytes = TMapFile::DefaultPieceBytes);

/// Raises what LoadMapFile raises for a map that did not read: "FILE:LINE: TEXT".
[[noreturn]] void RaiseLoadError(
    const std::string &FileName, std::size_t Line, const std::string &Error, TLoadFailure Failure);

/// A map file read, changed and written piece by piece, for changes that look
/// at one entity at a time: the map is never held whole, so a map of any size
/// takes about the memory of one piece and of its largest entity that must
/// wait. What it writes is what TMapFile::SaveToList writes of the map read
/// whole and changed entity by entity.
class TMapStream
{
public:
    /// Changes an entity as it is read. Whole: its block is closed; the
    /// answer does not matter. Otherwise the block goes on, and the entity
    /// holds the brushes read since the last answer true (those before are
    /// written or left out already): true lets them be written now, false
    /// keeps them for the next call, and then the entity must be left as it
    /// was. The answer must depend on the properties only.
    using TProcess = std::function<bool(TEntity &E, bool Whole)>;

    /// Reads FileName and writes what Process leaves of it to Out. A malformed
    /// text sets Error and ErrorLine as TMapFile::LoadFromFile does; the first
    /// error Process raises stops the changes and is kept in Failure, for the
    /// caller to raise once it has dealt with the text's own errors. Out holds
    /// nothing of use after either. An unreadable file raises "Cannot open
    /// file "%s". %s". Returns false, Out holding nothing of use, when the
    /// text cannot be written as it is read: an entity's property after
    /// brushes that were passed on. The map must then be read whole.
    bool Run(const std::string &FileName, TLineWriter &Out, const TProcess &Process, std::string &Error,
        std::size_t PieceBytes = TMapFile::DefaultPieceBytes);

    /// After Run returned true: writes E after the text read, as one more
    /// entity of it, Process called on it whole (its first error is kept in
    /// Failure, and nothing is written any more).
    void Append(TEntity &E, TLineWriter &Out, const TProcess &Process);

    std::size_t ErrorLine() const { return FErrorLine; }
    const std::exception_ptr &Failure() const { return FFailure; }
    bool HoldsOtherText() const { return FOtherText; }
    /// The entity blocks begun.
    std::size_t EntitiesRead() const { return FEntitiesRead; }
    /// What was written, counted as TMapFile::WrittenCounts counts.
    TMapFile::TCounts Written() const { return FWritten; }

private:
    struct TOpenBlock; ///< what is known of the entity whose block is open
    void PassOn(TMapFile &Map, TEntity *Open, TLineWriter &Out, const TProcess &Process, TOpenBlock &Block);
    void Finish(TEntity &E, TLineWriter &Out, const TProcess &Process, TOpenBlock &Block);
    void Release(TEntity &E, TLineWriter &Out, TOpenBlock &Block);
    void WriteHeader(const TMapFile &Map, TLineWriter &Out);
    bool Call(const TProcess &Process, TEntity &E, bool Whole, bool &Answer);

    std::size_t FErrorLine = 0;
    std::size_t FEntitiesRead = 0;
    TMapFile::TCounts FWritten;
    std::exception_ptr FFailure; ///< the first error of Process
    bool FOtherText = false;
    bool FHeaderWritten = false;
    bool FBroken = false; ///< the text cannot be written as it is read
};

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

/// The files of a run, written together: each is written complete into its
/// temporary file when it is added, and only Commit puts them in place, one
/// after another. A set destroyed before (an error on the way) leaves every
/// file as it was.
class TWriteSet
{
public:
    void Add(const TMapFile &Map) { Add(Map, Map.FileName()); }
    void Add(const TMapFile &Map, const std::string &FileName);
    /// A file written already (by a TMapStream), holding Counts.
    void Add(const std::string &FileName, TAtomicFileWriter Writer, TMapFile::TCounts Counts);
    /// In the order added, each followed by its "%s saved" line on Out, and
    /// with Counts by the line "  N entities, M brushes" of what it holds.
    void Commit(std::ostream &Out, bool Counts = false);

private:
    struct TPrepared
    {
        std::string FileName;
        TAtomicFileWriter Writer;
        TMapFile::TCounts Counts;
    };
    std::vector<TPrepared> FFiles;
};

} // namespace brix
