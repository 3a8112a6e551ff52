// The folder table `files`: the numbered list of folders a backup packs. Its record buffer is
// program-wide: the main list, the backup run and the folder form all work on the same one.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/text.h"
#include "platform/storage/keyed_table.h"

namespace files {

inline constexpr const char* kFileName = "FILES";  // in the current directory when opened
inline constexpr const char* kPrefix = "files";
inline constexpr const char* kRbrKeyDescription = "files:rbr_key";
inline constexpr std::size_t kRbrKey = 0;

enum class Field : std::size_t { RBR, NAZIV_FOLDERA, TEST_FOLDER };

// The record buffer.
extern std::int32_t RBR;                   // folder number
extern marlo::CString<222> NAZIV_FOLDERA;  // full path of the folder
extern marlo::CString<222> TEST_FOLDER;    // command fragment of the last backup

// The declaration over the buffer: fields in record order, the ascending unique key on RBR.
marlo::TableDeclaration declaration();

}  // namespace files

namespace marlo {
class FileManager;
class RelationSet;
}  // namespace marlo

namespace files {

// The table, its manager and its relation set, made by initDeclarations() at program start and
// released by killDeclarations() at the end. The manager creates a missing table, numbers new
// records on rbr_key and names the table "files" in its messages.
void initDeclarations();
void killDeclarations();
[[nodiscard]] marlo::KeyedTable& table();
[[nodiscard]] marlo::FileManager& manager();
[[nodiscard]] marlo::RelationSet& relations();

}  // namespace files
