// A view of a keyed table: the records of its family's primary table read along one of several
// sort orders (a key and an optional filter), with the read buffering values a list asks for.
// BrowseList (framework/window/browse_list.h) shows a view in a list control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/relation_set.h"

namespace marlo {

class ViewManager {
 public:
  // One sort order of the view: the key it reads along and the records it keeps.
  struct SortOrder {
    std::function<bool()> FILTER;  // true when the record in the buffer belongs to the list
    bool FREEELEMENT = false;
    std::uint8_t LIMITTYPE = 0;
    std::size_t MAINKEY = 0;  // key index in the table declaration
    std::string ORDER;
    std::vector<std::size_t> RANGELIST;
    // The list's addition: the field a typed character looks up (a step locator), as an
    // index into the table declaration; -1 = none.
    std::int32_t LOCATOR = -1;
  };

  ViewManager() = default;
  ViewManager(const ViewManager&) = delete;
  ViewManager& operator=(const ViewManager&) = delete;
  virtual ~ViewManager() = default;

  bool DISPOSEORDER = true;
  bool OPENED = false;
  std::unique_ptr<std::vector<SortOrder>> ORDER;
  std::uint16_t PAGESAHEAD = 0;
  std::uint16_t PAGESBEHIND = 2;
  std::uint16_t PAGESIZE = 20;
  RelationSet* PRIMARY = nullptr;
  std::uint16_t TIMEOUT = 60;

  void init(RelationSet& relations);
  void kill();
  // Opens the view on first use; a failure shows ViewOpenError and the list goes on unfiltered.
  void open();
  void close();

  // Adds a sort order and returns its number (from 1).
  int addSortOrder(std::size_t key, std::function<bool()> filter = {},
                   std::int32_t locatorField = -1);
  void setOrder(int order);
  [[nodiscard]] int currentOrder() const { return currentOrder_; }

  // Reading along the current order (records outside the filter are passed over).
  void setStart();
  void setEnd();
  // Positions so that the next read in either direction starts next to this record.
  bool setAt(std::string_view position);
  // Positions at the buffer's key values (next() reads the first record at or after them).
  void setAtBuffer();
  bool next();
  bool previous();
  [[nodiscard]] FileManager& file() const { return PRIMARY->primary(); }

 protected:
  [[nodiscard]] SortOrder* order();
  [[nodiscard]] bool filterPasses();
  bool filterFailed_ = false;  // the view opened without its filter

 private:
  bool read(bool forward);
  int currentOrder_ = 0;
};

}  // namespace marlo
