// System database library: the platform's store of live vehicle and device
// values, each key held in a named database. On a device the vendor library
// implements these; on a host the simulated platform (sim/) does.
#ifndef KVO_PLATFORM_SYSDB_H_
#define KVO_PLATFORM_SYSDB_H_

#include <json/value.h>

#include <cstdint>

// Opaque library context. The service always passes null.
struct sysdb_context;

// Type code of the key's values (2 integer, 3 double, 4 text, anything else
// unusable); 0 for an unknown key.
int sysdb_get_key_type(const char* key);

// Name of the named database that holds `key`, or null when there is none.
// The text stays valid only until the next call into the library: copy it.
const char* sysdb_get_namedb(const char* key);

// 0 and `*value` set when the key's value is a signed 32-bit integer;
// otherwise non-zero and `*value` untouched.
int sysdb_namedb_read_int(sysdb_context* ctx, const char* db, const char* key,
                          int32_t* value);

// 0 and `*value` replaced by the object {key: <current value>} on success;
// otherwise non-zero and `*value` untouched.
int sysdb_namedb_read_json(sysdb_context* ctx, const char* db, const char* key,
                           Json::Value* value);

// Store a value for a key that exists in `db`; 0 on success. `flags` is
// reserved and always 0. The library keeps no pointer to `value`.
int sysdb_namedb_write_int(sysdb_context* ctx, const char* db, const char* key,
                           int32_t value, int flags);
int sysdb_namedb_write_dbl(sysdb_context* ctx, const char* db, const char* key,
                           double value, int flags);
int sysdb_namedb_write_str(sysdb_context* ctx, const char* db, const char* key,
                           const char* value, int flags);

#endif  // KVO_PLATFORM_SYSDB_H_
