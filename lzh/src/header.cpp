#include "header.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include <sys/stat.h>

#include "crc16.h"

namespace lzh::detail {
namespace {

[[noreturn]] void bad(const std::string& why) { throw Failure(Status::damaged, why); }

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t u64(const std::uint8_t* p) {
    return u32(p) | static_cast<std::uint64_t>(u32(p + 4)) << 32;
}
void put16(std::vector<std::uint8_t>& v, std::size_t at, unsigned x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x >> (8 * i));
}

// Where the fields of a member header lie. Every level shares the bytes from the method to the
// level; levels 0 and 1 go on with the name, levels 2 and 3 with the data CRC.
namespace at {
constexpr std::size_t method = 2;
constexpr std::size_t packed_size = 7;
constexpr std::size_t original_size = 11;
constexpr std::size_t time = 15;  // DOS date/time on levels 0/1, Unix seconds on levels 2/3
constexpr std::size_t level = 20;
constexpr std::size_t common_end = 22;  // every header has at least this many bytes

// Levels 0 and 1: a one-byte size (the header less these first two bytes), a checksum over
// the rest of the base header, the name.
constexpr std::size_t base_size = 0;
constexpr std::size_t checksum = 1;
constexpr std::size_t checksum_from = 2;
constexpr std::size_t name_length = 21;
constexpr std::size_t name = 22;
// ... then, counted from the end of the name:
constexpr std::size_t data_crc_after_name = 0;
constexpr std::size_t unix_area_after_name = 2;       // level 0, optional
constexpr std::size_t os_id_after_name = 2;           // level 1
constexpr std::size_t first_ext_size_after_name = 3;  // level 1
constexpr std::size_t level0_fixed_after_name = 2;
constexpr std::size_t level1_fixed_after_name = 5;

// The optional Unix area of level 0: 'U', a version byte, mtime u32, mode u16, uid, gid.
constexpr std::size_t unix_area_mtime = 2;
constexpr std::size_t unix_area_mode = 6;
constexpr std::size_t unix_area_size = 12;

// Levels 2 and 3.
constexpr std::size_t total_size2 = 0;  // u16
constexpr std::size_t word_size3 = 0;   // u16, always 4
constexpr std::size_t data_crc = 21;
constexpr std::size_t os_id = 23;
constexpr std::size_t first_ext_size2 = 24;  // u16
constexpr std::size_t extensions2 = 26;
constexpr std::size_t total_size3 = 24;      // u32
constexpr std::size_t first_ext_size3 = 28;  // u32
constexpr std::size_t extensions3 = 32;
}  // namespace at

// Real extension areas are small; a huge one is damage, not a reason to read gigabytes.
constexpr std::uint64_t kMaxHeaderBytes = 1u << 20;

// Separators inside stored names: 0xFF in directory extensions, '\' from DOS tools. On Unix
// '\' is an ordinary character of a file name, so members written there keep it.
std::string to_slashes(const std::uint8_t* p, std::size_t n, bool backslash_separates = true) {
    std::string s(reinterpret_cast<const char*>(p), n);
    for (auto& c : s)
        if ((c == '\\' && backslash_separates) || static_cast<unsigned char>(c) == 0xFF) c = '/';
    return s;
}

bool backslash_separates(char os_id) { return os_id != 'U'; }

struct Extensions {
    bool backslash_separates = true;
    std::string name, dir;
    bool has_name = false, has_dir = false;
    bool has_header_crc = false;
    std::size_t header_crc_pos = 0;  // offset of the CRC field inside the header bytes
    std::uint16_t header_crc = 0;
    bool has_mode = false;
    std::uint16_t mode = 0;
    bool has_unix_time = false;
    std::uint32_t unix_time = 0;
    bool has_sizes64 = false;
    std::uint64_t packed64 = 0, original64 = 0;
    bool utf8 = false;
};

// Parses one extension record (type byte + data) found at `rec` inside the header bytes.
void parse_extension(const std::uint8_t* rec, std::size_t data_len, std::size_t rec_pos,
                     Extensions& x) {
    const std::uint8_t* d = rec + 1;
    switch (rec[0]) {
        case 0x00:
            if (data_len < 2) bad("a header CRC extension is too short");
            x.has_header_crc = true;
            x.header_crc = u16(d);
            x.header_crc_pos = rec_pos + 1;
            break;
        case 0x01:
            x.name = to_slashes(d, data_len, x.backslash_separates);
            x.has_name = true;
            break;
        case 0x02:
            x.dir = to_slashes(d, data_len, x.backslash_separates);
            x.has_dir = true;
            break;
        case 0x42:
            if (data_len < 16) bad("a 64-bit size extension is too short");
            x.has_sizes64 = true;
            x.packed64 = u64(d);
            x.original64 = u64(d + 8);
            break;
        case 0x46:
            if (data_len >= 4) x.utf8 = u32(d) == 65001;
            break;
        case 0x50:
            if (data_len >= 2) {
                x.has_mode = true;
                x.mode = u16(d);
            }
            break;
        case 0x54:
            if (data_len >= 4) {
                x.has_unix_time = true;
                x.unix_time = u32(d);
            }
            break;
        default:
            break;  // comments, attributes, owners, Windows times: not needed to restore files
    }
}

std::string join_path(const Extensions& x, const std::string& fallback_name) {
    std::string dir = x.has_dir ? x.dir : std::string();
    std::string name = x.has_name ? x.name : fallback_name;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}

// How the records of an extension chain may lie beyond the header bytes loaded so far.
enum class ChainEnd {
    inside,        // all inside (level 3, and level 2 as written by most tools)
    closing_size,  // all inside but the chain's closing size field (level 2 from OSK LHA)
    on_demand,     // read record by record (level 1: the base header does not count them)
};

// Reads one member header: the bytes common to every level, then the level's own layout, then
// what all levels share (path, directory or link, sizes against the file).
class HeaderParser {
  public:
    HeaderParser(const ReadAt& read_at, std::uint64_t off, std::uint64_t file_size, Member& m)
        : read_at_(read_at), off_(off), file_size_(file_size), m_(m) {}

