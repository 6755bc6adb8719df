// Opening, reading and writing files: loose files, archive members and gzip
// streams, numbered backups and atomic replacement.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/diag.h"
#include "core/text.h"
#include "vfs/vfs_internal.h"

namespace {

struct open_mode {
    bool backup = false;   // "~": keep a numbered copy of an existing file
    bool atomic = false;   // "=": replace the target only on a clean close
    bool read = false;     // contains "r" and no "+"
    std::string mode;      // the real fopen mode
};

open_mode parse_mode(const char* mode) {
    open_mode m;
    while (*mode == '~' || *mode == '=') {
        if (*mode == '~') m.backup = true;
        if (*mode == '=') m.atomic = true;
        mode++;
    }
    m.mode = mode;
    m.read = strchr(mode, 'r') && !strchr(mode, '+');
    if (m.mode.find('w') == std::string::npos) m.atomic = false;  // only whole-file writes can be replaced
    return m;
}

bool path_exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

// Copies `from` to `to` in 64 KiB chunks; removes a partial copy on failure.
bool copy_file(const char* from, const char* to) {
    FILE* in = fopen(from, "rb");
    if (!in) return false;
    FILE* out = fopen(to, "wb");
    if (!out) {
        fclose(in);
        return false;
    }
    std::vector<char> chunk(65536);
    bool ok = true;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        if (fwrite(chunk.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    if (ferror(in)) ok = false;
    fclose(in);
    if (fclose(out) != 0) ok = false;
    if (!ok) remove(to);
    return ok;
}

// Keeps the existing file at path as "path.~N~" (lowest free N).
bool make_backup(const std::string& path) {
    if (!path_exists(path.c_str())) return true;
    if (path.size() > 1000) return false;  // no room for the backup's name: refuse rather than overwrite
    char name[1100];
    for (int n = 1; n <= 9999; n++) {
        snprintf(name, sizeof name, "%s.~%d~", path.c_str(), n);
        if (!path_exists(name)) return copy_file(path.c_str(), name);
    }
    return false;
}

vfs_file* new_file(FILE* stream, bool writing) {
    vfs_file* f = new vfs_file;  // the buffer needs no clearing
    f->stream = stream;
    f->writing = writing;
    f->limit = INT32_MAX;
    return f;
}

void free_file(vfs_file* f) {
    if (f->z_started) inflateEnd(&f->z);
    delete[] f->in;
    delete f;
}

// Parses the gzip header by hand from the first block and starts a raw
// inflate; never looks past the bytes read or the compressed budget.
bool prepare_gzip(vfs_file* f, int64_t budget) {
    f->is_gzip = true;
    f->compressed_length = budget;
    f->in = new uint8_t[vfs_buffer_size];
    size_t want = (size_t)std::min<int64_t>((int64_t)vfs_buffer_size, budget);
    size_t have = fread(f->in, 1, want, f->stream);
    f->compressed_consumed = (int64_t)have;
    const uint8_t* p = f->in;
    size_t i = 0;
    auto need = [&](size_t n) { return have - i >= n; };
    if (!need(10) || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || p[3] >= 32) return false;
    uint8_t flags = p[3];
    i = 10;
    if (flags & 4) {
        if (!need(2)) return false;
        size_t extra = (size_t)(p[i] | (p[i + 1] << 8));
        i += 2;
        if (!need(extra)) return false;
        i += extra;
    }
    for (int field = 8; field <= 16; field *= 2) {
        if (!(flags & field)) continue;
        const void* nul = memchr(p + i, 0, have - i);
        if (!nul) return false;
        i = (size_t)((const uint8_t*)nul - p) + 1;
    }
    if (flags & 2) {
        if (!need(2)) return false;
        i += 2;
    }
    f->z.next_in = f->in + i;
    f->z.avail_in = (uInt)(have - i);
    if (inflateInit2(&f->z, -15) != Z_OK) return false;
    f->z_started = true;
    return true;
}

vfs_file* open_path(const std::string& path, const open_mode& m) {
    if (!m.read) make_directories(path.c_str());
    if (m.backup && !m.read && !make_backup(path)) return nullptr;
    if (m.atomic) {
        // The replacement keeps the permissions of the file it replaces; a
        // file we may not write stays as it is, as a plain write would.
        struct stat old;
        bool replacing = stat(path.c_str(), &old) == 0;
        if (replacing && access(path.c_str(), W_OK) != 0) return nullptr;
        std::string temp = path + ".XXXXXX";
        int fd = mkstemp(temp.data());
        if (fd < 0) return nullptr;
        FILE* stream = fdopen(fd, m.mode.c_str());
        if (!stream) {
            close(fd);
            unlink(temp.c_str());
            return nullptr;
        }
        if (replacing) {
            fchmod(fd, old.st_mode & 07777);
        } else {
            // A new file gets the usual permissions of a new file.
            mode_t mask = umask(0);
            umask(mask);
            fchmod(fd, 0666 & ~mask);
        }
        vfs_file* f = new_file(stream, true);
        f->final_path = path;
        f->temp_path = temp;
        return f;
    }
    FILE* stream = fopen(path.c_str(), m.mode.c_str());
    if (stream) return new_file(stream, !m.read);
    if (!m.read || path.size() + 3 >= 1024) return nullptr;
    stream = fopen((path + ".gz").c_str(), m.mode.c_str());
    if (!stream) return nullptr;
    vfs_file* f = new_file(stream, false);
    if (!prepare_gzip(f, INT64_MAX)) {
        fclose(f->stream);
        free_file(f);
        return nullptr;
    }
    return f;
}

vfs_file* open_entry(const index_entry& e, bool gzip) {
    FILE* stream = fopen(e.path.c_str(), "rb");
    if (!stream) return nullptr;
    vfs_file* f = new_file(stream, false);
    f->base = e.offset;
    if (fseeko(stream, e.offset, SEEK_SET) != 0) {
        fclose(stream);
        free_file(f);
        return nullptr;
    }
    if (!gzip) {
        f->limit = e.size;
        return f;
    }
    if (!prepare_gzip(f, e.size)) {
        fclose(stream);
        free_file(f);
        return nullptr;
    }
    return f;
}

// Unread look-ahead goes back to the stream before a write or a seek.
void drop_read_buffer(vfs_file* f) {
    f->wrote_last = true;
    if (f->is_gzip || !f->read_last) return;
    int64_t unread = (int64_t)(f->len - f->pos);
    fseeko(f->stream, -unread, SEEK_CUR);
    f->raw_read -= unread;
    f->pos = f->len = 0;
    f->read_last = false;
}

bool fill_gzip(vfs_file* f) {
    if (f->eof || f->error) return false;
    f->z.next_out = f->buf;
    f->z.avail_out = (uInt)vfs_buffer_size;
    while (f->z.avail_out == vfs_buffer_size) {
        if (f->z.avail_in == 0) {
            int64_t left = f->compressed_length - f->compressed_consumed;
            size_t want = (size_t)std::min<int64_t>((int64_t)vfs_buffer_size, left);
            size_t got = want ? fread(f->in, 1, want, f->stream) : 0;
            if (got == 0) {
                // The deflate stream ended before its end marker.
                f->error = true;
                break;
            }
            f->compressed_consumed += (int64_t)got;
            f->z.next_in = f->in;
            f->z.avail_in = (uInt)got;
        }
        int rc = inflate(&f->z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            f->eof = true;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            f->error = true;
            break;
        }
    }
    f->pos = 0;
    f->len = vfs_buffer_size - f->z.avail_out;
    return f->len > 0;
}

}  // namespace

bool make_directories(const char* path) {
    std::string p(path);
    for (size_t i = 1; i < p.size(); i++) {
        if (p[i] != '/') continue;
        p[i] = 0;
        if (mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
            p[i] = '/';
            return false;
        }
        p[i] = '/';
    }
    return true;
}

vfs_file* vfs_open(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    open_mode m = parse_mode(mode);
    if (name[0] != '@') return open_path(name, m);
    const char* rest = name + 1;
    for (int r = 0; const char* root = get_search_root(r); r++) {
        std::string candidate = std::string(root) + rest;
        if (candidate.size() > 511) continue;  // too long for a path: not cut short
        if (vfs_file* f = open_path(candidate, m)) return f;
    }
    if (!m.read || !file_index_built()) return nullptr;
    const index_entry* plain = index_lookup(rest);
    const index_entry* gz = index_lookup((std::string(rest) + ".gz").c_str());
    if (gz && (!plain || gz->rank < plain->rank)) return open_entry(*gz, true);
    if (plain) return open_entry(*plain, false);
    return nullptr;
}

bool vfs_close(vfs_file* f) {
    if (!f) return false;
    bool ok = !f->error;
    if (f->writing && fflush(f->stream) != 0) ok = false;
    if (f->writing && ferror(f->stream)) ok = false;
    if (!f->temp_path.empty() && ok && fsync(fileno(f->stream)) != 0) ok = false;
    if (fclose(f->stream) != 0) ok = false;
    if (!f->temp_path.empty()) {
        if (ok && rename(f->temp_path.c_str(), f->final_path.c_str()) != 0) ok = false;
        if (!ok) unlink(f->temp_path.c_str());
    }
    free_file(f);
    return ok;
}

bool vfs_error(const vfs_file* f) { return f->error; }
bool vfs_is_gzip(const vfs_file* f) { return f->is_gzip; }
int64_t vfs_position(const vfs_file* f) { return f->position; }

bool vfs_fill(vfs_file* f) {
    if (f->pos < f->len) return true;
    if (f->is_gzip) return fill_gzip(f);
    f->pos = f->len = 0;
    if (f->wrote_last) {
        fflush(f->stream);
        f->wrote_last = false;
    }
    f->read_last = true;
    int64_t left = f->limit - f->raw_read;
    if (left <= 0) {
        f->eof = true;
        return false;
    }
    size_t want = (size_t)std::min<int64_t>((int64_t)vfs_buffer_size, left);
    size_t got = fread(f->buf, 1, want, f->stream);
    if (got == 0) {
        if (ferror(f->stream)) f->error = true;
        f->eof = true;
        return false;
    }
    f->raw_read += (int64_t)got;
    f->len = got;
    return true;
}

int vfs_getc(vfs_file* f) {
    int c = vfs_peek_fast(f);
    if (c >= 0) vfs_advance(f);
    return c;
}

int vfs_peekc(vfs_file* f) { return vfs_peek_fast(f); }

char* vfs_gets(vfs_file* f, char* buffer, int n) {
    if (n <= 0) return nullptr;
    int i = 0;
    while (i < n - 1) {
        int c = vfs_getc(f);
        if (c < 0) break;
        buffer[i++] = (char)c;
        if (c == '\n') break;
    }
    buffer[i] = 0;
    return i ? buffer : nullptr;
}

size_t vfs_read(vfs_file* f, void* buffer, size_t n) {
    uint8_t* out = (uint8_t*)buffer;
    size_t done = 0;
    while (done < n) {
        if (f->pos >= f->len && !vfs_fill(f)) break;
        size_t take = std::min(n - done, f->len - f->pos);
        memcpy(out + done, f->buf + f->pos, take);
        f->pos += take;
        f->position += (int64_t)take;
        done += take;
    }
    return done;
}

int vfs_read_int(vfs_file* f) {
    int v;
    return vfs_scanf(f, "%d", &v) == 1 ? v : INT_MIN;
}

void vfs_skip_comments(vfs_file* f) {
    for (;;) {
        int64_t before = f->position;
        vfs_scanf(f, " #%*[^\n]");
        if (f->position == before) return;
    }
}

bool vfs_seek(vfs_file* f, int64_t offset) {
    if (f->is_gzip || offset < 0 || offset >= f->limit) return false;
    if (f->writing) fflush(f->stream);
    if (fseeko(f->stream, f->base + offset, SEEK_SET) != 0) return false;
    f->pos = f->len = 0;
    f->raw_read = offset;
    f->position = offset;
    f->eof = false;
    return true;
}

int vfs_putc(vfs_file* f, int c) {
    drop_read_buffer(f);
    if (fputc(c, f->stream) == EOF) {
        f->error = true;
        return EOF;
    }
    return (unsigned char)c;
}

int vfs_puts(vfs_file* f, const char* text) {
    size_t n = strlen(text);
    return vfs_write(f, text, n) == n ? 1 : EOF;
}

size_t vfs_write(vfs_file* f, const void* data, size_t n) {
    drop_read_buffer(f);
    size_t done = n ? fwrite(data, 1, n, f->stream) : 0;
    if (done != n) f->error = true;
    return done;
}

int vfs_printf(vfs_file* f, const char* format, ...) {
    drop_read_buffer(f);
    va_list args;
    va_start(args, format);
    int n = vfprintf(f->stream, format, args);
    va_end(args);
    if (n < 0) f->error = true;
    return n;
}

bool vfs_flush(vfs_file* f) {
    if (fflush(f->stream) != 0) {
        f->error = true;
        return false;
    }
    return true;
}

char* file_to_string(const char* name, size_t* length) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return nullptr;
    char* data = (char*)checked_malloc(file_to_string_limit + 1);
    if (!data) {
        vfs_close(f);
        return nullptr;
    }
    size_t n = vfs_read(f, data, file_to_string_limit);
    bool failed = vfs_error(f);
    vfs_close(f);
    if (n >= file_to_string_limit) {
        log_printf("File %s too long for file_to_string\n", name);
        failed = true;
    }
    if (failed) {
        checked_free(data);
        return nullptr;
    }
    data[n] = 0;
    char* shrunk = (char*)checked_realloc(data, n + 1);
    if (shrunk) data = shrunk;
    if (length) *length = n;
    return data;
}

bool vfs_rename(const char* from, const char* to) {
    std::string a = from[0] == '@' ? home_path(from) : std::string(from);
    std::string b = to[0] == '@' ? home_path(to) : std::string(to);
    if (a.empty() || b.empty()) return false;
    remove(b.c_str());
    return rename(a.c_str(), b.c_str()) == 0;
}
