// Files: reading whole text files (byte-order marks, line ends), reading
// them in pieces, and writing them safely through a temporary file and a
// rename (the writer itself is the platform's: platform_*.cpp).
#include "brixlib/files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "brixlib/messages.h"
#include "brixlib/text.h"
#include "platform.h"

namespace brix
{

namespace
{

[[noreturn]] void RaiseFileError(const char *What, const std::string &FileName, int Err)
{
    RaiseError(std::string(What) + " \"" + FileName + "\". " + platform::ErrorText(Err));
}

// The text ends at its first NUL. Text after it would be dropped without a
// word, and a map written back would lose it: a file that goes on after its
// NUL with anything but blanks and further NULs is refused. Returns the NUL's
// offset in the file's bytes, or npos when the file is text.
std::size_t NulBeforeText(std::string_view Bytes)
{
    const auto U = [&](std::size_t I) { return static_cast<unsigned>(static_cast<unsigned char>(Bytes[I])); };
    if (Bytes.size() >= 2 && ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF))) {
        const bool BigEndian = U(0) == 0xFE;
        std::size_t Nul = std::string_view::npos;
        for (std::size_t I = 2; I + 1 < Bytes.size(); I += 2) {
            const unsigned Unit = BigEndian ? (U(I) << 8 | U(I + 1)) : (U(I + 1) << 8 | U(I));
            if (Nul == std::string_view::npos) {
                if (Unit == 0) {
                    Nul = I;
                }
            } else if (Unit > 32) {
                return Nul;
            }
        }
        return std::string_view::npos;
    }
    const std::size_t Nul = Bytes.find('\0');
    if (Nul == std::string_view::npos) {
        return Nul;
    }
    for (std::size_t I = Nul + 1; I < Bytes.size(); ++I) {
        if (U(I) > 32) {
            return Nul;
        }
    }
    return std::string_view::npos;
}

[[noreturn]] void RaiseNotText(const std::string &FileName, std::size_t Offset)
{
    char Digits[24];
    const auto Res = std::to_chars(Digits, Digits + sizeof Digits, Offset);
    RaiseError("Cannot open file \"" + FileName + "\". Not a text file: NUL character at offset " +
               std::string(Digits, Res.ptr));
}

} // namespace
// ---------------------------------------------------------------------------
// Files

std::string ReadFileBytes(const std::string &FileName)
{
    std::FILE *F = std::fopen(FileName.c_str(), "rb");
    if (!F) {
        RaiseFileError("Cannot open file", FileName, errno);
    }
    std::string Data;
    std::error_code Ec;
    const auto Size = std::filesystem::file_size(FileName, Ec);
    if (!Ec && Size > 0) {
        Data.reserve(static_cast<std::size_t>(Size));
    }
    char Buf[1 << 16];
    for (;;) {
        const std::size_t Got = std::fread(Buf, 1, sizeof Buf, F);
        Data.append(Buf, Got);
        if (Got < sizeof Buf) {
            if (std::ferror(F)) {
                const int Err = errno;
                std::fclose(F);
                RaiseFileError("Cannot open file", FileName, Err);
            }
            break;
        }
    }
    std::fclose(F);
    return Data;
}

std::string DecodeText(std::string Bytes)
{
    const auto U = [&](std::size_t I) { return static_cast<unsigned>(static_cast<unsigned char>(Bytes[I])); };
    if (Bytes.size() >= 3 && U(0) == 0xEF && U(1) == 0xBB && U(2) == 0xBF) {
        Bytes.erase(0, 3);
        Bytes = platform::FromUtf8(std::move(Bytes));
    } else if (Bytes.size() >= 2 && ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF))) {
        const bool BigEndian = U(0) == 0xFE;
        std::string Out;
        Out.reserve(Bytes.size());
        for (std::size_t I = 2; I + 1 < Bytes.size(); I += 2) {
            const auto Unit = [&](std::size_t K) -> char32_t {
                return BigEndian ? (U(K) << 8 | U(K + 1)) : (U(K + 1) << 8 | U(K));
            };
            char32_t Cp = Unit(I);
            if (Cp >= 0xD800 && Cp <= 0xDBFF && I + 3 < Bytes.size()) {
                const char32_t Low = Unit(I + 2);
                if (Low >= 0xDC00 && Low <= 0xDFFF) {
                    Cp = 0x10000 + ((Cp - 0xD800) << 10) + (Low - 0xDC00);
                    I += 2;
                }
            }
            if (Cp >= 0xD800 && Cp <= 0xDFFF) {
                Cp = 0xFFFD; // a lone surrogate cannot be written as UTF-8
            }
            AppendUtf8(Out, Cp);
        }
        Out = platform::FromUtf8(std::move(Out));
        Bytes.swap(Out);
    }
    const std::size_t Nul = Bytes.find('\0');
    if (Nul != std::string::npos) {
        Bytes.resize(Nul);
    }
    return Bytes;
}