    HeaderResult parse() {
        m_ = Member{};
        m_.header_offset = off_;
        std::uint8_t first[at::common_end] = {};
        const std::size_t got = read_at_(off_, first, sizeof first);
        if (got == 0) bad("the archive ends without its end marker (it may be truncated)");
        if (first[0] == 0) return HeaderResult::end;
        if (got < at::common_end) bad("a header is cut off by the end of the file");
        if (!looks_like_header(first, got)) bad("a header is not valid");
        m_.level = first[at::level];
        m_.method_text.assign(reinterpret_cast<const char*>(first + at::method), 5);
        m_.original_size = u32(first + at::original_size);
        switch (m_.level) {
            case 0:
            case 1:
                read_level01(first);
                break;
            case 2:
                read_level2(first);
                break;
            default:
                read_level3(first);
                break;
        }
        finish();
        return HeaderResult::member;
    }

  private:
    // The first `n` bytes of the header into h_.
    void load(std::size_t n) {
        h_.resize(n);
        if (read_at_(off_, h_.data(), n) != n) bad("a header is cut off by the end of the file");
    }
    // `n` more header bytes at the end of h_.
    void grow(std::size_t n) {
        const std::size_t at = h_.size();
        h_.resize(at + n);
        if (read_at_(off_ + at, &h_[at], n) != n) bad("a header is cut off by the end of the file");
    }

