// Map files: loading and writing whole maps, the overwrite question, and the
// lookups of entities and files.
#include <algorithm>
#include <charconv>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "blockwriter.h"
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
/// right after a brush's "{" (the next line says what the block holds), among
/// the faces of a plain brush, or in a "brushDef" or "patchDef2" block: after
/// its keyword, inside its inner braces, or after them. Follows the readers
/// exactly as far as the block structure goes; a line they reject ends the
/// load anyway.
enum class TBlockLevel
{
    Outside,
    Entity,
    BrushStart,
    Brush,
    KeywordBlock,
    KeywordBody,
    KeywordEnd,
};

TBlockLevel NextLevel(TBlockLevel Level, std::string_view Line)
{
    const bool Skipped = Line.empty() || Line.starts_with("//");
    const bool Closes = !Line.empty() && Line.front() == '}';
    switch (Level) {
        case TBlockLevel::Outside:
            return Line == "{" ? TBlockLevel::Entity : TBlockLevel::Outside;
        case TBlockLevel::Entity:
            if (Line == "{") {
                return TBlockLevel::BrushStart;
            }
            return Line == "}" ? TBlockLevel::Outside : TBlockLevel::Entity;
        case TBlockLevel::BrushStart:
            if (Skipped) {
                return Level;
            }
            if (Line == "brushDef" || Line == "patchDef2") {
                return TBlockLevel::KeywordBlock;
            }
            return Closes ? TBlockLevel::Entity : TBlockLevel::Brush;
        case TBlockLevel::Brush:
            return Closes ? TBlockLevel::Entity : TBlockLevel::Brush;
        case TBlockLevel::KeywordBlock:
            return Line == "{" ? TBlockLevel::KeywordBody : Level;
        case TBlockLevel::KeywordBody:
            return Closes ? TBlockLevel::KeywordEnd : Level;
        case TBlockLevel::KeywordEnd:
            return Closes ? TBlockLevel::Entity : Level;
    }
    return Level;
}

/// Whether a piece may end after a line that leaves the reader at Level.
bool OutsideBrush(TBlockLevel Level)
{
    return Level == TBlockLevel::Outside || Level == TBlockLevel::Entity;
}

/// Whether a trimmed line is one of the numbering comments the writer puts
/// before each entity and brush ("// entity 12", "// brush 0").
bool IsNumberingComment(std::string_view Line)
{
    for (const std::string_view Word : {std::string_view("// entity "), std::string_view("// brush ")}) {
        if (Line.size() > Word.size() && Line.starts_with(Word)) {
            const std::string_view Number = Line.substr(Word.size());
            return std::all_of(Number.begin(), Number.end(), [](char C) { return C >= '0' && C <= '9'; });
        }
    }
    return false;
}

/// Reads the entities of a text given as pieces of whole lines. No piece ends
/// inside a brush block, so an entity block that a piece cuts goes on with the
/// next piece where its reader stopped. The comments before the first entity
/// block are the map's header.
class TPieceLoader
{
public:
    TPieceLoader(TMapFile &Map, std::string &Error, std::size_t &ErrorLine, bool &OtherText)
        : FMap(Map), FError(Error), FErrorLine(ErrorLine), FOtherText(OtherText)
    {}

    /// Last: no text follows. False once a malformed block ended the load.
    bool Load(const TLineList &Lines, bool Last)
    {
        std::size_t Index = 0;
        while (true) {
            if (FOpen == nullptr) {
                std::string_view Line;
                while (Index < Lines.size() && (Line = Trim(Lines[Index])) != "{") {
                    if (FBegun == 0 && Line.starts_with("//") && !IsNumberingComment(Line)) {
                        FMap.Header().emplace_back(Line);
                    }
                    if (!Line.empty() && !Line.starts_with("//")) {
                        FOtherText = true;
                    }
                    ++Index;
                }
                if (Index >= Lines.size()) {
                    return Done(Lines.size());
                }
                ++Index;
                ++FBegun;
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
                return Done(Lines.size()); // the block goes on in the next piece
            }
            FError = std::move(EntError);
            // A malformed block is reported at the line that holds the fault;
            // lines that ran out, at the text's last line.
            FErrorLine = FFirstLine + (Result == TReadResult::rrEndOfLines ? Lines.size() : Index + 1);
            return false;
        }
    }

    /// The entity whose block is not closed yet; null when none.
    TEntity *Open() const { return FOpen; }
    /// How many entity blocks were begun.
    std::size_t Begun() const { return FBegun; }

private:
    /// The piece's lines are read: the next piece's first line follows them.
    bool Done(std::size_t LineCount)
    {
        FFirstLine += LineCount;
        return true;
    }

    TMapFile &FMap;
    std::string &FError;
    std::size_t &FErrorLine;
    bool &FOtherText;
    std::size_t FFirstLine = 0; ///< the number of the lines in the pieces before this one
    TEntity *FOpen = nullptr;   ///< the entity whose block is not closed yet
    std::size_t FBegun = 0;
};

