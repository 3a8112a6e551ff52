// How a control reaches the program variable it shows, and how a list reaches its rows.
//
// Screen values and variables stay apart: a control holds what the person sees, display()
// copies the variable in through the control's picture and update() copies it back. Values
// pass as text, as every variable converts to and from text (numbers as decimal text, dates as
// day numbers, times as standard time numbers).
#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/number.h"
#include "platform/core/text.h"

namespace marlo::win {

class Binding {
 public:
  Binding() = default;
  Binding(std::function<std::string()> get, std::function<void(std::string_view)> set)
      : get_(std::move(get)), set_(std::move(set)) {}

  // A binding to a variable that lives at least as long as the window that shows it.
  template <class T>
  static Binding to(T& variable) {
    if constexpr (std::is_same_v<T, bool>) {
      return {[&variable] { return std::string(variable ? "1" : "0"); },
              [&variable](std::string_view v) { variable = toInteger(v) != 0; }};
    } else if constexpr (std::is_integral_v<T>) {
      return {[&variable] { return toText(static_cast<std::int64_t>(variable)); },
              [&variable](std::string_view v) { variable = static_cast<T>(toInteger(v)); }};
    } else if constexpr (std::is_floating_point_v<T>) {
      return {[&variable] { return std::to_string(variable); },
              [&variable](std::string_view v) { variable = static_cast<T>(toReal(v)); }};
    } else if constexpr (std::is_same_v<T, std::string>) {
      return {[&variable] { return variable; },
              [&variable](std::string_view v) { variable.assign(v); }};
    } else {  // CString, BlankString, HeapText: anything that views and assigns text
      return {[&variable] { return std::string(variable.view()); },
              [&variable](std::string_view v) { variable = v; }};
    }
  }

  [[nodiscard]] explicit operator bool() const { return static_cast<bool>(get_); }
  [[nodiscard]] std::string get() const { return get_ ? get_() : std::string(); }
  void set(std::string_view value) const {
    if (set_) set_(value);
  }

 private:
  std::function<std::string()> get_;
  std::function<void(std::string_view)> set_;
};

// Rows for a list control. Rows are numbered from 1, columns from 0; a cell is the raw value,
// which the column's picture formats for the screen.
class ListSource {
 public:
  ListSource() = default;
  ListSource(const ListSource&) = default;
  ListSource& operator=(const ListSource&) = default;
  virtual ~ListSource() = default;
  [[nodiscard]] virtual int rowCount() const = 0;
  [[nodiscard]] virtual std::string cell(int row, int column) const = 0;
};

// The simplest row source: an in-memory queue of rows of texts.
class RowQueue : public ListSource {
 public:
  void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void insert(int beforeRow, std::vector<std::string> row) {
    rows_.insert(rows_.begin() + (beforeRow - 1), std::move(row));
  }
  void remove(int row) { rows_.erase(rows_.begin() + (row - 1)); }
  void clear() { rows_.clear(); }
  [[nodiscard]] std::vector<std::string>& row(int row) {
    return rows_[static_cast<std::size_t>(row - 1)];
  }

  [[nodiscard]] int rowCount() const override { return static_cast<int>(rows_.size()); }
  [[nodiscard]] std::string cell(int row, int column) const override {
    if (row < 1 || row > rowCount()) return {};
    const auto& r = rows_[static_cast<std::size_t>(row - 1)];
    return column >= 0 && static_cast<std::size_t>(column) < r.size()
               ? r[static_cast<std::size_t>(column)]
               : std::string();
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace marlo::win
