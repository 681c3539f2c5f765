// `tessaly import` and `tessaly export`: punches from terminals' files into
// the database, and the punch tables out again.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>

namespace tessaly::db {
class Connection;
}

namespace tessaly::tool {

using DatabaseOpener = std::function<std::shared_ptr<db::Connection>(const std::string& target)>;

// The DB argument of the commands that work on an existing database.
void AddDatabaseArgument(CLI::App& app, std::string& target);

void AddImportArguments(CLI::App& app);
int RunImport(const DatabaseOpener& open);
extern const char* const kImportFooter;

void AddExportArguments(CLI::App& app);
int RunExport(const DatabaseOpener& open);
extern const char* const kExportFooter;

}  // namespace tessaly::tool
