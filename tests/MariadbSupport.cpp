#include "MariadbSupport.h"

#include <gtest/gtest.h>
#include <mysql.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <variant>

#include "config/StoreAddress.h"

namespace HeraldTest {

namespace {

std::string ServerAddress(const std::string& folder) {
    std::ifstream in(folder + "/address");
    std::string address;
    std::getline(in, address);
    return address;
}

void RunScript(const char* action, const std::string& folder) {
    const std::string command =
        "bash '" + std::string(HERALD_SOURCE_DIR) + "/scripts/mariadb-test-server.sh' " + action + " '" + folder + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// A database's name holds at most 64 letters, digits and '_': a test's name
// cut short, told from others by its hash.
std::string DatabaseName(const std::string& name) {
    std::string database = "herald_test_";
    for (const char c : name.substr(0, 34)) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        database += word ? c : '_';
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016zx", std::hash<std::string>{}(name));
    return database + "_" + hash;
}

std::string FreshDatabaseOn(const std::string& folder, const std::string& name) {
    const std::string server = ServerAddress(folder);
    if (server.empty()) {
        ADD_FAILURE() << "the tests' MariaDB server is not running: ctest starts it for tests named Mariadb…, or run "
                         "scripts/mariadb-test-server.sh start "
                      << folder;
        return "mariadb://nobody@127.0.0.1:1/herald_test_" + name;
    }
    const std::string database = DatabaseName(name);
    RunMariadb(server + "information_schema", "DROP DATABASE IF EXISTS " + database + "; CREATE DATABASE " + database);
    return server + database;
}

}  // namespace

std::vector<std::string> RunMariadb(const std::string& address, const std::string& sql) {
    std::vector<std::string> rows;
    const auto parsed = ParseMariadbAddress(address);
    const auto* at = std::get_if<MariadbAddress>(&parsed);
    if (at == nullptr) {
        ADD_FAILURE() << "not an address: " << address;
        return rows;
    }
    MYSQL* connection = mysql_init(nullptr);
    const unsigned tcp = MYSQL_PROTOCOL_TCP;
    mysql_options(connection, MYSQL_OPT_PROTOCOL, &tcp);
    if (mysql_real_connect(connection, at->host.c_str(), at->user.c_str(), at->password.c_str(),
                           at->database.empty() ? nullptr : at->database.c_str(), at->port, nullptr,
                           CLIENT_MULTI_STATEMENTS) == nullptr) {
        ADD_FAILURE() << "the tests' MariaDB server (scripts/mariadb-test-server.sh) did not take a connection: "
                      << mysql_error(connection);
        mysql_close(connection);
        return rows;
    }
    if (mysql_real_query(connection, sql.data(), sql.size()) != 0) {
        ADD_FAILURE() << sql << ": " << mysql_error(connection);
    }
    int more = 0;
    do {
        if (MYSQL_RES* result = mysql_store_result(connection)) {
            rows.clear();
            while (MYSQL_ROW row = mysql_fetch_row(result)) {
                std::string line;
                for (unsigned field = 0; field < mysql_num_fields(result); ++field) {
                    line += (field > 0 ? "," : "") + std::string(row[field] ? row[field] : "NULL");
                }
                rows.push_back(line);
            }
            mysql_free_result(result);
        }
        more = mysql_next_result(connection);
        if (more > 0) {
            ADD_FAILURE() << sql << ": " << mysql_error(connection);
        }
    } while (more == 0);
    mysql_close(connection);
    return rows;
}

std::string FreshMariadbDatabase(const std::string& name) { return FreshDatabaseOn(HERALD_MARIADB_DIR, name); }

PrivateMariadbServer::PrivateMariadbServer() {
    char folder[] = "/tmp/herald-mariadb-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        ADD_FAILURE() << "no folder for a MariaDB server";
        return;
    }
    folder_ = folder;
    RunScript("start", folder_);
}

PrivateMariadbServer::~PrivateMariadbServer() {
    if (!folder_.empty()) {
        RunScript("stop", folder_);
    }
}

std::string PrivateMariadbServer::FreshDatabase(const std::string& name) const {
    return FreshDatabaseOn(folder_, name);
}
void PrivateMariadbServer::Kill() const { RunScript("kill", folder_); }
void PrivateMariadbServer::Restart() const { RunScript("restart", folder_); }

}  // namespace HeraldTest
