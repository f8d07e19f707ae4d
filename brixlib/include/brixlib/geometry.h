// Brush geometry: points and their text form, face planes, face lines, brush
// blocks, bounds and comparison of brushes, and the wildcard masks that test
// texture names (and, through the rules and areas, class names and ids).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "brixlib/files.h"
#include "brixlib/messages.h"
#include "brixlib/text.h"

namespace brix
{

/// Three Doubles; coords(0..2) reaches x, y, z by index.
struct T3DPoint
{
    double x = 0, y = 0, z = 0;
    double &coords(std::size_t I) { return I == 0 ? x : (I == 1 ? y : z); }
    double coords(std::size_t I) const { return I == 0 ? x : (I == 1 ? y : z); }
};

/// The bounds of a brush or an entity, filled by CalcMinMax. They describe
/// the faces they were computed from, so they are never copied: a copy, or
/// an object assigned from another, starts with empty (zero) bounds.
struct TBounds
{
    T3DPoint Min, Max, Center;

    TBounds() = default;
    TBounds(const TBounds &) noexcept {}
    TBounds &operator=(const TBounds &) noexcept
    {
        Min = Max = Center = T3DPoint();
        return *this;
    }
    TBounds(TBounds &&) noexcept = default;
    TBounds &operator=(TBounds &&) noexcept = default;
    ~TBounds() = default;
};

/// How a block reader ended: the block was read whole, the lines ran out
/// before its end ("Unexpected end of file"), or the text is malformed.
enum class TReadResult
{
    rrDone,
    rrEndOfLines,
    rrMalformed,
};

/// "( x y z )" with each coordinate in the 15-digit number format.
std::string PointToStr(const T3DPoint &P);
void AppendPoint(std::string &Out, const T3DPoint &P);

/// Reads one "( x y z )" from the front of Rest and leaves Rest after the ")"
/// (trimmed). On failure returns false with Error set to "'(' expected",
/// "Format error" or the number-conversion text.
bool ReadPoint(std::string_view &Rest, T3DPoint &P, std::string &Error);

/// Exact equality of the three coordinates.
bool PointsEqual(const T3DPoint &P1, const T3DPoint &P2);

// ---------------------------------------------------------------------------

/// A face's plane: a point is inside (or on) it where A x + B y + C z + D >= 0.
struct TPlane
{
    double A = 0, B = 0, C = 0, D = 0;

    double PointValues(double x, double y, double z) const { return A * x + B * y + C * z + D; }
    /// Whether the two normals have the same direction or opposite ones
    /// (every pair of components in one exact ratio).
    bool Parallel(const TPlane &Other) const;
};

/// The one point common to three planes; false when there is none.
bool IntersectPlanes(const TPlane &S1, const TPlane &S2, const TPlane &S3, double &x, double &y, double &z);

/// One face of a brush: three points, the texture name and its parameters.
/// Its plane is computed when asked for, not kept: a map holds many faces.
class TBrushSide
{
public:
    T3DPoint p1, p2, p3;
    TPooledText texture;
    TPooledText params; ///< the rest of the line after the texture, kept verbatim

    /// Reads a face line. Never throws; on failure returns false with Error
    /// set to the text.
    bool Load(std::string_view S, std::string &Error);
    /// Reads a brush-primitive face line: the three points, the texture
    /// matrix (into Matrix), the texture and the surface numbers (kept as text, one space
    /// between them). Errors as Load, and "'(' expected" or "')' expected"
    /// for a malformed matrix.
    bool LoadPrimitive(std::string_view S, std::array<double, 6> &Matrix, std::string &Error);
    /// Appends the face line.
    void Save(TLineWriter &AList) const;
    /// The face line as a string (without line end).
    std::string ToString() const;
    /// Same three points in order, and the same texture when cmpTexture.
    bool cmp(const TBrushSide &Other, bool cmpTexture) const;
    void Assign(const TBrushSide &Source) { *this = Source; }
    std::unique_ptr<TBrushSide> Duplicate() const { return std::make_unique<TBrushSide>(*this); }

