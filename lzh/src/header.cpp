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

// Walks an extension chain held entirely in `h` starting at `pos` with the first size `size`.
void parse_chain(const std::vector<std::uint8_t>& h, std::size_t pos, std::uint32_t size,
                 int size_bytes, Extensions& x) {
    int guard = 0;
    while (size != 0) {
        if (size < static_cast<std::uint32_t>(1 + size_bytes))
            bad("an extension header has an impossible size");
        if (pos + size > h.size()) bad("an extension header runs past the end of its header");
        if (++guard > 10000) bad("too many extension headers");
        std::size_t data_len = size - 1 - static_cast<std::size_t>(size_bytes);
        parse_extension(&h[pos], data_len, pos, x);
        std::size_t next_at = pos + size - static_cast<std::size_t>(size_bytes);
        std::uint32_t next = size_bytes == 2 ? u16(&h[next_at]) : u32(&h[next_at]);
        pos += size;
        size = next;
    }
}

void check_header_crc(std::vector<std::uint8_t> h, const Extensions& x) {
    if (!x.has_header_crc) return;
    h[x.header_crc_pos] = 0;
    h[x.header_crc_pos + 1] = 0;
    if (crc16(0, h.data(), h.size()) != x.header_crc) bad("the header CRC does not match");
}

std::string join_path(const Extensions& x, const std::string& fallback_name) {
    std::string dir = x.has_dir ? x.dir : std::string();
    std::string name = x.has_name ? x.name : fallback_name;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}

void finish_member(Member& m, const Extensions& x) {
    m.method = method_from_name(m.method_text.c_str());
    m.utf8 = x.utf8;
    if (x.has_mode) m.mode = x.mode;
    if (x.has_sizes64) {
        m.packed_size = x.packed64;
        m.original_size = x.original64;
        m.needs_64bit = true;
    }
    if (m.method == Method::directory) {
        bool link_mode = (m.mode & S_IFMT) == S_IFLNK;
        std::size_t bar = m.path.find('|');
        if (bar != std::string::npos && (link_mode || !x.has_mode)) {
            m.is_symlink = true;
            m.link_target = m.path.substr(bar + 1);
            m.path.resize(bar);
        } else {
            m.is_directory = true;
        }
    }
    while (m.path.size() > 1 && m.path.back() == '/') m.path.pop_back();
}

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
    if (n < 22) return false;
    const std::uint8_t* id = p + 2;
    bool known =
        id[0] == '-' && id[4] == '-' &&
        ((id[1] == 'l' && (id[2] == 'h' || id[2] == 'z')) || (id[1] == 'p' && id[2] == 'm'));
    return known && p[20] <= 3;
}

HeaderResult read_header(const ReadAt& read_at, std::uint64_t off, std::uint64_t file_size,
                         Member& m) {
    m = Member{};
    m.header_offset = off;
    std::uint8_t first[32] = {};
    std::size_t got = read_at(off, first, sizeof first);
    if (got == 0) bad("the archive ends without its end marker (it may be truncated)");
    if (first[0] == 0) {
        if (off + 1 != file_size) bad("there are bytes after the end marker");
        return HeaderResult::end;
    }
    if (got < 22) bad("a header is cut off by the end of the file");
    if (!looks_like_header(first, got)) bad("a header is not valid");
    const int level = first[20];
    m.level = level;
    m.method_text.assign(reinterpret_cast<const char*>(first + 2), 5);
    std::uint32_t packed32 = u32(first + 7);
    m.original_size = u32(first + 11);
    Extensions x;
    std::vector<std::uint8_t> h;
    auto load = [&](std::size_t n) {
        h.resize(n);
        if (read_at(off, h.data(), n) != n) bad("a header is cut off by the end of the file");
    };

    if (level == 0 || level == 1) {
        const std::size_t base = static_cast<std::size_t>(first[0]) + 2;
        const std::size_t namelen = first[21];
        const std::size_t need = level == 0 ? 24 + namelen : 27 + namelen;
        if (base < need) bad("a header is shorter than its name");
        load(base);
        unsigned sum = 0;
        for (std::size_t i = 2; i < base; ++i) sum += h[i];
        if ((sum & 0xFF) != h[1]) bad("the header checksum does not match");
        if (level == 1) m.os_id = static_cast<char>(h[24 + namelen]);
        x.backslash_separates = level == 0 || backslash_separates(m.os_id);
        std::string name = to_slashes(&h[22], namelen, x.backslash_separates);
        m.crc = u16(&h[22 + namelen]);
        std::uint32_t dos = u32(&h[15]);
        m.mtime = dos_to_unix(dos);
        std::uint64_t ext_total = 0;
        if (level == 0) {
            // Optional Unix area: 'U', version, mtime, mode, uid, gid.
            std::size_t rest = base - (24 + namelen);
            if (rest >= 12 && h[24 + namelen] == 'U') {
                const std::uint8_t* u = &h[24 + namelen];
                m.mtime = u32(u + 2);
                x.has_mode = true;
                x.mode = u16(u + 6);
            }
            m.os_id = 'M';
            m.path = name;
        } else {
            std::uint32_t next = u16(&h[25 + namelen]);
            while (next != 0) {
                if (next < 3) bad("an extension header has an impossible size");
                if (ext_total + next > packed32) bad("extension headers run past the member");
                // Real extension areas are small; a huge one is damage, not a reason to read
                // gigabytes into memory.
                if (ext_total + next > (1u << 20)) bad("extension headers are implausibly large");
                std::size_t at = h.size();
                h.resize(at + next);
                if (read_at(off + at, &h[at], next) != next)
                    bad("a header is cut off by the end of the file");
                parse_extension(&h[at], next - 3, at, x);
                ext_total += next;
                next = u16(&h[at + next - 2]);
            }
            m.path = join_path(x, name);
            check_header_crc(h, x);
            if (x.has_unix_time) m.mtime = x.unix_time;
        }
        m.header_size = h.size();
        m.packed_size = packed32 - ext_total;
    } else if (level == 2) {
        const std::size_t size = u16(first);
        if (size < 26) bad("a header is too short");
        load(size);
        m.mtime = u32(&h[15]);
        m.crc = u16(&h[21]);
        m.os_id = static_cast<char>(h[23]);
        x.backslash_separates = backslash_separates(m.os_id);
        parse_chain(h, 26, u16(&h[24]), 2, x);
        check_header_crc(h, x);
        m.path = join_path(x, "");
        m.header_size = size;
        m.packed_size = packed32;
    } else {
        if (u16(first) != 4) bad("a level-3 header has an unknown word size");
        std::uint32_t size = u32(first + 24);
        if (size < 32 || size > (1u << 20)) bad("a header has an impossible size");
        load(size);
        m.mtime = u32(&h[15]);
        m.crc = u16(&h[21]);
        m.os_id = static_cast<char>(h[23]);
        x.backslash_separates = backslash_separates(m.os_id);
        parse_chain(h, 32, u32(&h[28]), 4, x);
        check_header_crc(h, x);
        m.path = join_path(x, "");
        m.header_size = size;
        m.packed_size = packed32;
    }
    finish_member(m, x);
    m.data_offset = off + m.header_size;
    if (m.path.empty() && !m.is_directory) bad("a member has no name");
    if (m.data_offset > file_size || m.packed_size > file_size - m.data_offset)
        bad("a member's data runs past the end of the file (the archive may be truncated)");
    if (m.method == Method::stored && m.packed_size != m.original_size)
        bad("a stored member's sizes disagree");
    return HeaderResult::member;
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
