#pragma once
// Fixed-size tables with explicit lower bounds, as the program's tables are
// declared (-3..3 for the view grids, 0..255 for the object table). Every index
// is checked; an index outside the bounds is runtime error 6.
#include <array>
#include <cstdint>
#include <string>

#include "base/error.hpp"

namespace tlvx {

// Runtime error 6, naming the table and the index, e.g. "indexing OBJ_M with 256".
[[noreturn]] void throw_out_of_bounds(const char* table, int64_t index);

template <class T, int Lo, int Hi>
class Table {
public:
    static_assert(Hi >= Lo);
    static constexpr int lo = Lo;
    static constexpr int hi = Hi;

    Table() = default;
    // The name appears in the error report of a bad index, e.g. "OBJ_M".
    explicit Table(const char* name) : name_(name) {}

    T& operator()(int64_t i) { return data_[offset(i)]; }
    const T& operator()(int64_t i) const { return data_[offset(i)]; }
    void fill(const T& v) { data_.fill(v); }
    static constexpr bool contains(int64_t i) { return i >= Lo && i <= Hi; }

private:
    size_t offset(int64_t i) const {
        if (i < Lo || i > Hi) throw_out_of_bounds(name_, i);
        return static_cast<size_t>(i - Lo);
    }
    const char* name_ = "table";
    std::array<T, static_cast<size_t>(Hi - Lo + 1)> data_{};
};

template <class T, int Lo1, int Hi1, int Lo2, int Hi2>
class Table2 {
public:
    Table2() = default;
    explicit Table2(const char* name) : name_(name) {}

    T& operator()(int64_t i, int64_t j) { return data_[offset(i, j)]; }
    const T& operator()(int64_t i, int64_t j) const { return data_[offset(i, j)]; }
    void fill(const T& v) { data_.fill(v); }

private:
    static constexpr size_t kCols = static_cast<size_t>(Hi2 - Lo2 + 1);
    size_t offset(int64_t i, int64_t j) const {
        if (i < Lo1 || i > Hi1) throw_out_of_bounds(name_, i);
        if (j < Lo2 || j > Hi2) throw_out_of_bounds(name_, j);
        return static_cast<size_t>(i - Lo1) * kCols + static_cast<size_t>(j - Lo2);
    }
    const char* name_ = "table";
    std::array<T, static_cast<size_t>(Hi1 - Lo1 + 1) * kCols> data_{};
};

// A 7 by 7 view grid indexed (column offset, row offset), each -3 to 3.
using ViewGrid = Table2<int32_t, -3, 3, -3, 3>;

}  // namespace tlvx
