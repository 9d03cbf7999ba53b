// Command library: configuration documents that other platform components
// publish under a name, such as "system.data_logger".
#ifndef KVO_PLATFORM_CMD_H_
#define KVO_PLATFORM_CMD_H_

#include <json/value.h>

// 0 and `*value` replaced by the document published under `name`; any other
// result means the document is not available now and `*value` is untouched.
int cmd_get_value_json(const char* name, Json::Value* value);

#endif  // KVO_PLATFORM_CMD_H_
