// Marlo LZH library: reading and writing LZH archives. Writes -lh0-, -lh4- ... -lh7- and -lhd-;
// also reads the older methods other archivers wrote (-lh1- ... -lh3-, LArc's -lz4-, -lz5-,
// -lzs-, PMarc's -pm0-, -pm1- and -pm2-).
//
// Three layers, each usable on its own:
//   * the codec: encode() / decode() turn one member's bytes into an -lh4- ... -lh7- stream
//     and back, streaming through ByteSource / ByteSink so memory stays bounded;
//   * archives: ArchiveReader walks the members of an archive file, verifying what it reads;
//     the command interpreter writes archives (level-2 headers, always through a new file that
//     replaces the old one only when complete);
//   * commands: run_command() takes the same command lines as the C function Unlha()
//     (see unlha32.h and lzh/README.md for the commands, switches and report).
//
// Errors are reported as lzh::Failure exceptions carrying a Status and a message in words.
// Nothing here keeps global state, so separate objects may be used on separate threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lzh {

// Result codes of commands; the same numbers are returned by Unlha() and the unlha tool.
enum class Status : int {
    ok = 0,
    usage = 2,         // bad command line: unknown command or switch, missing archive name
    no_archive = 3,    // the archive file does not exist or cannot be opened
    not_archive = 4,   // the file is not an LZH archive
    damaged = 5,       // a header or data fails its checks (CRC, sizes, truncation, junk)
    io = 6,            // reading or writing a file failed (disk full, permissions ...)
    unsafe_path = 7,   // members refused because they would land outside the destination
    no_files = 8,      // no file or member matched the files named
    skipped = 9,       // existing files were left alone (no -c switch)
    unsupported = 10,  // a member uses a method this library cannot decode
    no_memory = 11,
    cancelled = 13,  // the caller asked to stop (see the progress callback in unlha32.h)
};

// A short description of a status, e.g. "the archive is damaged".
const char* status_text(Status s) noexcept;

class Failure : public std::runtime_error {
  public:
    Failure(Status s, const std::string& what) : std::runtime_error(what), status_(s) {}
    Status status() const noexcept { return status_; }

  private:
    Status status_;
};

// The methods this library knows. Only stored, lh4 ... lh7 and directory are ever written; the
// rest are read from archives other tools made (lz4 and pm0 are stored data under other names).
enum class Method : std::uint8_t {
    stored,
    lh4,
    lh5,
    lh6,
    lh7,
    directory,
    lh1,
    lh2,
    lh3,
    lz4,
    lz5,
    lzs,
    pm0,
    pm2,
    pm1,
    unknown
};

// "-lh5-" and so on; "?" for unknown.
const char* method_name(Method m) noexcept;
// Parses the five method bytes of a header.
Method method_from_name(const char* five) noexcept;
// log2 of the sliding window: 12, 13, 15, 16 for -lh4- ... -lh7-, 0 otherwise.
int dictionary_bits(Method m) noexcept;

// Byte streams the codec reads and writes. read() returns 0 only at the end.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::size_t read(std::uint8_t* buf, std::size_t n) = 0;
};
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void write(const std::uint8_t* data, std::size_t n) = 0;
};

// Sources and sinks over memory, handy for tests and small members.
class MemorySource : public ByteSource {
  public:
    MemorySource(const void* data, std::size_t n)
        : p_(static_cast<const std::uint8_t*>(data)), n_(n) {}
    std::size_t read(std::uint8_t* buf, std::size_t n) override;

  private:
    const std::uint8_t* p_;
    std::size_t n_;
};
class VectorSink : public ByteSink {
  public:
    std::vector<std::uint8_t> bytes;
    void write(const std::uint8_t* data, std::size_t n) override {
        bytes.insert(bytes.end(), data, data + n);
    }
};
class NullSink : public ByteSink {
  public:
    void write(const std::uint8_t*, std::size_t) override {}
};

struct EncodeResult {
    std::uint64_t original_size = 0;
    std::uint64_t packed_size = 0;
    std::uint16_t crc = 0;  // CRC-16 of the original bytes
    bool shrunk = false;    // false: the output reached the give-up limit and is incomplete
};

// How hard the match finder looks; 0 takes the method's default (zlib level 6 class for -lh5-,
// deeper for -lh6-/-lh7-).
struct EncodeOptions {
    int max_chain = 0;
    int block_symbols = 0;        // symbols per block, 1..65535 (0: the default)
    int parse = -1;               // 1: choose matches by cost over whole segments (slower; kept
                                  // for comparison), 0 or -1: lazy matching, the default for
                                  // every method
    std::uint64_t size_hint = 0;  // expected input size (0: unknown); smaller inputs set up faster
};

