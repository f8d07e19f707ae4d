// Maps are read and written a piece at a time; whatever the pieces, the result
// is the one of reading and writing the whole text at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brixlib/mapfile.h"
#include "written.h"

using namespace brix;
namespace fs = std::filesystem;

namespace
{

std::string ReadAll(const fs::path &P)
{
    std::ifstream F(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path &P, const std::string &Data)
{
    std::ofstream(P, std::ios::binary) << Data;
}

fs::path TempDir(const char *Name)
{
    fs::path Dir = fs::temp_directory_path() / (std::string("brix_pieces_") + Name);
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    return Dir;
}

const std::string Face = "( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) WALL 0 0 0 1 1";
const std::string Primitive = "( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) ( ( 1 0 0 ) ( 0 1 0 ) ) WALL 0 0 0";
const std::string Patch = "{\npatchDef2\n{\nT\n( 2 1 0 0 0 )\n(\n( ( 0 0 0 0 0 ) )\n( ( 1 0 0 1 0 ) )\n)\n}\n}\n";

/// A worldspawn of N brushes, each of Faces faces, with the given line end.
std::string World(int N, int Faces, const std::string &End)
{
    std::string S = "{" + End + "\"classname\" \"worldspawn\"" + End;
    for (int B = 0; B < N; ++B) {
        S += "{" + End;
        for (int F = 0; F < Faces; ++F) {
            S += "( " + std::to_string(B) + " 0 0 ) ( 0 64 0 ) ( 64 0 " + std::to_string(F) + " ) T 0 0 0 1 1" + End;
        }
        S += "}" + End;
    }
    return S + "}" + End;
}

/// Changes for the stream, each looking at one entity as TMapStream asks.
struct TStreamChange
{
    const char *Name;
    TMapStream::TProcess Process;
};

const TStreamChange StreamChanges[] = {{"none", [](TEntity &, bool) { return true; }},
    // Brushes go by their own faces, entities by a key; the entities left
    // without brushes are not written.
    {"brushes and entities removed",
        [](TEntity &E, bool) {
            for (TBrush &B : E.Brushes) {
                B.SetIsStored(B.Count() == 0 || static_cast<long>(B.Sides(0).p1.x) % 2 == 0);
            }
            E.SetIsStored(!E.PropExists("c"));
            return true;
        }},
    // An entity decided whole waits for its last brush.
    {"entities other than the world decided whole", [](TEntity &E, bool Whole) {
         if (!Whole && !E.WorldSpawn()) {
             return false;
         }
         E.SetIsStored(E.WorldSpawn() || E.Brushes.Count() < 2);
         return true;
     }}};

/// What the stream writes of the file, or why it did not.
std::string Streamed(
    const fs::path &Name, std::size_t Piece, const TStreamChange &Change, std::string &Error, std::size_t &ErrorLine)
{
    TLineWriter W;
    TMapStream Stream;
    if (!Stream.Run(Name.string(), W, Change.Process, Error, Piece)) {
        return "(read whole)";
    }
    ErrorLine = Stream.ErrorLine();
    return W.Text();
}

/// An entity's properties, and whether it is the worldspawn.
std::string PropertiesOf(const TEntity &E)
{
    std::string S = E.WorldSpawn() ? "world" : "";
    for (std::size_t I = 0; I < E.Props.size(); ++I) {
        S.append(" ").append(std::string_view(E.Props[I])).append("=").append(E.Values[I]);
    }
    return S;
}

/// What a scan of the properties gives, entity by entity.
std::vector<std::string> Properties(const fs::path &Name, std::size_t Piece)
{
    std::vector<std::string> Seen;
    ScanProperties(
        Name.string(), [&Seen](const TEntity &E) { Seen.push_back(PropertiesOf(E)); }, Piece);
    return Seen;
}

/// What the map read whole holds.
std::vector<std::string> Properties(const TMapFile &Map)
{
    std::vector<std::string> Held;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        Held.push_back(PropertiesOf(Map[I]));
    }
    return Held;
}

/// The same change made to the map read whole.
std::string ChangedWhole(const std::string &Text, const TStreamChange &Change)
{
    TMapFile Map;
    std::string Error;
    Map.LoadFromText(Text, Error);
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        Change.Process(Map[I], true);
    }
    return Written(Map);
}

} // namespace