    void read_level01(const std::uint8_t* first) {
        const std::size_t base = std::size_t{first[at::base_size]} + 2;
        const std::size_t namelen = first[at::name_length];
        const std::size_t after_name = at::name + namelen;
        const bool level1 = m_.level == 1;
        if (base <
            after_name + (level1 ? at::level1_fixed_after_name : at::level0_fixed_after_name))
            bad("a header is shorter than its name");
        load(base);
        unsigned sum = 0;
        for (std::size_t i = at::checksum_from; i < base; ++i) sum += h_[i];
        if ((sum & 0xFF) != h_[at::checksum]) bad("the header checksum does not match");
        // The name ends at a NUL: Amiga and MorphOS archivers keep the file comment after it.
        const std::uint8_t* name = &h_[at::name];
        const void* nul = std::memchr(name, 0, namelen);
        const std::size_t shown =
            nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - name) : namelen;
        if (level1) m_.os_id = static_cast<char>(h_[after_name + at::os_id_after_name]);
        x_.backslash_separates = !level1 || backslash_separates(m_.os_id);
        const std::string path = to_slashes(name, shown, x_.backslash_separates);
        m_.crc = u16(&h_[after_name + at::data_crc_after_name]);
        m_.mtime = dos_to_unix(u32(&h_[at::time]));
        const std::uint32_t packed32 = u32(&h_[at::packed_size]);
        if (!level1) {
            read_level0_unix_area(after_name + at::unix_area_after_name);
            m_.os_id = 'M';
            m_.path = path;
            m_.packed_size = packed32;
            m_.header_size = h_.size();
            return;
        }
        const std::size_t ext_start = h_.size();
        walk_chain(ext_start, u16(&h_[after_name + at::first_ext_size_after_name]), 2,
                   ChainEnd::on_demand, packed32);
        // On level 1 the extensions are counted in the packed size.
        const std::uint64_t ext_total = h_.size() - ext_start;
        m_.path = join_path(x_, path);
        check_header_crc();
        if (x_.has_unix_time) m_.mtime = x_.unix_time;
        m_.header_size = h_.size();
        m_.packed_size = packed32 - ext_total;
    }

    void read_level0_unix_area(std::size_t start) {
        if (h_.size() < start + at::unix_area_size || h_[start] != 'U') return;
        m_.mtime = u32(&h_[start + at::unix_area_mtime]);
        x_.has_mode = true;
        x_.mode = u16(&h_[start + at::unix_area_mode]);
    }

    void read_level2(const std::uint8_t* first) {
        const std::size_t size = u16(first + at::total_size2);
        if (size < at::extensions2) bad("a header is too short");
        load(size);
        read_level23_fields();
        walk_chain(at::extensions2, u16(&h_[at::first_ext_size2]), 2, ChainEnd::closing_size, 0);
        finish_level23();
    }

    void read_level3(const std::uint8_t* first) {
        if (u16(first + at::word_size3) != 4) bad("a level-3 header has an unknown word size");
        std::uint8_t size_bytes[4];
        if (read_at_(off_ + at::total_size3, size_bytes, 4) != 4)
            bad("a header is cut off by the end of the file");
        const std::uint32_t size = u32(size_bytes);
        if (size < at::extensions3 || size > kMaxHeaderBytes)
            bad("a header has an impossible size");
        load(size);
        read_level23_fields();
        walk_chain(at::extensions3, u32(&h_[at::first_ext_size3]), 4, ChainEnd::inside, 0);
        finish_level23();
    }

    void read_level23_fields() {
        m_.mtime = u32(&h_[at::time]);
        m_.crc = u16(&h_[at::data_crc]);
        m_.os_id = static_cast<char>(h_[at::os_id]);
        x_.backslash_separates = backslash_separates(m_.os_id);
    }
    void finish_level23() {
        check_header_crc();
        m_.path = join_path(x_, "");
        m_.header_size = h_.size();
        m_.packed_size = u32(&h_[at::packed_size]);
    }

    // Walks an extension chain from `pos`, its first record being `size` bytes; each record is
    // its type, its data and the size of the next record (`size_bytes` wide). `packed32`
    // bounds the level-1 records, which the packed size counts.
    void walk_chain(std::size_t pos, std::uint32_t size, int size_bytes, ChainEnd end,
                    std::uint32_t packed32) {
        const auto field = static_cast<std::size_t>(size_bytes);
        const std::size_t start = pos;
        for (int guard = 0; size != 0; ++guard) {
            if (size < 1 + field) bad("an extension header has an impossible size");
            if (guard > 10000) bad("too many extension headers");
            if (end == ChainEnd::on_demand) {
                const std::uint64_t total = pos - start + std::uint64_t{size};
                if (total > packed32) bad("extension headers run past the member");
                if (total > kMaxHeaderBytes) bad("extension headers are implausibly large");
                grow(size);
            } else if (pos + size > h_.size()) {
                if (end != ChainEnd::closing_size || pos + size != h_.size() + field)
                    bad("an extension header runs past the end of its header");
                grow(field);  // OSK LHA leaves the closing size field out of the header size
            }
            parse_extension(&h_[pos], size - 1 - field, pos, x_);
            const std::size_t next_at = pos + size - field;
            pos += size;
            size = size_bytes == 2 ? u16(&h_[next_at]) : u32(&h_[next_at]);
        }
    }

