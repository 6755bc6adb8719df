// The virtual file system: one name space over loose files under the search
// roots, members of ".saf" archives, and gzip-compressed variants of either.
// Names beginning with "@" are home-relative; all others are ordinary paths.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct vfs_file;

// ---- search roots and the file index ---------------------------------------
// The i-th search root (each ends in "/"), or null past the end.
const char* get_search_root(int i);
int search_root_count();
// Root 0 joined with a home-relative name ("@x" or "x"); "" when there is no
// root 0 or the result would not fit a path buffer.
std::string home_path(const char* name);

// Sorted, null-terminated list of every distinct name; builds the index on
// the first call.
const char* const* file_list();
bool file_exists(const char* name);
int file_index_size();
// "name -> path" of index entry i, cut to the buffer.
bool file_index_describe(int i, char* buffer, size_t length);
// Called while the index is being built (the loading screen refreshes).
extern void (*vfs_progress_hook)();
// Frees roots and index ("Freeing file list"); the next use builds them anew.
void vfs_shutdown();

// ---- opening and closing -----------------------------------------------------
// Modes are fopen modes. A leading "~" keeps a numbered backup of an existing
// file; a leading "=" writes to a temporary file in the same folder that
// replaces the target only when vfs_close finds no error.
vfs_file* vfs_open(const char* name, const char* mode);
// Returns false when a write failed or an atomic replacement did not happen.
bool vfs_close(vfs_file* file);
// A read or write error happened (including a gzip stream that ended early).
bool vfs_error(const vfs_file* file);
bool vfs_is_gzip(const vfs_file* file);
// Bytes delivered so far (decompressed bytes for gzip).
int64_t vfs_position(const vfs_file* file);

// ---- reading --------------------------------------------------------------
int vfs_getc(vfs_file* file);
int vfs_peekc(vfs_file* file);
char* vfs_gets(vfs_file* file, char* buffer, int n);
size_t vfs_read(vfs_file* file, void* buffer, size_t n);
// Standard C scanf over the stream (the engine of core/scan.h); shares the
// look-ahead byte with vfs_getc.
int vfs_scanf(vfs_file* file, const char* format, ...) __attribute__((format(scanf, 2, 3)));
int vfs_vscanf(vfs_file* file, const char* format, va_list args);
// The next "%d", or INT_MIN.
int vfs_read_int(vfs_file* file);
// Skips blank space and whole lines beginning with "#".
void vfs_skip_comments(vfs_file* file);
bool vfs_seek(vfs_file* file, int64_t offset);

// ---- writing --------------------------------------------------------------
int vfs_putc(vfs_file* file, int c);
int vfs_puts(vfs_file* file, const char* text);
size_t vfs_write(vfs_file* file, const void* data, size_t n);
int vfs_printf(vfs_file* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool vfs_flush(vfs_file* file);

// ---- whole files and names ----------------------------------------------------
constexpr size_t file_to_string_limit = 16777216;
// A newly allocated (checked_malloc) NUL-terminated copy, or null.
char* file_to_string(const char* name, size_t* length = nullptr);
bool vfs_rename(const char* from, const char* to);
// Every directory level of `path` up to its last "/".
bool make_directories(const char* path);
// Graphics variants: first entry null / "default", then "@name" / label for
// every indexed ".png" whose base name begins with prefix.
void list_texture_variants(const char* prefix, std::vector<const char*>& names, std::vector<const char*>& labels);
// Creates root 0 and shows it in the desktop's file manager.
bool open_home_directory();
