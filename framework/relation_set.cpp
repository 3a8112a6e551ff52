#include "framework/relation_set.h"

#include <algorithm>

#include "framework/messages.h"
#include "framework/runtime_error.h"
#include "framework/user_interface.h"

namespace marlo {

namespace se = storage_error;

namespace {

// Keeps a related table's record buffer (a window of its own may be showing it) while the
// rules read and write the related records, and puts it back afterwards.
class BufferKeeper {
 public:
  explicit BufferKeeper(KeyedTable& table) : table_(table), image_(table.image()) {}
  ~BufferKeeper() { table_.restoreImage(image_); }
  BufferKeeper(const BufferKeeper&) = delete;
  BufferKeeper& operator=(const BufferKeeper&) = delete;

 private:
  KeyedTable& table_;
  RecordImage image_;
};

}  // namespace

void RelationSet::init(FileManager& primary, bool useTransactions) {
  primary_ = &primary;
  useTransactions_ = useTransactions;
  relations_.clear();
}

void RelationSet::addRelation(RelationSet& related, RelationRule updateRule,
                              RelationRule deleteRule, std::vector<Link> links) {
  relations_.push_back({&related, std::move(links), updateRule, deleteRule});
}

SeverityLevel RelationSet::open() {
  const SeverityLevel opened = primary_->open();
  if (opened != SevBenign) return opened;
  return openRelated();
}

SeverityLevel RelationSet::close() {
  closeRelated();
  return primary_->close();
}

SeverityLevel RelationSet::openRelated() {
  for (const Relation& relation : relations_) {
    FileManager& related = relation.related->primary();
    SeverityLevel result = related.open();
    if (result == SevBenign) result = related.useFile();
    if (result == SevBenign) result = relation.related->openRelated();
    if (result != SevBenign) return result;
  }
  return SevBenign;
}

void RelationSet::closeRelated() {
  for (const Relation& relation : relations_) {
    relation.related->closeRelated();
    relation.related->primary().close();
  }
}

void RelationSet::collectTables(std::vector<KeyedTable*>& tables) const {
  KeyedTable* own = &primary_->table();
  if (std::find(tables.begin(), tables.end(), own) != tables.end()) return;
  tables.push_back(own);
  for (const Relation& relation : relations_) relation.related->collectTables(tables);
}

SeverityLevel RelationSet::beginFrame(const std::vector<KeyedTable*>& tables) {
  if (!useTransactions_) return SevBenign;
  if (KeyedTable::beginTransaction(tables) == se::kNone) return SevBenign;
  for (const KeyedTable* table : tables) {
    if (table->error() != se::kNone) {
      noteRuntimeError(*table);
      break;
    }
  }
  primary_->setError(msg::TransactionCancelled);
  primary_->throwLastError();
  return SevNotify;
}

std::vector<std::string> RelationSet::findRelated(const Relation& relation,
                                                  const RecordImage& values) const {
  std::vector<std::string> positions;
  KeyedTable& table = relation.related->primary().table();
  if (table.declaration().keys.empty() || table.setBefore(0) != se::kNone) return positions;
  table.setSkipHeld(false);
  for (;;) {
    const int rc = table.next();
    if (rc == se::kRecordHeld) continue;  // cannot be looked at; the rules pass it over
    if (rc != se::kNone) break;
    const RecordImage record = table.image();
    const bool linked =
        std::all_of(relation.links.begin(), relation.links.end(),
                    [&](const Link& link) { return record[link.second] == values[link.first]; });
    if (linked) positions.push_back(table.position());
  }
  return positions;
}

// --- update -----------------------------------------------------------------------------------

SeverityLevel RelationSet::update(bool fromForm) {
  const SeverityLevel opened = openRelated();
  if (opened != SevBenign) {
    closeRelated();
    return SevNotify;
  }
  std::vector<KeyedTable*> tables;
  collectTables(tables);
  if (beginFrame(tables) != SevBenign) {
    closeRelated();
    return SevNotify;
  }

  // What is stored now, to tell which linking fields the change touches. Unknown (the record
  // was read past the manager) means no rule can tell either, so none is applied.
  const RecordImage before = primary_->lastReadImage();
  const SeverityLevel written = primary_->tryUpdate();
  if (written != SevBenign) {
    if (useTransactions_) KeyedTable::rollback(tables);
    if (fromForm && primary_->lastError() == msg::ChangedElsewhere)
      primary_->setLastError(msg::ChangedElsewhereShown);
    if (written == SevNotify) primary_->throwLastError();
    closeRelated();
    const int recorded = primary_->lastError();
    return recorded == msg::ChangedElsewhere || recorded == msg::ChangedElsewhereShown ? SevNotify
                                                                                       : SevUser;
  }

  pendingMessage_ = nullptr;
  SeverityLevel result = applyUpdateRules(before);
  if (result == SevBenign && useTransactions_ && KeyedTable::commit(tables) != se::kNone) {
    noteRuntimeError(primary_->table());
    result = failOn(primary_, msg::RecordNotUpdated);
  }
  if (result != SevBenign) {
    if (useTransactions_) KeyedTable::rollback(tables);
    // The linking fields go back to what is stored, so the record on screen matches the table.
    resetLinks(before);
    if (!useTransactions_) primary_->tryUpdate();
    if (pendingMessage_ != nullptr) pendingMessage_->throwLastError();
  }
  closeRelated();
  return result;
}

void RelationSet::resetLinks(const RecordImage& before) {
  const TableDeclaration& decl = primary_->table().declaration();
  for (const Relation& relation : relations_) {
    if (relation.updateRule == RuleNone) continue;
    for (const Link& link : relation.links) decl.fields[link.first].set(before[link.first]);
  }
}

SeverityLevel RelationSet::failOn(FileManager* table, int message) {
  if (message != 0) table->setError(message);
  pendingMessage_ = table;
  return SevNotify;
}

SeverityLevel RelationSet::applyUpdateRules(const RecordImage& before) {
  const RecordImage after = primary_->table().image();
  for (const Relation& relation : relations_) {
    if (relation.updateRule == RuleNone || before.size() != after.size()) continue;
    const bool changed =
        std::any_of(relation.links.begin(), relation.links.end(),
                    [&](const Link& link) { return before[link.first] != after[link.first]; });
    if (!changed) continue;
    FileManager& related = relation.related->primary();
    BufferKeeper keep(related.table());
    const std::vector<std::string> positions = findRelated(relation, before);
    if (positions.empty()) continue;
    if (relation.updateRule == RuleRestrict) {
      return failOn(&related, msg::ReferencedNoChange);
    }
    const TableDeclaration& decl = related.table().declaration();
    for (const std::string& position : positions) {
      if (related.reget(position) != se::kNone) {
        return failOn(&related, msg::RecordNotUpdated);
      }
      const RecordImage relatedBefore = related.table().image();
      for (const Link& link : relation.links) {
        if (relation.updateRule == RuleClear) {
          decl.fields[link.second].clear();
        } else {
          decl.fields[link.second].set(after[link.first]);
        }
      }
      if (related.tryUpdate() != SevBenign) {
        return failOn(&related);
      }
      if (relation.updateRule == RuleCascade) {
        const SeverityLevel carried = relation.related->applyUpdateRules(relatedBefore);
        if (carried != SevBenign) {
          pendingMessage_ = relation.related->pendingMessage_;
          return carried;
        }
      }
    }
  }
  return SevBenign;
}

// --- delete -----------------------------------------------------------------------------------

SeverityLevel RelationSet::delete_(bool query) {
  if (query && primary_->throw_(msg::ConfirmDelete) != SevBenign) return SevNotify;
  for (;;) {
    userInterface().waitCursor(true);
    const SeverityLevel result = attemptDelete();
    userInterface().waitCursor(false);
    if (result == SevBenign) return SevBenign;
    // The question leaves the recorded failure in place for the caller.
    primary_->errors().setFile(primary_->fileName());
    if (primary_->errors().throw_(msg::DeleteFailedRetry) != SevBenign) return result;
  }
}

SeverityLevel RelationSet::attemptDelete() {
  const std::string position = primary_->getPosition();
  if (openRelated() != SevBenign) {
    closeRelated();
    return SevNotify;
  }
  std::vector<KeyedTable*> tables;
  collectTables(tables);
  if (beginFrame(tables) != SevBenign) {
    closeRelated();
    return SevNotify;
  }
  pendingMessage_ = nullptr;
  SeverityLevel result = SevBenign;
  if (primary_->reget(position) != se::kNone) {
    result = failOn(primary_, msg::RecordNotDeleted);
  }
  if (result == SevBenign) result = deleteCascaded();
  if (result == SevBenign && useTransactions_ && KeyedTable::commit(tables) != se::kNone) {
    noteRuntimeError(primary_->table());
    result = failOn(primary_, msg::RecordNotDeleted);
  }
  if (result != SevBenign) {
    // Undo first, then tell: nobody waits on our open transaction while the message is up.
    if (useTransactions_) KeyedTable::rollback(tables);
    if (pendingMessage_ != nullptr) pendingMessage_->throwLastError();
  }
  closeRelated();
  return result;
}

SeverityLevel RelationSet::deleteCascaded() {
  const SeverityLevel ruled = applyDeleteRules();
  if (ruled != SevBenign) return ruled;
  if (primary_->table().erase() != se::kNone) {
    noteRuntimeError(primary_->table());
    return failOn(primary_, msg::RecordNotDeleted);
  }
  return SevBenign;
}

SeverityLevel RelationSet::applyDeleteRules() {
  const RecordImage record = primary_->table().image();
  const std::string position = primary_->getPosition();
  for (const Relation& relation : relations_) {
    if (relation.deleteRule == RuleNone) continue;
    FileManager& related = relation.related->primary();
    BufferKeeper keep(related.table());
    const std::vector<std::string> positions = findRelated(relation, record);
    if (positions.empty()) continue;
    if (relation.deleteRule == RuleRestrict) {
      return failOn(&related, msg::ReferencedNoDelete);
    }
    const TableDeclaration& decl = related.table().declaration();
    for (const std::string& at : positions) {
      if (related.reget(at) != se::kNone) {
        return failOn(&related, msg::RecordNotDeleted);
      }
      if (relation.deleteRule == RuleClear) {
        for (const Link& link : relation.links) decl.fields[link.second].clear();
        if (related.tryUpdate() != SevBenign) {
          return failOn(&related);
        }
      } else {
        const SeverityLevel deleted = relation.related->deleteCascaded();
        if (deleted != SevBenign) {
          pendingMessage_ = relation.related->pendingMessage_;
          return deleted;
        }
      }
    }
  }
  // The rules read other tables only; make sure the record to delete is the current one again.
  if (primary_->getPosition() != position) primary_->reget(position);
  return SevBenign;
}

}  // namespace marlo