TEST(TMapFile, LoadingInPiecesReadsAsAWhole)
{
    struct Case
    {
        const char *Name;
        std::string Text;
    };
    const Case Cases[] = {
        {"empty", ""},
        {"comments only", "// a\n\n// b"},
        {"LF", World(5, 3, "\n")},
        {"CR LF", World(5, 3, "\r\n")},
        {"lone CR", World(5, 3, "\r")},
        {"blank lines of every kind", "{\r\r\n\n\"a\" \"b\"\r\n\r{\n\r" + Face + "\r\n}\r\r}\r"},
        {"a brush longer than any piece", World(2, 40, "\n")},
        {"no line end at the end", "{\n\"a\" \"1\"\n}"},
        {"text between entities", "junk\n}\n{\n}\nmore junk\n{\n\"k\" \"v\"\n}\n"},
        {"comments inside brushes do not close them", "{\n{\n// }\n" + Face + "\n}trailing\n}\n"},
        {"a brace with text is a property line", "{\n{ x\n}\n"},
        {"a closing line with blanks", "{\n\"a\" \"1\"\n  }  \n{\n}\n"},
        {"UTF-8 mark", "\xEF\xBB\xBF" + World(2, 2, "\r\n")},
        {"end of file inside a brush", "{\n{\n" + Face + "\n"},
        {"end of file inside an entity", "{\n\"a\" \"1\"\n{\n" + Face + "\n}\n"},
        {"a bad face after some brushes", World(3, 2, "\n") + "{\n{\n( 0 0 0 ) ( 1 1 1 )\n}\n}\n"},
        {"a bad property after brushes", "{\n{\n" + Face + "\n}\n\"a\"\n}\n"},
        {"a line that is no face", "{\n{\nABC\n}\n}\n"},
        // The place of a fault counts every line end once, wherever a piece
        // cuts a CR LF.
        {"a bad face after CR LF lines",
            "{\r\n\"a\" \"b\"\r\n}\r\n{\r\n\"c\" \"d\"\r\n}\r\n{\r\n{\r\n( 0 0 0 )\r\n}\r\n}\r\n"},
        {"a bad property after lone CRs", World(3, 2, "\r") + "{\r\"a\"\r}\r"},
        {"end of file after CR LF lines", World(2, 2, "\r\n") + "{\r\n\r\n\r\n"},
        // Blocks of two levels of braces are never cut either.
        {"brush primitives and patches", "{\n{\nbrushDef\n{\n" + Primitive + "\n// }\n" + Primitive + "\n}\n}\n" +
                                             Patch + "{\n\n" + Face + "\n}\n}\n"},
        {"a bad patch after brush primitives", "{\n{\nbrushDef\n{\n" + Primitive + "\n}\n}\n" + Patch +
                                                   Patch.substr(0, Patch.size() - 4) + "( ( 0 0 0 0 0 ) )\n}\n}\n"},
        {"a brushDef cut short", "{\n{\nbrushDef\n{\n" + Primitive + "\n}\n"},
        {"entities with and without brushes", "// head\n" + World(4, 2, "\n") + "{\n\"c\" \"1\"\n}\n{\n\"k\" \"v\"\n" +
                                                  Patch + "{\n" + Face + "\n}\n}\n"},
        // Read piece by piece, the property comes after its brushes were passed on.
        {"a property after brushes",
            "{\n\"classname\" \"worldspawn\"\n{\n" + Face + "\n}\n{\n" + Face + "\n}\n\"c\" \"1\"\n}\n"},
    };
    const fs::path Dir = TempDir("load");
    const fs::path Name = Dir / "t.map";
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        WriteAll(Name, C.Text);
        TMapFile Whole;
        std::string WholeError;
        Whole.LoadFromText(C.Text, WholeError);
        for (const std::size_t Piece : std::initializer_list<std::size_t>{1, 2, 3, 5, 17, 4096}) {
            SCOPED_TRACE(Piece);
            TMapFile InPieces;
            std::string Error;
            InPieces.LoadFromFile(Name.string(), Error, Piece);
            EXPECT_EQ(Error, WholeError);
            EXPECT_EQ(InPieces.ErrorLine(), Whole.ErrorLine());
            EXPECT_EQ(InPieces.Count(), Whole.Count());
            EXPECT_EQ(Written(InPieces), Written(Whole));
            if (WholeError.empty()) {
                EXPECT_EQ(Properties(Name, Piece), Properties(Whole));
            }
            // Written as read, whatever the change, when the text allows it.
            for (const TStreamChange &Change : StreamChanges) {
                SCOPED_TRACE(Change.Name);
                std::string StreamError;
                std::size_t StreamLine = 0;
                const std::string Text = Streamed(Name, Piece, Change, StreamError, StreamLine);
                EXPECT_EQ(StreamError, WholeError);
                if (!WholeError.empty()) {
                    EXPECT_EQ(StreamLine, Whole.ErrorLine());
                    continue;
                }
                const bool LateProperty = std::string_view(C.Name) == "a property after brushes";
                if (LateProperty && Piece < C.Text.size()) {
                    EXPECT_EQ(Text, "(read whole)");
                } else {
                    EXPECT_EQ(Text, ChangedWhole(C.Text, Change));
                }
            }
        }
    }
    fs::remove_all(Dir);
}

