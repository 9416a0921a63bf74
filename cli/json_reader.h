// The command reads the library's reports with the library's own JSON
// reader (src/options/json_value.h, compiled into the command's static
// library), under the short name json::.
#ifndef MORVEX_CLI_JSON_READER_H
#define MORVEX_CLI_JSON_READER_H

#include "json_value.h"

namespace json = morvex::json;

#endif
