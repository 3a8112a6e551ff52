#include "framework/view_manager.h"

#include <utility>

#include "framework/messages.h"
#include "platform/storage/keyed_table.h"

namespace marlo {

void ViewManager::init(RelationSet& relations) {
  PRIMARY = &relations;
  ORDER = std::make_unique<std::vector<SortOrder>>();
  DISPOSEORDER = true;
  OPENED = false;
  PAGESAHEAD = 0;
  PAGESBEHIND = 2;
  PAGESIZE = 20;
  TIMEOUT = 60;
  currentOrder_ = 0;
}

void ViewManager::kill() {
  close();
  if (DISPOSEORDER) ORDER.reset();
  PRIMARY = nullptr;
}

void ViewManager::open() {
  if (OPENED || PRIMARY == nullptr) return;
  if (ORDER && ORDER->empty()) addSortOrder(0);
  if (file().useFile() != SevBenign) {
    const int error = file().table().error();
    if (error != storage_error::kNone && error != storage_error::kAlreadyOpen) {
      file().throw_(msg::ViewOpenError);
      filterFailed_ = true;
    }
  }
  // The store reads straight from the table; the buffering values stay as the settings of
  // this view, which is all the list promises about paging.
  OPENED = true;
}

void ViewManager::close() {
  OPENED = false;
}

int ViewManager::addSortOrder(std::size_t key, std::function<bool()> filter,
                              std::int32_t locatorField) {
  if (!ORDER) ORDER = std::make_unique<std::vector<SortOrder>>();
  SortOrder order;
  order.MAINKEY = key;
  order.FILTER = std::move(filter);
  order.LOCATOR = locatorField;
  ORDER->push_back(std::move(order));
  if (currentOrder_ == 0) currentOrder_ = 1;
  return static_cast<int>(ORDER->size());
}

void ViewManager::setOrder(int order) {
  if (ORDER && order >= 1 && order <= static_cast<int>(ORDER->size())) currentOrder_ = order;
}

ViewManager::SortOrder* ViewManager::order() {
  if (!ORDER || currentOrder_ < 1 || currentOrder_ > static_cast<int>(ORDER->size()))
    return nullptr;
  return &(*ORDER)[static_cast<std::size_t>(currentOrder_ - 1)];
}

bool ViewManager::filterPasses() {
  const SortOrder* o = order();
  return filterFailed_ || o == nullptr || !o->FILTER || o->FILTER();
}

void ViewManager::setStart() {
  const SortOrder* o = order();
  file().table().setBefore(o != nullptr ? o->MAINKEY : 0);
}

void ViewManager::setEnd() {
  const SortOrder* o = order();
  file().table().setAfter(o != nullptr ? o->MAINKEY : 0);
}

bool ViewManager::setAt(std::string_view position) {
  if (position.empty()) return false;
  setStart();  // chooses the key the reads go along
  return file().reget(position) == 0;
}

void ViewManager::setAtBuffer() {
  const SortOrder* o = order();
  file().table().setAtKeyValue(o != nullptr ? o->MAINKEY : 0);
}

bool ViewManager::read(bool forward) {
  for (;;) {
    const SeverityLevel r = forward ? file().tryNext() : file().tryPrevious();
    if (r != SevBenign) return false;
    if (filterPasses()) return true;
  }
}

bool ViewManager::next() {
  return read(true);
}
bool ViewManager::previous() {
  return read(false);
}

}  // namespace marlo