/// The end of the whole lines of Text. A CR at its very end may be the first
/// half of a CR LF: that line is whole only once the next piece shows it, so
/// that every line end counts once, as when the text is split whole.
std::size_t WholeLinesEnd(std::string_view Text)
{
    std::size_t T = Text.find_last_of("\r\n");
    if (T != std::string_view::npos && T + 1 == Text.size() && Text[T] == '\r') {
        T = T == 0 ? std::string_view::npos : Text.find_last_of("\r\n", T - 1);
    }
    return T == std::string_view::npos ? 0 : T + 1;
}

/// Reads the map from the file piece by piece, so that the file's text and the
/// list of its lines are never held whole beside the entities read from them.
/// AfterPiece(Loader) is called after each piece that read.
template <class TAfterPiece>
void LoadPieces(TMapFile &Map, TTextFileReader &Reader, std::size_t PieceBytes, std::string &Error,
    std::size_t &ErrorLine, bool &OtherText, const TAfterPiece &AfterPiece)
{
    TPieceLoader Loader(Map, Error, ErrorLine, OtherText);
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
            if (OutsideBrush(Level)) {
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
        AfterPiece(Loader);
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
    LoadPieces(*this, Reader, std::max<std::size_t>(PieceBytes, 1), Error, FErrorLine, FOtherText,
        [](const TPieceLoader &) {});
}

void TMapFile::LoadFromText(std::string_view Text, std::string &Error)
{
    Clear();
    FOtherText = false;
    const std::string Decoded = DecodeText(std::string(Text));
    TPieceLoader(*this, Error, FErrorLine, FOtherText).Load(SplitLines(Decoded), true);
}

void TMapFile::Clear()
{
    FItems.clear();
    FHeader.clear();
    FErrorLine = 0;
}

void TMapFile::SaveToList(TLineWriter &List) const
{
    for (const std::string &Line : FHeader) {
        List.Add(Line);
    }
    List.Add("");
    std::size_t N = 0;
    for (const auto &Item : FItems) {
        if (!Item->IsStored() || IsEmptiedBrushEntity(*Item)) {
            continue;
        }
        WriteEntityNumber(List, N++);
        Item->SaveToList(List);
    }
}

TMapFile::TCounts TMapFile::WrittenCounts() const
{
    TCounts Counts;
    for (const auto &Item : FItems) {
        if (!Item->IsStored() || IsEmptiedBrushEntity(*Item)) {
            continue;
        }
        ++Counts.Entities;
        for (const TBrush &Brush : Item->Brushes) {
            Counts.Brushes += Brush.IsStored() ? 1u : 0u;
        }
    }
    return Counts;
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
    FFiles.push_back({FileName, Map.PrepareFile(FileName), Map.WrittenCounts()});
}

void TWriteSet::Add(const std::string &FileName, TAtomicFileWriter Writer, TMapFile::TCounts Counts)
{
    FFiles.push_back({FileName, std::move(Writer), Counts});
}

void TWriteSet::Commit(std::ostream &Out, bool Counts)
{
    for (TPrepared &File : FFiles) {
        File.Writer.Commit();
        Out << FmtMsg(TMsgId::msgSaved, {File.FileName}) << ConsoleLineBreak;
        if (Counts) {
            Out << FmtMsg(TMsgId::msgSavedCounts, {DecimalText(File.Counts.Entities), DecimalText(File.Counts.Brushes)})
                << ConsoleLineBreak;
        }
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
    if (!Error.empty()) {
        RaiseLoadError(FileName, Map.ErrorLine(), Error, Failure);
    }
}

void RaiseLoadError(const std::string &FileName, std::size_t Line, const std::string &Error, TLoadFailure Failure)
{
    // Which file and where: one of several maps a pattern found may be the
    // broken one.
    char Digits[24];
    const auto Res = std::to_chars(Digits, Digits + sizeof(Digits), Line);
    const std::string Text = FileName + ":" + std::string(Digits, Res.ptr) + ": " + Error;
    if (Failure == TLoadFailure::lfDiagnostic) {
        throw EMapLoadError(Text);
    }
    RaiseError(Text);
}

struct TMapStream::TOpenBlock
{
    bool Released = false;          ///< some of its brushes were passed on
    std::size_t PropsAtRelease = 0; ///< its properties then
    bool HadBrushes = false;        ///< brushes were passed on, written or left out
    bool HeadWritten = false;       ///< a stored brush was passed on: the entity is written
    std::size_t BrushNumber = 0;    ///< of the next brush written
};

bool TMapStream::Run(
    const std::string &FileName, TLineWriter &Out, const TProcess &Process, std::string &Error, std::size_t PieceBytes)
{
    *this = TMapStream();
    TMapFile Map;
    TOpenBlock Block;
    TTextFileReader Reader(FileName);
    LoadPieces(Map, Reader, std::max<std::size_t>(PieceBytes, 1), Error, FErrorLine, FOtherText,
        [&](const TPieceLoader &Loader) {
            FEntitiesRead = Loader.Begun();
            PassOn(Map, Loader.Open(), Out, Process, Block);
        });
    if (!Error.empty() || FBroken || FFailure) {
        return !FBroken;
    }
    if (!FHeaderWritten) {
        WriteHeader(Map, Out); // a text without entities
    }
    return true;
}

void TMapStream::Append(TEntity &E, TLineWriter &Out, const TProcess &Process)
{
    TOpenBlock Block;
    Finish(E, Out, Process, Block);
}

void TMapStream::PassOn(TMapFile &Map, TEntity *Open, TLineWriter &Out, const TProcess &Process, TOpenBlock &Block)
{
    // The header is complete once an entity block has begun.
    if (!FHeaderWritten && FEntitiesRead > 0) {
        WriteHeader(Map, Out);
    }
    // The open entity is the last; those before it are complete.
    for (std::unique_ptr<TEntity> &E : Map.TakeAll()) {
        if (E.get() != Open) {
            Finish(*E, Out, Process, Block);
            continue;
        }
        Map.Add(std::move(E));
        bool Now = false;
        if (!FFailure && !FBroken && Call(Process, *Open, false, Now) && Now) {
            Release(*Open, Out, Block);
        } else if (FFailure || FBroken) {
            Open->Brushes.Clear(); // nothing is written any more: only the reading goes on
        }
    }
}

void TMapStream::WriteHeader(const TMapFile &Map, TLineWriter &Out)
{
    for (const std::string &Line : Map.Header()) {
        Out.Add(Line);
    }
    Out.Add("");
    FHeaderWritten = true;
}

bool TMapStream::Call(const TProcess &Process, TEntity &E, bool Whole, bool &Answer)
{
    try {
        Answer = Process(E, Whole);
        return true;
    } catch (...) {
        FFailure = std::current_exception();
        return false;
    }
}

void TMapStream::Release(TEntity &E, TLineWriter &Out, TOpenBlock &Block)
{
    // What was passed on was decided by the properties as they were then.
    if (Block.Released && (E.Props.size() != Block.PropsAtRelease || (Block.HeadWritten && !E.IsStored()))) {
        FBroken = true;
        E.Brushes.Clear();
        return;
    }
    if (E.Brushes.Empty()) {
        return; // nothing to pass on: properties may still come
    }
    if (!Block.Released) {
        Block.Released = true;
        Block.PropsAtRelease = E.Props.size();
    }
    for (const TBrush &B : E.Brushes) {
        Block.HadBrushes = true;
        if (!B.IsStored() || !E.IsStored()) {
            continue;
        }
        if (!Block.HeadWritten) {
            WriteEntityNumber(Out, FWritten.Entities++);
            WriteEntityHead(Out, E);
            Block.HeadWritten = true;
        }
        WriteNumberedBrush(Out, B, Block.BrushNumber++);
        ++FWritten.Brushes;
    }
    E.Brushes.Clear();
}

void TMapStream::Finish(TEntity &E, TLineWriter &Out, const TProcess &Process, TOpenBlock &Block)
{
    bool Unused = false;
    if (!FFailure && !FBroken && Call(Process, E, true, Unused)) {
        Release(E, Out, Block);
        // A brush entity whose brushes all went is left out, as the writer of
        // whole maps leaves it out.
        const bool Emptied = !E.WorldSpawn() && Block.HadBrushes && !Block.HeadWritten;
        if (!FBroken && E.IsStored() && !Emptied) {
            if (!Block.HeadWritten) {
                WriteEntityNumber(Out, FWritten.Entities++);
                WriteEntityHead(Out, E);
            }
            Out.Add("}");
        }
    }
    Block = TOpenBlock();
}

void ScanProperties(
    const std::string &FileName, const std::function<void(const TEntity &)> &Visit, std::size_t PieceBytes)
{
    TTextFileReader Reader(FileName);
    TBlockLevel Level = TBlockLevel::Outside;
    TEntity Open;
    std::string Text;
    TLineList Lines;
    bool Last = false;
    while (!Last) {
        Last = !Reader.ReadPiece(Text, std::max<std::size_t>(PieceBytes, 1));
        const std::size_t Whole = Last ? Text.size() : WholeLinesEnd(Text);
        SplitLines(std::string_view(Text).substr(0, Whole), Lines);
        for (const std::string_view Raw : Lines) {
            const std::string_view Line = Trim(Raw);
            const TBlockLevel Before = std::exchange(Level, NextLevel(Level, Line));
            if (Before == TBlockLevel::Outside && Level == TBlockLevel::Entity) {
                // Emptied, not made anew: its room serves the next entity.
                Open.Props.clear();
                Open.Values.clear();
                Open.SetWorldSpawn(false);
            } else if (Before == TBlockLevel::Entity && Level == TBlockLevel::Outside) {
                Visit(Open);
            } else if (Before == TBlockLevel::Entity && Level == TBlockLevel::Entity && !Line.empty() &&
                       !Line.starts_with("//")) {
                Open.LoadPropertyLine(Line);
            }
        }
        Text.erase(0, Whole);
    }
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
