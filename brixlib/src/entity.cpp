// Entities: reading and writing an entity block, property access, identifiers
// of a single entity and its bounds.
#include <charconv>
#include <string>
#include <string_view>

#include "blockwriter.h"
#include "brixlib/entitykeys.h"
#include "brixlib/mapfile.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

namespace brix
{

namespace
{

const std::string EmptyValue;

void AppendNumber(std::string &Out, std::size_t N)
{
    char Buf[24];
    auto Res = std::to_chars(Buf, Buf + sizeof(Buf), N);
    Out.append(Buf, Res.ptr);
}

/// Splits a trimmed property line into key and value; false when the line is
/// not a key and a value, each in double quotes, with nothing after the value.
bool SplitPropertyLine(std::string_view Line, std::string_view &Key, std::string_view &Value)
{
    if (Line.empty() || Line.front() != '"') {
        return false;
    }
    std::string_view Rest = Line.substr(1);
    const std::size_t KeyEnd = Rest.find('"');
    if (KeyEnd == std::string_view::npos) {
        return false;
    }
    Key = Rest.substr(0, KeyEnd);
    Rest = Trim(Rest.substr(KeyEnd + 1));
    if (Rest.empty() || Rest.front() != '"') {
        return false;
    }
    Rest.remove_prefix(1);
    // The value runs to the line's last quote, so a value may hold quotes itself.
    if (Rest.empty() || Rest.back() != '"') {
        return false;
    }
    Value = Rest.substr(0, Rest.size() - 1);
    return true;
}

} // namespace

TReadResult TEntity::LoadFromList(const TLineList &List, std::size_t &Index, std::string &Error)
{
    // The brushes read in this call share their face room.
    TFacePool Pool;
    while (true) {
        if (Index >= List.size()) {
            Error = GetMsg(TMsgId::msgUnexpectedEndOfFile);
            return TReadResult::rrEndOfLines;
        }
        const std::string_view Line = Trim(List[Index]);
        ++Index;
        if (Line.empty() || Line.starts_with("//")) {
            continue;
        }
        if (Line == "{") {
            // The brush joins the entity before it is read, so a partly read
            // brush stays with the entity when its block is malformed.
            const TReadResult Result = Brushes.Add(TBrush()).LoadFromList(List, Index, Error, &Pool);
            if (Result != TReadResult::rrDone) {
                return Result;
            }
            continue;
        }
        if (Line == "}") {
            return TReadResult::rrDone;
        }
        if (!LoadPropertyLine(Line)) {
            --Index; // left at the line that holds the fault
            Error = ExpectedMsg("\"");
            return TReadResult::rrMalformed;
        }
    }
}

bool TEntity::LoadPropertyLine(std::string_view Line)
{
    std::string_view Key, Value;
    if (!SplitPropertyLine(Line, Key, Value)) {
        return false;
    }
    if (Key == KeyClassName) {
        FWorldSpawn = Value == ClassWorldSpawn;
    }
    if (Props.empty()) {
        // Most entities have three or four properties: the room they end
        // with anyway, in one step instead of three.
        Props.reserve(4);
        Values.reserve(4);
    }
    Props.emplace_back(Key);
    Values.emplace_back(Value);
    return true;
}

void WriteEntityNumber(TLineWriter &List, std::size_t N)
{
    std::string &Buf = List.Buffer();
    Buf += "// entity ";
    AppendNumber(Buf, N);
    List.EndLine();
}

void WriteEntityHead(TLineWriter &List, const TEntity &E)
{
    List.Add("{");
    std::string &Buf = List.Buffer();
    for (std::size_t I = 0; I < E.Props.size(); ++I) {
        Buf += '"';
        Buf += E.Props[I];
        Buf += "\" \"";
        Buf += E.Values[I];
        Buf += '"';
        List.EndLine();
    }
}

void WriteNumberedBrush(TLineWriter &List, const TBrush &Brush, std::size_t N)
{
    std::string &Buf = List.Buffer();
    Buf += "// brush ";
    AppendNumber(Buf, N);
    List.EndLine();
    Brush.SaveToList(List);
}

void TEntity::SaveToList(TLineWriter &List) const
{
    WriteEntityHead(List, *this);
    std::size_t N = 0;
    for (const TBrush &Brush : Brushes) {
        if (Brush.IsStored()) {
            WriteNumberedBrush(List, Brush, N++);
        }
    }
    List.Add("}");
}

std::ptrdiff_t TEntity::PropIndex(std::string_view AProp) const
{
    for (std::size_t I = 0; I < Props.size(); ++I) {
        if (Props[I] == AProp) {
            return static_cast<std::ptrdiff_t>(I);
        }
    }
    return -1;
}

const std::string &TEntity::PropValue(std::string_view Key) const
{
    const std::ptrdiff_t I = PropIndex(Key);
    return I < 0 ? EmptyValue : Values[static_cast<std::size_t>(I)];
}

void TEntity::SetPropValue(std::string_view Key, std::string_view Value)
{
    const std::ptrdiff_t I = PropIndex(Key);
    if (I >= 0) {
        Values[static_cast<std::size_t>(I)] = Value;
        return;
    }
    Props.emplace_back(Key);
    Values.emplace_back(Value);
}

bool TEntity::RemoveID()
{
    const std::ptrdiff_t I = PropIndex(KeyId);
    if (I < 0) {
        return false;
    }
    Props.erase(Props.begin() + I);
    Values.erase(Values.begin() + I);
    return true;
}

void TEntity::CalcMinMax()
{
    T3DPoint &Min = Bounds.Min, &Max = Bounds.Max;
    if (!Brushes.Empty()) {
        bool First = true;
        for (TBrush &Brush : Brushes) {
            Brush.CalcMinMax();
            if (First) {
                Min = Brush.Bounds.Min;
                Max = Brush.Bounds.Max;
                First = false;
                continue;
            }
            for (std::size_t C = 0; C < 3; ++C) {
                if (Brush.Bounds.Min.coords(C) < Min.coords(C)) {
                    Min.coords(C) = Brush.Bounds.Min.coords(C);
                }
                if (Brush.Bounds.Max.coords(C) > Max.coords(C)) {
                    Max.coords(C) = Brush.Bounds.Max.coords(C);
                }
            }
        }
    } else {
        const std::string &Origin = PropValue(KeyOrigin);
        if (Origin.empty()) {
            RaiseError(FmtMsg(TMsgId::msgEntityArrangementError, {PropValue(KeyClassName)}));
        }
        T3DPoint P;
        if (!ParsePoint(Origin, P.x, P.y, P.z)) {
            RaiseError(FmtMsg(TMsgId::msgPointFormatError, {Origin}));
        }
        Min = P;
        Max = P;
    }
    for (std::size_t C = 0; C < 3; ++C) {
        Bounds.Center.coords(C) = (Min.coords(C) + Max.coords(C)) / 2;
    }
}

std::string_view TEntity::IDView() const
{
    return FWorldSpawn ? ClassWorldSpawn : std::string_view(PropValue(KeyId));
}

void TEntity::SetID(std::string_view Value)
{
    if (!FWorldSpawn) {
        SetPropValue(KeyId, Value);
    }
}

bool TEntity::Indexed() const
{
    return FWorldSpawn || !PropValue(KeyId).empty();
}

} // namespace brix
