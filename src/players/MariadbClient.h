#pragma once
// MariaDB's Connector/C as the store calls it. Where the system provides it
// (Linux), the library the build links. On Windows, libmariadb.dll is a
// library of its own under its own licence, loaded at first use from the
// folder of the module that holds this code (the plugin's DLL, or
// herald.exe): Windows would look for a DLL the plugin imports beside the
// game's program instead, and refuse to load the plugin at all without it.

#include <mysql.h>

#include <optional>
#include <string>

// Every function the store calls.
#define HERALD_MARIADB_FUNCTIONS(X) \
    X(mysql_server_init)            \
    X(mysql_init)                   \
    X(mysql_options)                \
    X(mysql_real_connect_start)     \
    X(mysql_real_connect_cont)      \
    X(mysql_errno)                  \
    X(mysql_error)                  \
    X(mysql_close)                  \
    X(mysql_get_socket)             \
    X(mysql_get_timeout_value_ms)   \
    X(mysql_real_query_start)       \
    X(mysql_real_query_cont)        \
    X(mysql_use_result)             \
    X(mysql_num_fields)             \
    X(mysql_fetch_row_start)        \
    X(mysql_fetch_row_cont)         \
    X(mysql_fetch_lengths)          \
    X(mysql_free_result)            \
    X(mysql_real_escape_string)

struct MariadbClient {
#define HERALD_MARIADB_POINTER(name) decltype(&::name) name = nullptr;
    HERALD_MARIADB_FUNCTIONS(HERALD_MARIADB_POINTER)
#undef HERALD_MARIADB_POINTER
};

// The client, set up for the process the first time; or why there is none
// (on Windows: no libmariadb.dll beside the module, or one without a function
// the store calls).
struct MariadbClientOrWhy {
    const MariadbClient* client = nullptr;
    std::string why;
};
const MariadbClientOrWhy& TheMariadbClient();
