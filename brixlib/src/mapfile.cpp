// Map files: loading and writing whole maps, the overwrite question, and the
// lookups of entities and files.
#include <algorithm>
#include <charconv>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "brixlib/entitykeys.h"
#include "brixlib/mapfile.h"
#include "brixlib/text.h"

namespace brix
{

namespace
{

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
    TPieceLoader(TMapFile &Map, std::string &Error, bool &OtherText) : FMap(Map), FError(Error), FOtherText(OtherText)
    {}

    /// Last: no text follows. False once a malformed block ended the load.
    bool Load(const TLineList &Lines, bool Last)
    {
        std::size_t Index = 0;
        while (true) {
            if (FOpen == nullptr) {
                for (; Index < Lines.size(); ++Index) {
                    const std::string_view Line = Trim(Lines[Index]);
                    if (Line == "{") {
                        break;
                    }
                    if (!Line.empty() && Line.substr(0, 2) != "//") {
                        FOtherText = true;
                    }
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
            const TReadResult Result = FOpen->LoadFromList(Lines, Index, EntError);
            if (Result == TReadResult::rrDone) {
                FOpen = nullptr;
                continue;
            }
            if (!Last && Result == TReadResult::rrEndOfLines) {
                return true; // the block goes on in the next piece
            }
            FError = std::move(EntError);
            return false;
        }
    }

private:
    TMapFile &FMap;
    std::string &FError;
    bool &FOtherText;
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
void LoadPieces(TMapFile &Map, TTextFileReader &Reader, std::size_t PieceBytes, std::string &Error, bool &OtherText)
{
    TPieceLoader Loader(Map, Error, OtherText);
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

std::size_t TMapFile::Add(std::unique_ptr<TEntity> Entity)
{
    FItems.push_back(std::move(Entity));
    return FItems.size() - 1;
}

std::vector<std::unique_ptr<TEntity>> TMapFile::TakeAll()
{
    return std::exchange(FItems, {});
}

void TMapFile::LoadFromFile(const std::string &AFileName, std::string &Error)
{
    LoadFromFile(AFileName, Error, DefaultPieceBytes);
}

void TMapFile::LoadFromFile(const std::string &AFileName, std::string &Error, std::size_t PieceBytes)
{
    Clear();
    FOtherText = false;
    TTextFileReader Reader(AFileName);
    FIdentity = FileIdentity(AFileName);
    LoadPieces(*this, Reader, std::max<std::size_t>(PieceBytes, 1), Error, FOtherText);
}

void TMapFile::LoadFromText(std::string_view Text, std::string &Error)
{
    Clear();
    FOtherText = false;
    const std::string Decoded = DecodeText(std::string(Text));
    TPieceLoader(*this, Error, FOtherText).Load(SplitLines(Decoded), true);
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

TAtomicFileWriter TMapFile::PrepareFile(const std::string &AFileName) const
{
    // Written as it is made, a piece at a time: the whole text of a large map
    // is never held beside the map.
    TAtomicFileWriter File(AFileName);
    TLineWriter Writer;
    Writer.SetSink([&File](std::string_view Piece) { File.Write(Piece); });
    SaveToList(Writer);
    Writer.Flush();
    File.Finish();
    return File;
}

void TMapFile::SaveToFile(const std::string &AFileName) const
{
    PrepareFile(AFileName).Commit();
}

TOverwrite TMapFile::AskOverwrite(std::ostream &Out, std::istream &In) const
{
    if (!ConfirmOverwrite || !FileExists(FFileName)) {
        return TOverwrite::owWrite;
    }
    while (true) {
        Out << FmtMsg(TMsgId::msgRewriteQuestion, {FFileName}) << ' ';
        Out.flush();
        // One answer character; the line end typed after an earlier answer
        // is not an answer, and a closed input must not make us ask forever.
        char C = '\n';
        while (C == '\r' || C == '\n') {
            const auto Ch = In.get();
            if (Ch == std::istream::traits_type::eof()) {
                return TOverwrite::owNoAnswer;
            }
            C = AsciiUpperChar(std::istream::traits_type::to_char_type(Ch));
        }
        if (C == 'Y') {
            return TOverwrite::owWrite;
        }
        if (C == 'N') {
            return TOverwrite::owKeep;
        }
    }
}

bool TMapFile::Save(std::ostream &Out, std::istream &In) const
{
    if (AskOverwrite(Out, In) != TOverwrite::owWrite) {
        return false;
    }
    TWriteSet Files;
    Files.Add(*this);
    Files.Commit(Out);
    return true;
}

bool TMapFile::CmpFileName(std::string_view AFileName) const
{
    return CmpFileName(AFileName, FileIdentity(std::string(AFileName)));
}

bool TMapFile::CmpFileName(std::string_view AFileName, const TFileIdentity &Identity) const
{
    if (AsciiEqualNoCase(AFileName, FFileName)) {
        return true;
    }
    // A map not read from its file (or not yet) is looked up by its name.
    return SameFile(Identity, FIdentity.Known ? FIdentity : FileIdentity(FFileName));
}

void TWriteSet::Add(const TMapFile &Map, const std::string &FileName)
{
    FFiles.push_back({FileName, Map.PrepareFile(FileName)});
}

void TWriteSet::Commit(std::ostream &Out)
{
    for (TPrepared &File : FFiles) {
        File.Writer.Commit();
        Out << FmtMsg(TMsgId::msgSaved, {File.FileName}) << ConsoleLineBreak;
        Out.flush();
    }
    FFiles.clear();
}

bool IsAnalog(const TEntity &Item, const TEntity &Ent)
{
    return Item.PropValue(KeyClassName) == Ent.PropValue(KeyClassName) &&
           Item.PropValue(KeySpawnFlags) == Ent.PropValue(KeySpawnFlags) &&
           (!Item.Brushes.Empty() || Item.PropValue(KeyOrigin) == Ent.PropValue(KeyOrigin));
}

std::ptrdiff_t TMapFile::IndexOfEntity(std::string_view AID) const
{
    for (std::size_t I = 0; I < FItems.size(); ++I) {
        if (FItems[I]->Indexed() && FItems[I]->IDView() == AID) {
            return static_cast<std::ptrdiff_t>(I);
        }
    }
    return -1;
}

std::ptrdiff_t TMapFile::IndexOfAnalog(const TEntity &Ent) const
{
    if (Ent.Indexed()) {
        // An indexed entity's ID is not empty, and only indexed entities have
        // a non-empty ID: the first entity with that ID is the first indexed one.
        return IndexOfEntity(Ent.IDView());
    }
    for (std::size_t I = 0; I < FItems.size(); ++I) {
        if (IsAnalog(*FItems[I], Ent)) {
            return static_cast<std::ptrdiff_t>(I);
        }
    }
    return -1;
}

TEntity *TMapFile::FindEntity(std::string_view AID)
{
    const std::ptrdiff_t I = IndexOfEntity(AID);
    return I < 0 ? nullptr : FItems[static_cast<std::size_t>(I)].get();
}

const TEntity *TMapFile::FindEntity(std::string_view AID) const
{
    const std::ptrdiff_t I = IndexOfEntity(AID);
    return I < 0 ? nullptr : FItems[static_cast<std::size_t>(I)].get();
}

TEntity *TMapFile::FindAnalog(const TEntity &Ent)
{
    const std::ptrdiff_t I = IndexOfAnalog(Ent);
    return I < 0 ? nullptr : FItems[static_cast<std::size_t>(I)].get();
}

void LoadMapFile(TMapFile &Map, const std::string &FileName, TLoadFailure Failure)
{
    Map.SetFileName(FileName);
    std::string Error;
    Map.LoadFromFile(FileName, Error);
    if (Error.empty()) {
        return;
    }
    if (Failure == TLoadFailure::lfDiagnostic) {
        throw EMapLoadError(Error);
    }
    RaiseError(Error);
}

std::string_view IdFileNamePart(std::string_view FileName)
{
    const std::size_t Pos = FileName.find_last_of("\\/:");
    return Pos == std::string_view::npos ? FileName : FileName.substr(Pos + 1);
}

TMapFile *TMapFileList::FindFile(std::string_view AFileName)
{
    const TFileIdentity Identity = FileIdentity(std::string(AFileName));
    for (const auto &Item : FItems) {
        if (Item->CmpFileName(AFileName, Identity)) {
            return Item.get();
        }
    }
    return nullptr;
}

} // namespace brix
