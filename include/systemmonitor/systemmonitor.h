/* systemmonitor: a snapshot of the machine's processors, disks and memory, as a tree of nodes
 * with typed properties. The C interface (C99) of systemmonitor-c, for any compiler or language.
 *
 * Texts are UTF-8 and NUL-terminated. Every pointer a snapshot hands out stays valid until that
 * snapshot is freed. No call throws: one that fails returns NULL (or a negative status) and
 * sm_last_error() tells why, on the calling thread. Any thread may call: the library serialises
 * the calls that must not overlap. */
#ifndef SYSTEMMONITOR_SYSTEMMONITOR_H
#define SYSTEMMONITOR_SYSTEMMONITOR_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(SM_C_BUILDING)
#    define SM_C_API __declspec(dllexport)
#  else
#    define SM_C_API __declspec(dllimport)
#  endif
#else
#  define SM_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SM_VERSION_MAJOR 2
#define SM_VERSION_MINOR 0
#define SM_VERSION_PATCH 0

typedef struct sm_snapshot sm_snapshot;
typedef struct sm_node sm_node;
typedef struct sm_property sm_property;
typedef struct sm_machine sm_machine;

typedef enum sm_node_type {
    SM_SYSTEM_ROOT = 1,
    SM_SYSTEM_MEMORY = 2,
    SM_SYSTEM_CPU = 3,
    SM_CPU_PACKAGE = 4,
    SM_CPU_CORE = 5,
    SM_DISK = 6,
    SM_VOLUME = 7
} sm_node_type;

typedef enum sm_value_type {
    SM_STRING = 0,
    SM_INTEGER = 1,
    SM_DOUBLE = 2
} sm_value_type;

/* The library's version, "major.minor.patch". */
SM_C_API const char *sm_version(void);

/* Why the calling thread's last failing call failed; "" when none has. Valid until the thread's
 * next call into the library. */
SM_C_API const char *sm_last_error(void);

/* A snapshot of the machine (a simulated one while one is open); NULL on failure. */
SM_C_API sm_snapshot *sm_snapshot_take(void);
/* Frees the snapshot and everything it handed out; NULL is allowed. */
SM_C_API void sm_snapshot_free(sm_snapshot *snapshot);
/* The root node ("System Root"). */
SM_C_API const sm_node *sm_snapshot_root(const sm_snapshot *snapshot);
/* The snapshot as one line of JSON, without a newline: the form of `hwsnap --json`. */
SM_C_API const char *sm_snapshot_to_json(sm_snapshot *snapshot);

/* A node: its type ("SYSTEM_CPU" as text from sm_node_type_name), localized name and key. */
SM_C_API sm_node_type sm_node_type_of(const sm_node *node);
SM_C_API const char *sm_node_type_name(const sm_node *node);
SM_C_API const char *sm_node_name(const sm_node *node);
SM_C_API const char *sm_node_key(const sm_node *node);
/* Children and properties in order; an index out of range gives NULL. */
SM_C_API size_t sm_node_child_count(const sm_node *node);
SM_C_API const sm_node *sm_node_child(const sm_node *node, size_t index);
SM_C_API size_t sm_node_property_count(const sm_node *node);
SM_C_API const sm_property *sm_node_property(const sm_node *node, size_t index);

/* A property: its key, value type and value. The text is the value as the tree shows it (for
 * any type); the integer and the double are those of SM_INTEGER and SM_DOUBLE (0 otherwise). */
SM_C_API const char *sm_property_key(const sm_property *property);
SM_C_API sm_value_type sm_property_type(const sm_property *property);
SM_C_API const char *sm_property_text(const sm_property *property);
SM_C_API int64_t sm_property_integer(const sm_property *property);
SM_C_API double sm_property_double(const sm_property *property);

/* A simulated machine (a JSON file) that answers in place of the real one for the rest of the
 * process. Once per process, before the first snapshot: the library's disk list, made on the
 * first snapshot, keeps using the machine it was made on. NULL with the loader's one-line message
 * in sm_last_error() for a file it rejects. */
SM_C_API sm_machine *sm_machine_open(const char *path);
/* The file's steps; sm_machine_step(machine, i) moves the machine's clock and state to step i. */
SM_C_API size_t sm_machine_step_count(const sm_machine *machine);
SM_C_API int sm_machine_step(sm_machine *machine, size_t step);
/* Ends the handle; the machine keeps answering until the process ends. */
SM_C_API void sm_machine_close(sm_machine *machine);

#ifdef __cplusplus
}
#endif

#endif
