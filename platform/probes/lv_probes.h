#pragma once

// The process probes: the only code that reads the kernel's process information. Plain functions
// with C linkage over fixed-size records, reporting every outcome in their return value or in a record
// the caller passes. Between calls they keep the boot time (read once per run, so that start times
// never move), the open-file limit as it stood before lv_collect raised it once, and each thread's
// lv_collect listings: what is known of every process listed, with descriptors kept open to read it
// again, which lv_process_args and lv_process_args_unchanged use on that thread. Safe to call from any
// thread at the same time.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LVProcessRecord {
    int32_t pid;
    int32_t ppid;
    uint32_t uid;
    uint32_t status; // 5 marks a zombie
    uint64_t start_us;
    uint64_t cpu_ns;
    uint64_t resident_bytes;
    char name[256];
    // Where the program's code and its argument area lie. A new program (exec) moves them, so with
    // the name they tell whether a path and arguments read before still belong to the process. The
    // kernel shows 1, 1, 0, 0 for processes it hides them from (another user's, non-dumpable ones).
    uint64_t image_start_code;
    uint64_t image_end_code;
    uint64_t image_arg_start;
    uint64_t image_arg_end;
} LVProcessRecord;

typedef struct LVSystemMemory {
    uint64_t physical_bytes;
    uint64_t used_bytes;
    uint64_t compressed_bytes;
    uint64_t swap_used_bytes;
    uint32_t has_physical;
    uint32_t has_memory;
    uint32_t has_swap;
    int32_t pressure_level; // 1 normal, 2 warning, 4 critical, 0 unknown
} LVSystemMemory;

enum { LV_STATUS_ZOMBIE = 5, LV_COLLECT_CAPACITY = 16384, LV_PATH_BUFFER = 4096, LV_ARGS_BUFFER = 8192 };

// Outcomes of lv_signal_checked. REFUSED and GONE share their values with EPERM and ESRCH, so a
// failed signal and a failed check of the same kind read alike.
enum {
    LV_SIGNAL_SENT = 0,
    LV_SIGNAL_REFUSED = 1,           // a protected process, another user's, or a signal other than TERM/KILL
    LV_SIGNAL_GONE = 3,              // no such process any more, or a zombie
    LV_SIGNAL_IDENTITY_CHANGED = 70, // the pid now names a process with another start time or user
};

// 1 when the record was filled, 0 otherwise (record untouched).
int lv_read_process(int32_t pid, LVProcessRecord* out);
// Records of the current user's live processes; -1 when the process list cannot be read. A process
// whose main thread has ended lives while any of its threads does: its record has the state and memory
// of a live thread. Only the slots of the records returned are written: the rest stay as the caller
// passed them. Keeps descriptors of the calling thread's listings' processes open between calls, within
// one share of the open-file limit (raised towards its hard limit once) for the listings of every
// thread, which leaves the rest of the program a quarter of a small limit and 512 of a large one; past
// that share, processes are read without keeping one.
int lv_collect(LVProcessRecord* records, int32_t capacity, uint32_t* skipped);
// As lv_collect, for listings that matter less than the sampler's (the library's look at the running
// applications): the calling thread's listings keep descriptors only within what lv_collect's listings
// need leaves, and give back at their next listing what that need took since. Their status files still
// come before what lv_collect's listings keep beyond their own status files.
int lv_collect_giving_way(LVProcessRecord* records, int32_t capacity, uint32_t* skipped);
// Gives a process this program starts the open-file limit the program itself started with, which
// lv_collect may have raised. For a child between fork and exec: async-signal-safe.
void lv_restore_file_limit(void);
// Length of the executable path when positive; the buffer holds an empty string on failure (also
// when the path does not fit). The path is the kernel's: an executable removed since the start
// ends in " (deleted)". A process whose main thread has ended has the path of its live threads.
int lv_process_path(int32_t pid, char* buffer, uint32_t size);
// Length of the name of the systemd unit the process runs in (the last component of its control
// group in systemd's hierarchy) when positive; the buffer holds an empty string on failure, when the
// process runs in none (the root) or when the name does not fit.
int lv_process_unit(int32_t pid, char* buffer, uint32_t size);
// 1 when the process must never be stopped from here: a system path, or a process whose end takes
// the user's session down (service manager, session bus, display server, shell, session manager).
// `name` is the process name, `executable` its path (either may be empty or null).
int lv_process_protected(const char* name, const char* executable);
// A process lv_application_running names (see there).
typedef struct LVNamedProcess {
    int32_t pid;   // 0 for none
    char name[16]; // the kernel's name for it (at most 15 bytes; empty where unknown)
} LVNamedProcess;