// Compresses everything `in` yields as one member stream of an -lh4- ... -lh7- method. Once the
// output would reach `give_up_at` bytes it stops and returns shrunk = false (the caller then stores
// the member instead; sizes and CRC are then not filled in).
EncodeResult encode(Method m, ByteSource& in, ByteSink& out, std::uint64_t give_up_at = UINT64_MAX,
                    const EncodeOptions& opt = {});

// Decodes one member stream of `packed_size` bytes that must yield exactly `original_size`
// bytes, and returns their CRC-16. Any compressed method may be given (not stored, lz4, pm0 or
// directory). Throws Failure(damaged) on any inconsistency, never reads more than
// `packed_size` bytes from `in`.
std::uint16_t decode(Method m, ByteSource& in, std::uint64_t packed_size,
                     std::uint64_t original_size, ByteSink& out);

// One member as read from its header.
struct Member {
    std::string path;         // '/'-separated as stored; no trailing '/' for directories
    std::string method_text;  // the five method bytes, e.g. "-lh5-"
    Method method = Method::unknown;
    std::uint64_t packed_size = 0;
    std::uint64_t original_size = 0;
    std::uint16_t crc = 0;
    std::int64_t mtime = 0;  // seconds since 1970 UTC
    std::uint32_t mode = 0;  // Unix st_mode when the header carries one, else 0
    int level = 0;
    char os_id = 0;
    bool utf8 = false;  // names marked as UTF-8 (code page 65001)
    bool is_directory = false;
    bool is_symlink = false;
    std::string link_target;
    bool needs_64bit = false;  // sizes came from the 64-bit extension
    std::uint64_t header_offset = 0;
    std::uint64_t data_offset = 0;
    std::uint64_t header_size = 0;
};

// Walks an archive file member by member. Every header is checked (checksums, header CRC,
// sizes against the file length) before it is returned. The first header may follow a
// self-extracting stub.
class ArchiveReader {
  public:
    explicit ArchiveReader(const std::string& path);  // throws Failure(no_archive / not_archive)
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Reads the next header into `m`; returns false after the end marker. Throws
    // Failure(damaged) naming the offset where reading stopped.
    bool next(Member& m);
    // Decodes the member's data into `out` and checks its CRC; throws Failure(damaged /
    // unsupported). Several threads may read members at once, also while one of them walks
    // the headers with next().
    void read_data(const Member& m, ByteSink& out) const;
    // Goes back to the first member.
    void rewind();
    // Another reader over the same open file (the archive this one opened, even when the file
    // at its path has been replaced since) that goes on from where this one stands; the two
    // walk independently. Throws Failure(io) when no descriptor is left.
    std::unique_ptr<ArchiveReader> branch() const;
    // Offset of the next header to be read.
    std::uint64_t offset() const noexcept;
    std::uint64_t file_size() const noexcept;
    int fd() const noexcept;
    // What the reader noticed and let pass, in words, for a person to be told (bytes after the
    // end marker of an archive another tool wrote).
    const std::vector<std::string>& notes() const noexcept;

  private:
    struct Impl;
    explicit ArchiveReader(std::unique_ptr<Impl> impl);
    void after_end_marker();
    std::unique_ptr<Impl> impl_;
};

// The text a command leaves for a person. Lines marked important (errors and the summary)
// survive when the text must be cut to fit a fixed buffer. Control characters inside a line
// (names from an archive or from disk may hold any byte) are shown escaped, as \n or \x1b, so
// one line always stays one line and never carries a terminal escape sequence.
class Report {
  public:
    void line(std::string text);
    void important(std::string text);
    // Adds the lines of another report after these.
    void append(const Report& other);
    std::string text() const;
    // Writes the text into buf, always zero-terminated within `capacity` (nothing when 0).
    void render(char* buf, std::size_t capacity) const;

  private:
    struct Line {
        std::string text;
        bool important;
    };
    std::vector<Line> lines_;
};

// Runs one command line (see README.md) and returns its status; the report receives the text.
Status run_command(std::string_view command_line, Report& report);

// Splits a command line into tokens: blanks separate, double quotes group characters (and are
// removed) anywhere inside a token.
std::vector<std::string> tokenize(std::string_view command_line);

// DOS-style wildcard match: '*' any run of characters, '?' one character, a trailing ".*"
// also matches a name without a dot (so "*.*" matches every name). Case-sensitive.
bool wildcard_match(std::string_view pattern, std::string_view name) noexcept;

}  // namespace lzh
