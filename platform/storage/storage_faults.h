// A seam in the storage's own file I/O, for tests that prove a failed write loses nothing: the
// keyed tables (through the SQLite file layer below them) and the profile files count their
// writes, syncs, renames and removals, and a test can make the Nth one of a kind fail as a
// full or failing disk would. Nothing fails unless a test asks; the counts are process-wide.
#pragma once

namespace marlo::storage_faults {

enum class Call {
  Write,   // data written to a file, or a file cut short
  Sync,    // a file flushed to the disk
  Rename,  // a finished file put in place of the old one
  Remove,  // a file removed (a table's journal: the moment a change becomes final)
};

// From now on, the nth call of `call`'s kind (counting from 1) fails; 0 lets every call
// through again. The counts start again from 0.
void failNth(Call call, int n);
// Lets every call through and sets the counts to 0.
void reset();
// Calls of this kind made since the last failNth or reset.
[[nodiscard]] int calls(Call call);
// Whether the armed failure has happened.
[[nodiscard]] bool failed();

// For the storage itself: counts the call and says whether it must fail.
[[nodiscard]] bool shouldFail(Call call);

// The name of the SQLite file layer that counts (registered on first use); the keyed tables
// open their files through it.
[[nodiscard]] const char* sqliteFileLayer();

}  // namespace marlo::storage_faults