// 1 when `name`, a name a process goes by (its name as the kernel keeps it, or the file name of its
// argv[0], never empty), is that of a program in the bundle asked about; else 0.
typedef int (*LVBundleNameCheck)(const char* name, void* context);

// Whether code from the folder `path` runs: 1 when one of the current user's processes runs an
// executable at or below it, 0 when none does, -1 when that is unknown. A process whose main thread has
// ended counts by a live thread, whether its leader's link is gone or closed. A readable executable link
// is believed unless it names a dynamic loader outside the folder: a file whose ELF image (either class,
// this machine's byte order) is position-independent and asks for no interpreter, as glibc's and musl's
// loaders are under any name, or, where the first page of the file, read through the link, tells
// neither, one named "ld*.so" or "ld*.so.*". A program run as `ld.so PROGRAM` shows the loader, which
// maps the program (by its real path, through links) and the libraries it loads as its own code: such a
// process runs in the folder where its mappings show an executable mapping of a file at or below it
// (with or without the kernel's " (deleted)") other than the loader's own (the mapping whose path is the
// link's text), and otherwise not, whatever its arguments and names say. A static-pie program, and a
// loader that has not yet mapped its program, map no other file and so count as their link does. Where
// the link is closed (a non-dumpable process's is, to its own user, and so are its mappings), or a
// loader's mappings cannot be read or read empty, what the process says of itself can tie it to the
// folder, never clear it. Its program is its argv[0], and under a loader (the link's, or a closed
// process's argv[0] named as one) also the first argument after the loader's options and their values
// (--library-path, --preload, --argv0, --audit, --inhibit-rpath, --glibc-hwcaps-prepend and
// --glibc-hwcaps-mask take one; "--" ends them). A program that is an absolute path, or a loader's with
// a slash taken from the process's current folder, naming a file that exists at or below the folder,
// through links, counts as running there; otherwise the process leaves the answer unknown where a later
// argument names a path at or below the folder (whole, or after an '='), or `names_bundle_file` (given
// `context`; null ties no name) answers 1 for the kernel name of its leader or of any of its threads (a
// thread renames itself alone), or the file name of its argv[0] or of its loader's program, wherever
// that points. A script run by its interpreter (python3 X.app/x.py) runs the interpreter. When `named`
// is not null, the process the answer rests on goes there where no link shows which it is: with 1, the
// process found by its mappings or its arguments; with -1, the first that left the answer open.
// Otherwise its pid is 0 (-1 also means an unreadable process list, or a `path` that is not absolute).
int lv_application_running(const char* path, LVBundleNameCheck names_bundle_file, void* context,
                           LVNamedProcess* named);
// Bytes written before the terminating NUL: argv joined by single blanks, cut to the buffer. A process
// whose main thread has ended has the arguments of its live threads.
uint64_t lv_process_args(int32_t pid, char* buffer, uint64_t size);
// 1 when the arguments lv_process_args read last on the calling thread for a process of the thread's
// last lv_collect are certainly still its arguments (it had one thread then, and that thread has not
// run since); 0 when that is not known.
int lv_process_args_unchanged(int32_t pid);
// Microseconds since 1970 on the clock the records' start times are counted on: the boot time as read
// once, plus the time since boot. Setting the wall clock does not move it, so what it says minus a
// start time is how long that process has run.
uint64_t lv_start_clock_us(void);
// Cumulative busy and total ticks of all processors; 1 on success.
int lv_cpu_ticks(uint64_t* busy, uint64_t* total);
// 1 when anything was read.
int lv_system_memory(LVSystemMemory* out);
// One of the LV_SIGNAL_* outcomes, or the errno of the failed signal. Refuses what
// lv_process_protected names, and a process whose executable link it cannot read (a non-dumpable one's
// is closed to its own user).
int lv_signal_checked(int32_t pid, uint64_t start_us, uint32_t uid, int32_t signal);

#ifdef __cplusplus
}
#endif
