// The columns of a scaled row: destination column x (0 .. Size() - 1) takes
// the source column map[x], every one below the source row's width. A copy
// builds one TColumnGather and draws every row of it through it.
//
// One plain version, the reference, and on x86-64 AVX2 and AVX-512 ones
// beside it (gather_x86.cpp) that give the same pixels. The widest the
// processor has is used, unless MIREL_KERNELS says otherwise (scalar or
// sse2: the plain one, as for the effects' kernels; avx2: not AVX-512), or
// the copy asks for the plain one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirel {

class TColumnGather {
public:
    TColumnGather(std::vector<uint32_t> map, size_t width, bool plain);

    // d[x] = src[map[x]] for x in [from, to): d points at the destination
    // of column 0, src at the source row's first pixel. d does not overlap
    // src.
    void Row(uint32_t* d, const uint32_t* src, size_t from, size_t to) const;

    // The same within one row, d and src in the same pixels, where every
    // column reads at or after its own place: walked left to right, no pixel
    // is written before the columns reading it are drawn. (Right to left,
    // for columns reading at or before their place, was slower here than
    // gathering the row aside first.)
    void RowInPlace(uint32_t* d, const uint32_t* src, size_t from, size_t to) const;

    uint32_t operator[](size_t x) const { return map_[x]; }
    size_t Size() const { return map_.size(); }

private:
    std::vector<uint32_t> map_;
    // On x86-64, groups of Group columns (8 for AVX2, 16 for AVX-512) from
    // column 0 on, each read from a window of its source row: Start[g] its
    // first column, Kind[g] k for a window of Group << k columns, or
    // Windows for none (the group is spread wider: loads one by one); Lanes
    // the columns' places in their windows, Group per group, a byte each
    // (windows are at most 64 columns wide). Bytes keep the lanes of a row
    // a quarter of the row's pixels: as 32-bit words they were as large as
    // the row itself, and loading them cost the processor measured (AMD
    // Zen 4) a tenth of a full-frame copy on a row shrunk a little.
    enum class TLevel : uint8_t { Plain, Avx2, Avx512 };
    TLevel level_ = TLevel::Plain;
    std::vector<uint32_t> start_;
    std::vector<uint8_t> kind_;
    std::vector<uint8_t> lanes_;
    bool narrow_ = false; // every group of Kind 0
    void Plan(size_t width, size_t group, uint8_t windows);
    // Row, or RowInPlace when inPlace: through the vector gather where
    // planned, else plainly (Plain), as the vector ones also draw the
    // columns outside their groups.
    void Gather(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const;
    void Plain(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const;
    void RowAvx2(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const;
    void RowAvx512(uint32_t* d, const uint32_t* src, size_t from, size_t to, bool inPlace) const;
};

// The plain gather, and the same in place (see RowInPlace).
void GatherRowScalar(uint32_t* d, const uint32_t* src, const uint32_t* map, size_t count);
void GatherRowInPlace(uint32_t* d, const uint32_t* src, const uint32_t* map, size_t count);

} // namespace mirel
