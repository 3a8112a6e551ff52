// The error numbers of both stores, keyed tables and text files, as the program's file handling
// compares them: every store reports the same number for the same kind of failure.
#pragma once

namespace marlo::storage_error {

inline constexpr int kNone = 0;
inline constexpr int kNotFound = 2;      // no such file
inline constexpr int kAccessDenied = 5;  // no right to it, or another user's sharing refuses it
inline constexpr int kNoRecord = 33;     // no (more) records; the end of a text file
inline constexpr int kNotOpen = 37;
inline constexpr int kDuplicateKey = 40;
inline constexpr int kRecordHeld = 43;  // held by another station
inline constexpr int kInvalidKey = 46;  // a key missing or damaged: buildKeys mends it
inline constexpr int kAlreadyOpen = 52;
inline constexpr int kChangedByAnother = 89;  // changed by another station since it was read
inline constexpr int kDriverError = 90;       // the store's own error says which

}  // namespace marlo::storage_error