void SplitLines(std::string_view Text, TLineList &Lines)
{
    Lines.clear();
    const char *P = Text.data();
    const char *const End = P + Text.size();
    const auto Find = [End](const char *From, char C) {
        const auto *Hit = static_cast<const char *>(std::memchr(From, C, static_cast<std::size_t>(End - From)));
        return Hit ? Hit : End;
    };
    // The next LF and the next CR are each searched from where the last one
    // was found, never again from every line: a text of lone CRs (or of lone
    // LFs) is still scanned once.
    const char *NextLf = Find(P, '\n');
    const char *NextCr = Find(P, '\r');
    while (P < End) {
        if (NextLf < P) {
            NextLf = Find(P, '\n');
        }
        if (NextCr < P) {
            NextCr = Find(P, '\r');
        }
        const char *Stop = NextLf < NextCr ? NextLf : NextCr;
        Lines.emplace_back(P, static_cast<std::size_t>(Stop - P));
        if (Stop == End) {
            break;
        }
        // CR LF ends one line; a lone CR or a lone LF ends one too.
        P = (*Stop == '\r' && Stop + 1 < End && Stop[1] == '\n') ? Stop + 2 : Stop + 1;
    }
}

TLineList SplitLines(std::string_view Text)
{
    TLineList Lines;
    Lines.reserve(Text.size() / 32 + 1);
    SplitLines(Text, Lines);
    return Lines;
}

std::string ReadTextFile(const std::string &FileName)
{
    std::string Bytes = ReadFileBytes(FileName);
    const std::size_t Nul = NulBeforeText(Bytes);
    if (Nul != std::string_view::npos) {
        RaiseNotText(FileName, Nul);
    }
    return DecodeText(std::move(Bytes));
}

TTextFileReader::TTextFileReader(const std::string &FileName) : FFileName(FileName)
{
    FFile = std::fopen(FileName.c_str(), "rb");
    if (!FFile) {
        RaiseFileError("Cannot open file", FileName, errno);
    }
    std::error_code Ec;
    const auto Size = std::filesystem::file_size(FileName, Ec);
    FLeft = Ec ? static_cast<std::uintmax_t>(-1) : Size;
}

TTextFileReader::~TTextFileReader()
{
    std::fclose(FFile);
}

void TTextFileReader::ReadChunk(std::string &Into)
{
    char Buf[1 << 16];
    const std::size_t More = std::fread(Buf, 1, sizeof Buf, FFile);
    Into.append(Buf, More);
    if (More < sizeof Buf) {
        if (std::ferror(FFile)) {
            RaiseFileError("Cannot open file", FFileName, errno);
        }
        FEnded = true;
    }
}

bool TTextFileReader::ReadPiece(std::string &Text, std::size_t MaxBytes)
{
    if (FEnded) {
        return false;
    }
    const std::size_t Old = Text.size();
    // No more room than the rest of the file needs: a small file must not
    // cost a whole piece of memory.
    std::size_t Room = std::max<std::size_t>(MaxBytes, 4);
    if (FLeft < Room) {
        Room = std::min<std::size_t>(Room, std::max<std::size_t>(static_cast<std::size_t>(FLeft) + 1, 1 << 16));
    }
    Text.resize(Old + Room);
    const std::size_t Got = std::fread(Text.data() + Old, 1, Room, FFile);
    FLeft = Got < FLeft ? FLeft - Got : 0;
    Text.resize(Old + Got);
    if (Got == 0 || std::feof(FFile) || std::ferror(FFile)) {
        if (std::ferror(FFile)) {
            RaiseFileError("Cannot open file", FFileName, errno);
        }
        FEnded = true;
    }
    const bool First = !FStarted;
    FStarted = true;
    const auto U = [&](std::size_t I) { return static_cast<unsigned char>(Text[Old + I]); };
    if (First && Got >= 2 &&
        ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF) ||
            (Got >= 3 && U(0) == 0xEF && U(1) == 0xBB && U(2) == 0xBF))) {
        // A marked text is decoded whole, as ReadTextFile does.
        std::string Bytes = Text.substr(Old);
        while (!FEnded) {
            ReadChunk(Bytes);
        }
        const std::size_t BadNul = NulBeforeText(Bytes);
        if (BadNul != std::string_view::npos) {
            RaiseNotText(FFileName, BadNul);
        }
        Text.resize(Old);
        Text += DecodeText(std::move(Bytes));
        return true;
    }
    const std::size_t Nul = Text.find('\0', Old);
    if (Nul != std::string::npos) {
        // The text ends at its first NUL, but only blanks may follow it.
        const long Position = std::ftell(FFile);
        const std::size_t NulOffset = Position < 0 ? Nul - Old : static_cast<std::size_t>(Position) - Got + (Nul - Old);
        std::string Rest = Text.substr(Nul);
        while (!FEnded) {
            ReadChunk(Rest);
            if (NulBeforeText(Rest) != std::string_view::npos) {
                break;
            }
            Rest.resize(1);
        }
        if (NulBeforeText(Rest) != std::string_view::npos) {
            RaiseNotText(FFileName, NulOffset);
        }
        Text.resize(Nul);
        FEnded = true;
    }
    return Text.size() > Old || !FEnded;
}

void WriteFileAtomic(const std::string &FileName, std::string_view Data)
{
    TAtomicFileWriter Writer(FileName);
    Writer.Write(Data);
    Writer.Commit();
}

} // namespace brix
