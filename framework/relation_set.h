// A table together with the tables that refer to it, and the rules that keep the references
// sound when a record is deleted or its linking fields change:
//   clear     blank the linking fields of the related records,
//   restrict  refuse while related records exist,
//   cascade   carry the change or the delete on to the related records (and their relations).
// Changes are framed in one transaction over all the tables involved, so a refused or failed
// rule leaves every table as it was.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "framework/file_manager.h"
#include "framework/severity.h"

namespace marlo {

enum RelationRule : int {
  RuleNone = 0,
  RuleClear = 1,
  RuleRestrict = 2,
  RuleCascade = 3,
};

class RelationSet {
 public:
  // A linking field pair: a field of this set's table and the field of the related table that
  // holds the same value (indexes into the declarations).
  using Link = std::pair<std::size_t, std::size_t>;

  RelationSet() = default;
  virtual ~RelationSet() = default;
  RelationSet(const RelationSet&) = delete;
  RelationSet& operator=(const RelationSet&) = delete;

  void init(FileManager& primary, bool useTransactions = true);
  void kill() { relations_.clear(); }
  // `related` refers to this set's table through `links`.
  void addRelation(RelationSet& related, RelationRule updateRule, RelationRule deleteRule,
                   std::vector<Link> links);

  SeverityLevel open();
  SeverityLevel close();
  // Writes the primary table's record and applies the update rules.
  SeverityLevel update(bool fromForm);
  // Deletes the primary table's current record (after asking, with query) and applies the
  // delete rules.
  SeverityLevel delete_(bool query);
  SeverityLevel cancelAutoInc() { return primary_->cancelAutoInc(this); }

  [[nodiscard]] FileManager& primary() const { return *primary_; }

 private:
  struct Relation {
    RelationSet* related = nullptr;
    std::vector<Link> links;
    RelationRule updateRule = RuleNone;
    RelationRule deleteRule = RuleNone;
  };

  // Every table a change may touch: this one and, through the relations, the related ones.
  void collectTables(std::vector<KeyedTable*>& tables) const;
  SeverityLevel openRelated();
  void closeRelated();
  SeverityLevel beginFrame(const std::vector<KeyedTable*>& tables);
  // Positions of the related records whose linking fields hold `values`.
  std::vector<std::string> findRelated(const Relation& relation, const RecordImage& values) const;
  // Applies the delete rules for the record in the buffer; 0 or the failure (already shown).
  SeverityLevel applyDeleteRules();
  // Deletes the record in the buffer after applying its rules (for a cascade from above).
  SeverityLevel deleteCascaded();
  // Applies the update rules for a change from `before` to the buffer; 0 or the failure.
  SeverityLevel applyUpdateRules(const RecordImage& before);
  SeverityLevel attemptDelete();
  void resetLinks(const RecordImage& before);
  // Records `message` on `table` (none when 0, as when the table recorded its own) as the one
  // that explains the failure, to be shown once the transaction is rolled back; gives SevNotify.
  SeverityLevel failOn(FileManager* table, int message = 0);

  FileManager* primary_ = nullptr;
  std::vector<Relation> relations_;
  bool useTransactions_ = true;
  // The manager whose recorded message explains the last failure of a rule; shown once the
  // transaction is rolled back.
  FileManager* pendingMessage_ = nullptr;
};

}  // namespace marlo