    /// The plane through the three points; the inner side is where
    /// (p2 - p1) x (p3 - p1) points.
    TPlane Plane() const;
};

// ---------------------------------------------------------------------------

namespace detail
{
struct TFaceArena;
void *ArenaAllocate(TFaceArena *Arena, std::size_t Bytes);
void ArenaDeallocate(TFaceArena *Arena, void *P) noexcept;
void ArenaHold(TFaceArena *Arena) noexcept;
void ArenaDrop(TFaceArena *Arena) noexcept;
} // namespace detail

/// Where a brush keeps its faces: a block of its own (the default, and what
/// every copy gets), or room in the TFacePool of the brushes read with it.
/// Faces in a pool hold it: it lives until the last of its brushes is gone,
/// wherever they were moved meanwhile.
template <class T> class TFaceAllocator
{
public:
    using value_type = T;
    using propagate_on_container_copy_assignment = std::false_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using is_always_equal = std::false_type;

    TFaceAllocator() noexcept = default;
    explicit TFaceAllocator(detail::TFaceArena *Arena) noexcept : FArena(Arena) { detail::ArenaHold(FArena); }
    TFaceAllocator(const TFaceAllocator &Other) noexcept : TFaceAllocator(Other.FArena) {}
    template <class U> explicit TFaceAllocator(const TFaceAllocator<U> &Other) noexcept : TFaceAllocator(Other.Arena())
    {}
    TFaceAllocator &operator=(const TFaceAllocator &Other) noexcept
    {
        if (this != &Other) {
            detail::ArenaHold(Other.FArena);
            detail::ArenaDrop(FArena);
            FArena = Other.FArena;
        }
        return *this;
    }
    ~TFaceAllocator() { detail::ArenaDrop(FArena); }

    T *allocate(std::size_t N) { return static_cast<T *>(detail::ArenaAllocate(FArena, N * sizeof(T))); }
    void deallocate(T *P, std::size_t /*N*/) noexcept { detail::ArenaDeallocate(FArena, P); }
    TFaceAllocator select_on_container_copy_construction() const noexcept { return {}; }

    detail::TFaceArena *Arena() const noexcept { return FArena; }
    friend bool operator==(const TFaceAllocator &A, const TFaceAllocator &B) noexcept { return A.FArena == B.FArena; }

private:
    detail::TFaceArena *FArena = nullptr;
};

/// The faces of a brush, in file order.
using TSideList = std::vector<TBrushSide, TFaceAllocator<TBrushSide>>;

/// Room for the faces of the brushes read together (an entity's), taken in a
/// few large blocks instead of one for each brush. One thread reads with a
/// pool while it lives; afterwards its brushes keep their faces in it, and
/// what they grow goes to blocks of their own.
class TFacePool
{
public:
    TFacePool() = default;
    TFacePool(const TFacePool &) = delete;
    TFacePool &operator=(const TFacePool &) = delete;
    ~TFacePool();
    /// An empty face list that takes its room from the pool.
    TSideList NewSideList();

private:
    detail::TFaceArena *FArena = nullptr; ///< made on first use
};

// ---------------------------------------------------------------------------

/// A wildcard mask: "*" any run, "?" one character, "[...]" a set (ranges
/// "a-z", "!" negates), ASCII letters without regard to case; the whole text
/// must match. The mask is checked when it is first used for a match: an
/// invalid one raises "'%s' is an invalid mask at (%d)".
class TMask
{
public:
    TMask() = default;
    explicit TMask(std::string Mask) : FMask(std::move(Mask)) {}
    const std::string &Text() const { return FMask; }
    /// Raises the invalid-mask error for a malformed mask.
    bool Matches(std::string_view Value) const;
    /// Parses the mask now (raising its error) without matching anything.
    void Validate() const;

    struct TElement; // compiled form, private to the matcher

private:
    void Compile() const;
    std::string FMask;
    mutable std::shared_ptr<const std::vector<TElement>> FElements; // built on first use
};

/// Whether Value matches the wildcard mask Mask (raises on an invalid mask).
bool MatchesMask(std::string_view Value, const std::string &Mask);

// ---------------------------------------------------------------------------

/// How an item of an entity's brush list is written: a brush with plain
/// texture parameters, a brush whose faces carry a texture matrix
/// ("brushDef"), or a curved patch ("patchDef2"), which has no faces.
enum class TBrushKind : std::uint8_t
{
    bkPlain,
    bkPrimitive,
    bkPatch,
};

/// One control point of a patch: its place and its texture coordinates.
struct TPatchPoint
{
    T3DPoint p;
    double u = 0, v = 0;
};

/// A curved patch: its texture, the five numbers of its header (rows, points
/// per row, then three more kept as read) and its grid of control points.
class TPatch
{
public:
    TPooledText texture;
    std::array<double, 5> header{};

    std::size_t Rows() const { return FRows; }
    std::size_t Cols() const { return FCols; }
    /// The control points row by row: Rows() * Cols() of them.
    const std::vector<TPatchPoint> &Points() const { return FPoints; }
    const TPatchPoint &Point(std::size_t Row, std::size_t Col) const { return FPoints[Row * FCols + Col]; }
    /// Replaces the grid; Points holds Rows * Cols points, row by row. The
    /// header is the caller's: the reader checks it against the grid.
    void SetGrid(std::size_t Rows, std::size_t Cols, std::vector<TPatchPoint> Points);

    /// Same header numbers, every control point, and the texture when cmpTexture.
    bool Cmp(const TPatch &Other, bool cmpTexture) const;

private:
    std::size_t FRows = 0, FCols = 0;
    std::vector<TPatchPoint> FPoints;
};

/// A convex solid given by its faces in file order, or a patch (an item of
/// the same list, with no faces and no planes).
class TBrush
{
public:
    TBrush() = default;
    /// Copies the faces, the patch and IsStored (the bounds are never copied).
    TBrush(const TBrush &Source);
    TBrush &operator=(const TBrush &Source);
    TBrush(TBrush &&) noexcept = default;
    TBrush &operator=(TBrush &&) noexcept = default;
    ~TBrush() = default;