    void check_header_crc() {
        if (!x_.has_header_crc) return;
        std::vector<std::uint8_t> h = h_;
        h[x_.header_crc_pos] = 0;
        h[x_.header_crc_pos + 1] = 0;
        if (crc16(0, h.data(), h.size()) != x_.header_crc) bad("the header CRC does not match");
    }

    // What every level shares once its own fields are read: method, mode, 64-bit sizes, the
    // kind of member, and the member's place inside the file.
    void finish() {
        Member& m = m_;
        m.method = method_from_name(m.method_text.c_str());
        m.utf8 = x_.utf8;
        if (x_.has_mode) m.mode = x_.mode;
        if (x_.has_sizes64) {
            m.packed_size = x_.packed64;
            m.original_size = x_.original64;
            m.needs_64bit = true;
        }
        // Amiga archivers store folders as empty -lh0- members: a level-0 name ending in a
        // separator, or (levels 1 and 2) a folder path with no file name.
        if (m.method == Method::stored && m.packed_size == 0 && m.original_size == 0 &&
            !m.path.empty() && m.path.back() == '/')
            m.method = Method::directory;
        if (m.method == Method::directory) classify_directory(m, x_.has_mode);
        while (m.path.size() > 1 && m.path.back() == '/') m.path.pop_back();
        m.data_offset = off_ + m.header_size;
        if (m.path.empty() && !m.is_directory) bad("a member has no name");
        if (m.data_offset > file_size_ || m.packed_size > file_size_ - m.data_offset)
            bad("a member's data runs past the end of the file (the archive may be truncated)");
        if (m.method == Method::stored && m.packed_size != m.original_size)
            bad("a stored member's sizes disagree");
    }

    // -lhd- members are folders, or symbolic links written as `name|target`.
    static void classify_directory(Member& m, bool has_mode) {
        const bool link_mode = (m.mode & S_IFMT) == S_IFLNK;
        const std::size_t bar = m.path.find('|');
        if (bar != std::string::npos && (link_mode || !has_mode)) {
            m.is_symlink = true;
            m.link_target = m.path.substr(bar + 1);
            m.path.resize(bar);
        } else {
            m.is_directory = true;
        }
    }

    const ReadAt& read_at_;
    const std::uint64_t off_;
    const std::uint64_t file_size_;
    Member& m_;
    std::vector<std::uint8_t> h_;  // the header bytes read so far
    Extensions x_;
};

}  // namespace

std::int64_t dos_to_unix(std::uint32_t dos) {
    std::tm tm{};
    tm.tm_sec = static_cast<int>((dos & 0x1F) * 2);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    tm.tm_mon = static_cast<int>(((dos >> 21) & 0x0F)) - 1;
    tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t);
}

std::uint32_t unix_to_dos(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
    if (tm.tm_year > 207) tm.tm_year = 207;
    return static_cast<std::uint32_t>(tm.tm_sec / 2) | static_cast<std::uint32_t>(tm.tm_min) << 5 |
           static_cast<std::uint32_t>(tm.tm_hour) << 11 |
           static_cast<std::uint32_t>(tm.tm_mday) << 16 |
           static_cast<std::uint32_t>(tm.tm_mon + 1) << 21 |
           static_cast<std::uint32_t>(tm.tm_year - 80) << 25;
}

bool looks_like_header(const std::uint8_t* p, std::size_t n) {
    if (n < at::common_end) return false;
    const std::uint8_t* id = p + at::method;
    bool known =
        id[0] == '-' && id[4] == '-' &&
        ((id[1] == 'l' && (id[2] == 'h' || id[2] == 'z')) || (id[1] == 'p' && id[2] == 'm'));
    return known && p[at::level] <= 3;
}

