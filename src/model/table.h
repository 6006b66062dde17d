#pragma once
// Rectangular tables stored row after row in one contiguous block, so that
// table[i][j] reads like the formulas and each row (one component's profile)
// is walked contiguously by the solver's loops.

#include <cstddef>
#include <vector>

namespace torvex {

template <class T>
class Table2 {
 public:
  Table2() = default;
  Table2(int rows, int columns) { resize(rows, columns); }

  // Creates rows x columns value-initialised elements (0 for numbers).
  void resize(int rows, int columns) {
    rows_ = rows;
    columns_ = columns;
    data_.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), T{});
  }
  void release() {
    rows_ = columns_ = 0;
    std::vector<T>().swap(data_);
  }
  void fill(const T& value) { data_.assign(data_.size(), value); }

  T* operator[](int row) { return data_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_); }
  const T* operator[](int row) const {
    return data_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_);
  }
  [[nodiscard]] int rows() const { return rows_; }
  [[nodiscard]] int columns() const { return columns_; }
  [[nodiscard]] bool empty() const { return data_.empty(); }
  [[nodiscard]] std::size_t size() const { return data_.size(); }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  int rows_ = 0;
  int columns_ = 0;
  std::vector<T> data_;
};

// r x r x n table (the Onsager coefficients): table[i][k] is the profile of
// the pair (i, k) over the n grid points.
template <class T>
class Table3 {
 public:
  void resize(int first, int second, int points) {
    second_ = second;
    rows_.resize(first * second, points);
  }
  void release() {
    second_ = 0;
    rows_.release();
  }
  void fill(const T& value) { rows_.fill(value); }

  class Slice {
   public:
    T* operator[](int k) const { return table_[base_ + k]; }

   private:
    friend class Table3;
    Slice(Table2<T>& table, int base) : table_(table), base_(base) {}
    Table2<T>& table_;
    int base_;
  };
  class ConstSlice {
   public:
    const T* operator[](int k) const { return table_[base_ + k]; }

   private:
    friend class Table3;
    ConstSlice(const Table2<T>& table, int base) : table_(table), base_(base) {}
    const Table2<T>& table_;
    int base_;
  };
  Slice operator[](int i) { return Slice(rows_, i * second_); }
  ConstSlice operator[](int i) const { return ConstSlice(rows_, i * second_); }
  [[nodiscard]] bool empty() const { return rows_.empty(); }
  [[nodiscard]] std::size_t size() const { return rows_.size(); }

 private:
  int second_ = 0;
  Table2<T> rows_;
};

}  // namespace torvex
