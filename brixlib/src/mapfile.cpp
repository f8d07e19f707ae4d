// Map files: loading and writing whole maps, the overwrite question, and the
// lookups of entities and files.
#include <charconv>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "brixlib/mapfile.h"

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

void LoadLines(TMapFile &Map, const TLineList &Lines, std::string &Error)
{
    std::size_t Index = 0;
    while (Index < Lines.size()) {
        const std::string_view Line = Trim(Lines[Index]);
        ++Index;
        if (Line != "{") {
            continue;
        }
        // The entity joins the map before its block is read, so a partly read
        // entity stays when the block is malformed.
        const std::size_t Pos = Map.Add(std::make_unique<TEntity>());
        std::string EntError;
        Map[Pos].LoadFromList(Lines, Index, EntError);
        if (!EntError.empty()) {
            Error = std::move(EntError);
            return;
        }
    }
}

} // namespace

std::size_t TMapFile::Add(std::unique_ptr<TEntity> Entity)
{
    FItems.push_back(std::move(Entity));
    return FItems.size() - 1;
}

void TMapFile::LoadFromFile(const std::string &AFileName, std::string &Error)
{
    Clear();
    const std::string Text = ReadTextFile(AFileName);
    const TLineList Lines = SplitLines(Text);
    LoadLines(*this, Lines, Error);
}

void TMapFile::LoadFromText(std::string_view Text, std::string &Error)
{
    Clear();
    const std::string Decoded = DecodeText(std::string(Text));
    const TLineList Lines = SplitLines(Decoded);
    LoadLines(*this, Lines, Error);
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
    TLineWriter Writer;
    SaveToList(Writer);
    WriteFileAtomic(AFileName, Writer.Text());
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
    Out << FmtMsg(msgSaved, {FFileName}) << '\n';
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
    for (const auto &Item : FItems) {
        if (Item->Indexed() && IdView(*Item) == AID) {
            return Item.get();
        }
    }
    return nullptr;
}

TEntity *TMapFile::FindAnalog(const TEntity &Ent)
{
    if (Ent.Indexed()) {
        const std::string_view ID = IdView(Ent);
        for (const auto &Item : FItems) {
            if (IdView(*Item) == ID) {
                return Item.get();
            }
        }
        return nullptr;
    }
    const std::string &ClassName = Ent.PropValue("classname");
    const std::string &SpawnFlags = Ent.PropValue("spawnflags");
    const std::string &Origin = Ent.PropValue("origin");
    for (const auto &Item : FItems) {
        if (Item->PropValue("classname") != ClassName || Item->PropValue("spawnflags") != SpawnFlags) {
            continue;
        }
        if (!Item->Brushes.Empty() || Item->PropValue("origin") == Origin) {
            return Item.get();
        }
    }
    return nullptr;
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
