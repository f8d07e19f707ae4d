// Map files: loading and writing whole maps, the overwrite question, and the
// lookups of entities and files.
#include <algorithm>
#include <charconv>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "brixlib/mapfile.h"
#include "posindex.h"

namespace brix
{

namespace
{

/// The entity's ID without building a string; the view lives as long as the entity.
std::string_view IdView(const TEntity &Ent)
{
    return Ent.WorldSpawn() ? std::string_view("worldspawn") : std::string_view(Ent.PropValue("id"));
}

char AsciiUpperChar(char C)
{
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

/// A brush entity whose brushes were all removed would be written as a
/// brushless entity without an origin, which no map compiler accepts.
bool IsEmptiedBrushEntity(const TEntity &Ent)
{
    return !Ent.WorldSpawn() && !Ent.Brushes.Empty() && !Ent.Brushes.IsStored();
}

/// Where a line leaves the reader: outside any block, inside an entity block,
/// or inside a brush block. Follows the entity and brush readers exactly as
/// far as the block structure goes; a line they reject ends the load anyway.
enum class TBlockLevel
{
    Outside,
    Entity,
    Brush,
};

TBlockLevel NextLevel(TBlockLevel Level, std::string_view Line)
{
    switch (Level) {
        case TBlockLevel::Outside:
            return Line == "{" ? TBlockLevel::Entity : TBlockLevel::Outside;
        case TBlockLevel::Entity:
            if (Line == "{") {
                return TBlockLevel::Brush;
            }
            return Line == "}" ? TBlockLevel::Outside : TBlockLevel::Entity;
        case TBlockLevel::Brush:
            break;
    }
    return (!Line.empty() && Line.front() == '}') ? TBlockLevel::Entity : TBlockLevel::Brush;
}

/// Reads the entities of a text given as pieces of whole lines. No piece ends
/// inside a brush block, so an entity block that a piece cuts goes on with the
/// next piece where its reader stopped.
class TPieceLoader
{
public:
    TPieceLoader(TMapFile &Map, std::string &Error) : FMap(Map), FError(Error) {}

    /// Last: no text follows. False once a malformed block ended the load.
    bool Load(const TLineList &Lines, bool Last)
    {
        std::size_t Index = 0;
        while (true) {
            if (FOpen == nullptr) {
                while (Index < Lines.size() && Trim(Lines[Index]) != "{") {
                    ++Index;
                }
                if (Index >= Lines.size()) {
                    return true;
                }
                ++Index;
                // The entity joins the map before its block is read, so a partly
                // read entity stays when the block is malformed.
                FOpen = &FMap[FMap.Add(std::make_unique<TEntity>())];
            }
            std::string EntError;
            FOpen->LoadFromList(Lines, Index, EntError);
            if (EntError.empty()) {
                FOpen = nullptr;
                continue;
            }
            if (!Last && Index >= Lines.size() && EntError == GetMsg(msgUnexpectedEndOfFile)) {
                return true; // the block goes on in the next piece
            }
            FError = std::move(EntError);
            return false;
        }
    }

private:
    TMapFile &FMap;
    std::string &FError;
    TEntity *FOpen = nullptr; ///< the entity whose block is not closed yet
};

/// The end of the whole lines of Text. A CR LF that a piece cuts in two reads
/// as a line end and an empty line, which every reader skips.
std::size_t WholeLinesEnd(std::string_view Text)
{
    const std::size_t T = Text.find_last_of("\r\n");
    return T == std::string_view::npos ? 0 : T + 1;
}

/// Reads the map from the file piece by piece, so that the file's text and the
/// list of its lines are never held whole beside the entities read from them.
void LoadPieces(TMapFile &Map, TTextFileReader &Reader, std::size_t PieceBytes, std::string &Error)
{
    TPieceLoader Loader(Map, Error);
    TBlockLevel Level = TBlockLevel::Outside;
    std::string Text;
    TLineList Lines;
    bool Last = false;
    while (!Last) {
        Last = !Reader.ReadPiece(Text, PieceBytes);
        const std::size_t Whole = Last ? Text.size() : WholeLinesEnd(Text);
        SplitLines(std::string_view(Text).substr(0, Whole), Lines);
        // Cut after the last line that leaves the reader outside any brush.
        std::size_t Cut = 0;
        TBlockLevel CutLevel = Level;
        for (std::size_t I = 0; I < Lines.size(); ++I) {
            Level = NextLevel(Level, Trim(Lines[I]));
            if (Level != TBlockLevel::Brush) {
                Cut = I + 1;
                CutLevel = Level;
            }
        }
        if (Last) {
            Cut = Lines.size();
        } else if (Cut == 0) {
            // One brush block longer than a piece: read on with larger pieces, so
            // the text is still scanned a bounded number of times.
            PieceBytes *= 2;
        }
        const std::size_t CutOffset =
            Cut < Lines.size() ? static_cast<std::size_t>(Lines[Cut].data() - Text.data()) : Whole;
        Lines.resize(Cut);
        if (!Loader.Load(Lines, Last)) {
            return;
        }
        Level = CutLevel;
        Text.erase(0, CutOffset);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Search indexes

namespace
{

std::uint64_t IdKey(const TEntity &Ent)
{
    return Ent.Indexed() ? TKeyHash().Add(IdView(Ent)).Key() : TPositionIndex::NoKey;
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
        Ent.PropValue("classname"), Ent.PropValue("spawnflags"), !Ent.Brushes.Empty(), Ent.PropValue("origin"));
}

} // namespace

struct TMapFileIndex
{
    TPositionIndex Ids;
    TPositionIndex Analogs;   ///< kept only once a search by correspondence needed it
    bool HaveAnalogs = false;
    std::vector<std::size_t> Changed; ///< entities handed out for change since the last search
};

TMapFile::TMapFile() = default;
TMapFile::TMapFile(std::string FileName) : FFileName(std::move(FileName)) {}
TMapFile::~TMapFile() = default;
TMapFile::TMapFile(TMapFile &&Source) noexcept = default;
TMapFile &TMapFile::operator=(TMapFile &&Source) noexcept = default;

std::size_t TMapFile::Add(std::unique_ptr<TEntity> Entity)
{
    // The indexes take the new entity at the next search, after it is filled.
    FItems.push_back(std::move(Entity));
    return FItems.size() - 1;
}

void TMapFile::Clear()
{
    FItems.clear();
    DropIndex();
}

std::vector<std::unique_ptr<TEntity>> TMapFile::TakeAll()
{
    DropIndex();
    return std::exchange(FItems, {});
}

void TMapFile::DropIndex()
{
    FIndex.reset();
}

void TMapFile::NoteChanged(std::size_t I)
{
    FIndex->Changed.push_back(I);
    // Past this, building anew is cheaper than following every change.
    if (FIndex->Changed.size() > FItems.size()) {
        FIndex.reset();
    }
}

bool TMapFile::RefreshIndex(bool WithAnalogs)
{
    if (FItems.size() > TPositionIndex::MaxPositions) {
        return false;
    }
    if (!FIndex) {
        FIndex = std::make_unique<TMapFileIndex>();
    }
    TMapFileIndex &X = *FIndex;
    for (const std::size_t I : X.Changed) {
        if (I < X.Ids.Size()) {
            X.Ids.Update(I, IdKey(*FItems[I]));
        }
        if (X.HaveAnalogs && I < X.Analogs.Size()) {
            X.Analogs.Update(I, AnalogKey(*FItems[I]));
        }
    }
    X.Changed.clear();
    for (std::size_t I = X.Ids.Size(); I < FItems.size(); ++I) {
        X.Ids.Append(IdKey(*FItems[I]));
    }
    if (WithAnalogs || X.HaveAnalogs) {
        X.HaveAnalogs = true;
        for (std::size_t I = X.Analogs.Size(); I < FItems.size(); ++I) {
            X.Analogs.Append(AnalogKey(*FItems[I]));
        }
    }
    return true;
}

void TMapFile::LoadFromFile(const std::string &AFileName, std::string &Error)
{
    LoadFromFile(AFileName, Error, DefaultPieceBytes);
}

void TMapFile::LoadFromFile(const std::string &AFileName, std::string &Error, std::size_t PieceBytes)
{
    Clear();
    TTextFileReader Reader(AFileName);
    LoadPieces(*this, Reader, std::max<std::size_t>(PieceBytes, 1), Error);
}

void TMapFile::LoadFromText(std::string_view Text, std::string &Error)
{
    Clear();
    const std::string Decoded = DecodeText(std::string(Text));
    TPieceLoader(*this, Error).Load(SplitLines(Decoded), true);
}

void TMapFile::SaveToList(TLineWriter &List) const
{
    List.Add("");
    std::size_t N = 0;
    for (const auto &Item : FItems) {
        if (!Item->IsStored() || IsEmptiedBrushEntity(*Item)) {
            continue;
        }
        std::string &Buf = List.Buffer();
        Buf += "// entity ";
        char Digits[24];
        auto Res = std::to_chars(Digits, Digits + sizeof(Digits), N++);
        Buf.append(Digits, Res.ptr);
        List.EndLine();
        Item->SaveToList(List);
    }
}

void TMapFile::SaveToFile(const std::string &AFileName) const
{
    // Written as it is made, a piece at a time: the whole text of a large map
    // is never held beside the map.
    TAtomicFileWriter File(AFileName);
    TLineWriter Writer;
    Writer.SetSink([&File](std::string_view Piece) { File.Write(Piece); });
    SaveToList(Writer);
    Writer.Flush();
    File.Commit();
}

bool TMapFile::Save(std::ostream &Out, std::istream &In) const
{
    if (ConfirmOverwrite && FileExists(FFileName)) {
        bool Asking = true;
        while (Asking) {
            Out << FmtMsg(msgRewriteQuestion, {FFileName}) << ' ';
            Out.flush();
            // One answer character; the line end typed after an earlier answer
            // is not an answer, and a closed input must not make us ask forever.
            while (true) {
                const auto Ch = In.get();
                if (Ch == std::istream::traits_type::eof()) {
                    return false;
                }
                const char C = AsciiUpperChar(std::istream::traits_type::to_char_type(Ch));
                if (C == '\r' || C == '\n') {
                    continue;
                }
                if (C == 'N') {
                    return false;
                }
                Asking = C != 'Y';
                break;
            }
        }
    }
    SaveToFile(FFileName);
    Out << FmtMsg(msgSaved, {FFileName}) << ConsoleLineBreak;
    Out.flush();
    return true;
}

bool TMapFile::CmpFileName(std::string_view AFileName) const
{
    if (AFileName.size() != FFileName.size()) {
        return false;
    }
    for (std::size_t I = 0; I < AFileName.size(); ++I) {
        if (AsciiUpperChar(AFileName[I]) != AsciiUpperChar(FFileName[I])) {
            return false;
        }
    }
    return true;
}

TEntity *TMapFile::FindEntity(std::string_view AID)
{
    std::ptrdiff_t Found = -1;
    if (RefreshIndex(false)) {
        Found = FIndex->Ids.FindFirst(TKeyHash().Add(AID).Key(),
            [&](std::size_t I) { return FItems[I]->Indexed() && IdView(*FItems[I]) == AID; });
    } else {
        for (std::size_t I = 0; I < FItems.size() && Found < 0; ++I) {
            if (FItems[I]->Indexed() && IdView(*FItems[I]) == AID) {
                Found = static_cast<std::ptrdiff_t>(I);
            }
        }
    }
    if (Found < 0) {
        return nullptr;
    }
    // The caller may change what it found.
    return &(*this)[static_cast<std::size_t>(Found)];
}

TEntity *TMapFile::FindAnalog(const TEntity &Ent)
{
    if (Ent.Indexed()) {
        // An indexed entity's ID is not empty, and only indexed entities have
        // a non-empty ID: the first entity with that ID is the first indexed one.
        return FindEntity(IdView(Ent));
    }
    const std::string &ClassName = Ent.PropValue("classname");
    const std::string &SpawnFlags = Ent.PropValue("spawnflags");
    const std::string &Origin = Ent.PropValue("origin");
    auto Matches = [&](const TEntity &Item) {
        return Item.PropValue("classname") == ClassName && Item.PropValue("spawnflags") == SpawnFlags &&
               (!Item.Brushes.Empty() || Item.PropValue("origin") == Origin);
    };
    std::ptrdiff_t Found = -1;
    if (RefreshIndex(true)) {
        // The first brush entity of the class and the first point entity at
        // that origin: whichever comes first.
        auto Test = [&](std::size_t I) { return Matches(*FItems[I]); };
        const TPositionIndex &Analogs = FIndex->Analogs;
        const std::ptrdiff_t WithBrushes = Analogs.FindFirst(AnalogKey(ClassName, SpawnFlags, true, {}), Test);
        const std::ptrdiff_t AtOrigin = Analogs.FindFirst(AnalogKey(ClassName, SpawnFlags, false, Origin), Test);
        Found = WithBrushes < 0 ? AtOrigin : (AtOrigin < 0 ? WithBrushes : std::min(WithBrushes, AtOrigin));
    } else {
        for (std::size_t I = 0; I < FItems.size() && Found < 0; ++I) {
            if (Matches(*FItems[I])) {
                Found = static_cast<std::ptrdiff_t>(I);
            }
        }
    }
    if (Found < 0) {
        return nullptr;
    }
    return &(*this)[static_cast<std::size_t>(Found)];
}

std::string_view IdFileNamePart(std::string_view FileName)
{
    const std::size_t Pos = FileName.find_last_of("\\/:");
    return Pos == std::string_view::npos ? FileName : FileName.substr(Pos + 1);
}

TMapFile *TMapFileList::FindFile(std::string_view AFileName)
{
    for (const auto &Item : FItems) {
        if (Item->CmpFileName(AFileName)) {
            return Item.get();
        }
    }
    return nullptr;
}

} // namespace brix