    std::size_t Count() const { return FSides.size(); }
    TBrushSide &Sides(std::size_t I) { return FSides[I]; }
    const TBrushSide &Sides(std::size_t I) const { return FSides[I]; }
    TSideList &SideList() { return FSides; }
    const TSideList &SideList() const { return FSides; }

    bool IsStored() const { return FIsStored; }
    void SetIsStored(bool Value) { FIsStored = Value; }

    TBrushKind Kind() const
    {
        return FPatch ? TBrushKind::bkPatch : (FMatrices ? TBrushKind::bkPrimitive : TBrushKind::bkPlain);
    }
    /// The texture matrix "( ( a b c ) ( d e f ) )" of face I of a brush
    /// primitive; zero for a face of a plain brush. The matrices are the
    /// brush's, by face position: a face keeps no room for one.
    const std::array<double, 6> &Matrix(std::size_t I) const;
    /// Sets the matrix of face I; the brush becomes a brush primitive.
    void SetMatrix(std::size_t I, const std::array<double, 6> &Value);
    bool IsPatch() const { return FPatch != nullptr; }
    /// Makes the item a brush of that kind (keeping its faces) or an empty
    /// patch (dropping them).
    void SetKind(TBrushKind Kind);
    /// The patch of a patch item; null for a brush.
    TPatch *Patch() { return FPatch.get(); }
    const TPatch *Patch() const { return FPatch.get(); }

    /// Reads the block after the "{" line up to and past its last "}" line:
    /// the faces of a plain brush, or a "brushDef" or "patchDef2" block.
    /// On a malformed block Index is left at the line that holds the fault.
    /// The faces of an empty brush are taken from Pool when one is given.
    TReadResult LoadFromList(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool = nullptr);
    /// Appends the block: "{", the face lines, "}" for a plain brush, the
    /// "brushDef" or "patchDef2" block otherwise (whatever IsStored says).
    void SaveToList(TLineWriter &AList) const;
    /// Computes the faces' planes once, for brushes that test many points
    /// (an area's brush); Planes() holds them until the next call.
    void PreparePlans();
    const std::vector<TPlane> &Planes() const;
    /// The corners' box of a brush; the control points' box of a patch.
    void CalcMinMax();
    /// Same kind; for brushes the same faces (points, and textures when
    /// cmpTexture), for patches TPatch::Cmp.
    bool Cmp(const TBrush &Other, bool cmpTexture) const;
    /// Some face's texture, or the patch's texture, matches the mask.
    bool IsTextured(const std::string &TextureName) const;
    bool IsTextured(const TMask &Mask) const;
    /// Takes the textures (and their parameters) of Source, an item that
    /// Cmp's this one without textures, and its IsStored.
    void ReplaceTextures(const TBrush &Source);
    void Assign(const TBrush &Source) { *this = Source; }
    std::unique_ptr<TBrush> Duplicate() const { return std::make_unique<TBrush>(*this); }

    TBounds Bounds; ///< filled by CalcMinMax only

private:
    /// The face lines up to and past a "}" line (with their matrices for a
    /// brush primitive).
    TReadResult LoadFaces(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool);
    TReadResult LoadPrimitive(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool);
    TReadResult LoadPatch(const TLineList &AList, std::size_t &Index, std::string &Error);

    TSideList FSides;
    // What few items need is held apart, so that a plain brush stays small.
    std::unique_ptr<std::vector<TPlane>> FPlanes; ///< filled by PreparePlans only
    std::unique_ptr<TPatch> FPatch;               ///< only for a patch
    /// Only for a brush primitive ("brushDef"): its faces' texture matrices.
    std::unique_ptr<std::vector<std::array<double, 6>>> FMatrices;
    bool FIsStored = true;
};

/// The brushes of an entity, in file order. A plain list: searches that must
/// be fast on long lists build a lookup of their own over it.
class TBrushList
{
public:
    std::size_t Count() const { return FItems.size(); }
    bool Empty() const { return FItems.empty(); }
    TBrush &operator[](std::size_t I) { return FItems[I]; }
    const TBrush &operator[](std::size_t I) const { return FItems[I]; }
    TBrush &Add(TBrush Brush)
    {
        FItems.push_back(std::move(Brush));
        return FItems.back();
    }
    void Clear() { FItems.clear(); }
    auto begin() { return FItems.begin(); }
    auto end() { return FItems.end(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

    void Assign(const TBrushList &Source) { *this = Source; }
    /// True when at least one brush is stored (false for an empty list).
    bool IsStored() const;
    /// The first brush, in list order, that Cmp's ABrush; -1 when none.
    std::ptrdiff_t FindAnalog(const TBrush &ABrush, bool cmpTexture) const;

private:
    std::vector<TBrush> FItems;
};

} // namespace brix