HeaderResult read_header(const ReadAt& read_at, std::uint64_t off, std::uint64_t file_size,
                         Member& m) {
    return HeaderParser(read_at, off, file_size, m).parse();
}

std::vector<std::uint8_t> build_level2_header(const Member& m) {
    // Split the path into the directory extension (0xFF-separated, trailing 0xFF) and the name.
    std::string path = m.path;
    std::string dir, name;
    if (m.is_directory) {
        dir = path;
    } else {
        std::size_t slash = path.rfind('/');
        if (slash != std::string::npos) {
            dir = path.substr(0, slash);
            name = path.substr(slash + 1);
        } else {
            name = path;
        }
        if (m.is_symlink) name += "|" + m.link_target;
    }
    for (auto& c : dir)
        if (c == '/') c = static_cast<char>(0xFF);
    if (!dir.empty()) dir += static_cast<char>(0xFF);

    const bool big = m.packed_size > 0xFFFFFFFFull || m.original_size > 0xFFFFFFFFull;
    std::size_t total = 26 + 5 /*CRC*/ + 3 + name.size() + (dir.empty() ? 0 : 3 + dir.size()) +
                        7 /*code page*/ + 5 /*mode*/ + (big ? 19 : 0);
    // A header size with a zero low byte reads as the end marker to some tools; the optional
    // information byte of the CRC extension lengthens it by one.
    const bool pad = (total & 0xFF) == 0;
    if (pad) ++total;
    if (total > 0xFFFF) throw Failure(Status::usage, "a path is too long to store: " + m.path);

    std::vector<std::uint8_t> h(total, 0);
    put16(h, 0, static_cast<unsigned>(total));
    std::memcpy(&h[2], method_name(m.method), 5);
    put32(h, 7, static_cast<std::uint32_t>(m.packed_size));
    put32(h, 11, static_cast<std::uint32_t>(m.original_size));
    std::int64_t t = std::clamp<std::int64_t>(m.mtime, 0, 0xFFFFFFFFll);
    put32(h, 15, static_cast<std::uint32_t>(t));
    h[19] = 0x20;
    h[20] = 2;
    put16(h, 21, m.crc);
    h[23] = 'U';
    std::size_t pos = 24;
    auto record = [&](std::uint8_t type, const void* data, std::size_t n) {
        put16(h, pos,
              static_cast<unsigned>(n + 3));  // size of this record, stored in the previous one
        h[pos + 2] = type;
        if (n) std::memcpy(&h[pos + 3], data, n);
        pos += 3 + n;
    };
    std::size_t crc_pos = pos + 3;
    std::uint8_t crc_data[3] = {0, 0, 0};
    record(0x00, crc_data, pad ? 3 : 2);
    record(0x01, name.data(), name.size());
    if (!dir.empty()) record(0x02, dir.data(), dir.size());
    std::uint8_t cp[4] = {0xE9, 0xFD, 0x00, 0x00};  // 65001: names are UTF-8
    record(0x46, cp, 4);
    std::uint32_t mode = m.mode;
    if (mode == 0)
        mode = m.is_directory ? (S_IFDIR | 0755)
               : m.is_symlink ? (S_IFLNK | 0777)
                              : (S_IFREG | 0644);
    std::uint8_t md[2] = {static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(mode >> 8)};
    record(0x50, md, 2);
    if (big) {
        std::uint8_t s[16];
        for (int i = 0; i < 8; ++i) {
            s[i] = static_cast<std::uint8_t>(m.packed_size >> (8 * i));
            s[8 + i] = static_cast<std::uint8_t>(m.original_size >> (8 * i));
        }
        record(0x42, s, 16);
    }
    put16(h, pos, 0);  // end of the chain
    pos += 2;
    if (pos != total) throw Failure(Status::io, "internal error: header size mismatch");
    std::uint16_t crc = crc16(0, h.data(), h.size());
    put16(h, crc_pos, crc);
    return h;
}

}  // namespace lzh::detail