TEST(TMapFile, LoadingTheCorpusInPiecesReadsAsAWhole)
{
    const fs::path Corpus = BRIX_CORPUS_DIR;
    if (!fs::is_directory(Corpus)) {
        GTEST_SKIP() << "no map corpus at " << Corpus.string();
    }
    for (const fs::directory_entry &Item : fs::directory_iterator(Corpus)) {
        if (Item.path().extension() != ".map") {
            continue;
        }
        SCOPED_TRACE(Item.path().filename().string());
        TMapFile Whole;
        std::string WholeError;
        Whole.LoadFromText(ReadAll(Item.path()), WholeError);
        TMapFile InPieces;
        std::string Error;
        InPieces.LoadFromFile(Item.path().string(), Error, 1000);
        EXPECT_EQ(Error, WholeError);
        EXPECT_TRUE(Written(InPieces) == Written(Whole));
        for (const TStreamChange &Change : StreamChanges) {
            SCOPED_TRACE(Change.Name);
            std::size_t Line = 0;
            EXPECT_TRUE(Streamed(Item.path(), 1000, Change, Error, Line) == ChangedWhole(ReadAll(Item.path()), Change));
        }
    }
}

TEST(TMapFile, SavingInPiecesWritesTheWholeText)
{
    // Large enough for several pieces of the file writer.
    TMapFile Map;
    std::string Error;
    Map.LoadFromText(World(12000, 6, "\n"), Error);
    ASSERT_EQ(Error, "");
    const std::string Text = Written(Map);
    ASSERT_GT(Text.size(), std::size_t(3) << 20);
    const fs::path Dir = TempDir("save");
    Map.SaveToFile((Dir / "out.map").string());
    EXPECT_TRUE(ReadAll(Dir / "out.map") == Text);
    std::vector<std::string> Left;
    for (const auto &E : fs::directory_iterator(Dir)) {
        Left.push_back(E.path().filename().string());
    }
    EXPECT_EQ(Left, std::vector<std::string>{"out.map"}); // no temporary file behind
    fs::remove_all(Dir);
}

TEST(TLineWriter, SinkGetsWholeLinesInOrder)
{
    struct Case
    {
        const char *Name;
        std::size_t PieceBytes;
        std::size_t Pieces; ///< handed to the sink, the final Flush included
    };
    const Case Cases[] = {
        {"a piece per line", 1, 4},
        {"two lines a piece", 14, 2},
        {"one piece at the end", 1000, 1},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        std::vector<std::string> Got;
        TLineWriter W;
        W.SetSink([&Got](std::string_view Piece) { Got.emplace_back(Piece); }, C.PieceBytes);
        W.Add("{");
        W.Buffer() += "\"key\" \"v\"";
        W.EndLine();
        W.Add("");
        W.Add("}");
        W.Flush();
        W.Flush(); // nothing waits: nothing more is handed over
        EXPECT_EQ(Got.size(), C.Pieces);
        std::string All;
        for (const std::string &P : Got) {
            EXPECT_TRUE(P.size() >= 2 && P.compare(P.size() - 2, 2, "\r\n") == 0) << P;
            All += P;
        }
        EXPECT_EQ(All, "{\r\n\"key\" \"v\"\r\n\r\n}\r\n");
        EXPECT_EQ(W.Text(), "");
    }
}
